// A minimal effect written straight against the record, without our framework: two inputs,
// two outputs, one gain parameter, two programs, both precisions. The deliberately broken test plug-ins
// are this effect with one fault each, chosen by the Faults they pass.
#pragma once

#include <cstdint>

#include "framework/effect_record.h"

struct Faults {
    bool overlongTitle = false;       // writes a 299-character parameter title: past any host's buffer
    bool longUnit = false;            // writes a 12-character unit: past its nominal 9 bytes, not a host's buffer
    bool chunkPrograms = false;       // declares chunk programs: its state (the gain) is saved and loaded as a chunk
    bool losesChunkState = false;     // ignores the chunks it is given
    bool losesProgramChunks = false;  // ignores the program chunks it is given (bank chunks are loaded)
    bool chatty = false;              // prints to both standard streams when opened, to stdout in every process call
    bool nanOutput = false;           // processing writes NaN
    bool wrongMagic = false;          // the record's magic is not the interface's
    bool allocatesWhileProcessing = false;  // every process call allocates and frees heap memory
    bool crashesOnVendorCall = false;       // request 50 writes through a null pointer
    bool hangsOnLongBlocks = false;         // a process call of 4096 frames or more never returns
};

// The entry point's work: asks the host's version, and on a non-zero answer creates the
// effect with `faults` and answers its record.
EffectRecord* createMinimalEffect(HostCallback host, const Faults& faults);

// A minimal effect written straight against the record, without our framework: two inputs,
// two outputs, one gain parameter, two programs, both precisions. The deliberately broken test plug-ins
// are this effect with one fault each, chosen by the Faults they pass; the correct-but-unusual ones
// are this effect with one of the Quirks real plug-ins have, which a host lives with.
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
    bool writesPastOutputs = false;         // writes one frame past each output buffer
    bool mixesAfterWriting = false;     // output 1 mixes in input 0 read after output 0 was written: in place differs
    bool restoresTextNotSound = false;  // a loaded chunk changes the gain read back, not the gain processed
    bool stuckSubnormalTail = false;    // a feedback tail that decays into subnormal numbers and stays there
    bool editorCrashesOnClose = false;  // declares an editor that opens, idles and crashes when closed
};

// Behaviours of correct plug-ins that hosts live with. Any of them gives the effect three more
// parameters (1 "Switch", a toggle by its text; 2 "Delay", in steps of 1/64; 3 "Link") and a
// text chunk ("g=0.5 s=0 d=0 l=0"), with chunk programs declared.
struct Quirks {
    bool quantizingToggle = false;       // parameter 1 reads back as written, its chunk holds 0 or 1
    bool otherUnits = false;             // parameter 2 kept in seconds (0.9 per unit), its chunk with 6 digits:
                                         // read back a few ulps away, after a write and after a restore
    bool linkedParams = false;           // a write to parameter 3 also sets parameter 2
    bool growingChunk = false;           // a chunk saved after a load gains a default element (" x=0")
    bool noise = false;                  // adds faint noise, different in every effect
    bool rareSubnormals = false;         // one subnormal output sample every 4,000 frames of live signal
    bool allocatesOnFirstBlock = false;  // the first process call after an activation allocates, once
    bool editorNeedsDisplay = false;     // an editor that crashes on its size request without a display

    bool any() const {
        return quantizingToggle || otherUnits || linkedParams || growingChunk || noise || rareSubnormals ||
               allocatesOnFirstBlock || editorNeedsDisplay;
    }
};

// The entry point's work: asks the host's version, and on a non-zero answer creates the
// effect with `faults` and answers its record.
EffectRecord* createMinimalEffect(HostCallback host, const Faults& faults, const Quirks& quirks = {});

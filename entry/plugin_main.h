// The library's exported entry point. A host calls it with its callback and gets back the
// record of a new effect, or null.
#pragma once

#include "framework/effect_record.h"

// Asks the host for its version (host request 1, the only request sent with a null record);
// on the answer 0 creates nothing and answers null. Otherwise creates one effect and answers
// the address of its record, or null when it cannot be created. A null callback creates
// nothing and answers null. Exported undecorated as `VSTPluginMain` and as `main`, one
// function in the platform's default calling convention.
// Called on any host thread; it keeps no state, so concurrent calls are independent.
extern "C" EffectRecord* VSTPluginMain(HostCallback host) noexcept;

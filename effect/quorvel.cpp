// Construction of Quorvel and its factory.
#include "effect/quorvel.h"

#include <new>

#include "framework/bounded_text.h"

Quorvel::Quorvel(HostCallback host) : AudioEffectX(host, programCount, paramCount) {
    setInputCount(2);
    setOutputCount(2);
    assignUniqueId(fourCharCode('T', 'v', 'n', 'r'));
    declareFloatReplacing(true);
    declareDoubleReplacing(true);
    copyBounded(programName, "Default", programNameLength);
}

Quorvel::~Quorvel() = default;

AudioEffect* createEffect(HostCallback host) noexcept {
    return new (std::nothrow) Quorvel(host);
}

// A correct test plug-in with one behaviour that real plug-ins have and hosts live with, chosen
// when it is built (UNUSUAL_QUIRK names it, e.g. "toggles"); the validator must call it VALID.
#include <string_view>

#include "tests/host/minimal_plugin.h"

namespace {

Quirks quirksNamed(std::string_view name) {
    Quirks quirks;
    quirks.quantizingToggle = name == "toggles";
    quirks.otherUnits = name == "units";
    quirks.linkedParams = name == "linked";
    quirks.growingChunk = name == "growing_chunk";
    quirks.noise = name == "noise";
    quirks.rareSubnormals = name == "rare_subnormals";
    quirks.allocatesOnFirstBlock = name == "first_block_allocation";
    quirks.editorNeedsDisplay = name == "editor_needs_display";
    return quirks;
}

}  // namespace

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    return createMinimalEffect(host, Faults{}, quirksNamed(UNUSUAL_QUIRK));
}

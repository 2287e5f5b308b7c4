// Parameter values given on the command line: fixed (`NAME=VALUE`) or ramped linearly over
// the rendered audio (`NAME=FROM:TO`), with NAME a parameter's title or index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/loader/plugin_instance.h"

namespace quorvel::host {

struct ParamSetting {
    std::int32_t index = 0;
    float from = 0.0F;
    float to = 0.0F;  // equal to `from` for a fixed value

    // The value for the block that starts at frame `position` of `totalFrames`: `from` at the
    // first frame, `to` at the last, linear in between.
    float valueAt(std::int64_t position, std::int64_t totalFrames) const;
};

// Main thread. Resolves `NAME=VALUE` (ramp false) or `NAME=FROM:TO` (ramp true) against the
// effect's parameters. NAME is an index (all digits) or a title, matched exactly first and
// then ignoring case (leading zeros of an index are ignored). Values must be numbers in 0..1.
// Throws UsageError saying what is wrong.
ParamSetting parseParamSetting(const std::string& text, bool ramp, PluginInstance& instance);

// Main thread. Resolves every `--set` (NAME=VALUE) and `--ramp` (NAME=FROM:TO) as
// parseParamSetting() does; a parameter named twice is a UsageError.
std::vector<ParamSetting> parseParamSettings(const std::vector<std::string>& sets,
                                             const std::vector<std::string>& ramps, PluginInstance& instance);

// Audio thread. Writes every setting's value for the block starting at `position`.
void applyParamSettings(const std::vector<ParamSetting>& settings, PluginInstance& instance, std::int64_t position,
                        std::int64_t totalFrames);

}  // namespace quorvel::host

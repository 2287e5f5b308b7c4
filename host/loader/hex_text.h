// A 32-bit value written as the tool writes codes everywhere: "0x" and eight upper-case hex
// digits ("0x54766E72").
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel::host {

// Any thread. The value's 32 bits as "0x%08X".
inline std::string hexText(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace quorvel::host

// The tool's own shortages, told apart from other failures of supervised work: memory or a
// thread the tool could not have outside any plug-in call (inside one, the exception is the
// plug-in's). They say nothing about the plug-in, so validate gives no verdict on them.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <system_error>

namespace quorvel::host {

// Any thread. What the tool ran short of, when `error` is such a shortage ("out of memory",
// "cannot start a thread: Resource temporarily unavailable"); empty for any other failure.
inline std::string toolShortage(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return "out of memory";
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error); system != nullptr) {
        const std::error_code code = system->code();
        if (code == std::errc::resource_unavailable_try_again || code == std::errc::not_enough_memory) {
            return "cannot start a thread: " + code.message();
        }
    }
    return {};
}

// The failure line of a shortage.
inline std::string shortageLine(const std::string& shortage) {
    return "the tool ran short of resources: " + shortage;
}

}  // namespace quorvel::host

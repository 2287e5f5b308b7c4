// A failure of the host, or a plug-in that cannot be driven, told in one line.
#pragma once

#include <stdexcept>

namespace quorvel::host {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel::host

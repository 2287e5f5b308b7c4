// A command line the tool cannot carry out as written (an unknown parameter, a value out of
// range, options that contradict each other): told in one line, exit status 2.
#pragma once

#include "host/loader/host_error.h"

namespace quorvel::host {

class UsageError : public HostError {
public:
    using HostError::HostError;
};

}  // namespace quorvel::host

// A host callback for tests that records every host request and answers from a table.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "framework/effect_record.h"

struct HostRequest {
    EffectRecord* record;
    std::int32_t request;
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
};

// One recording host at a time: the callback is a plain function, so it reaches the
// current host through a static pointer that the constructor sets.
class RecordingHost {
public:
    // Answers 2400 to the version question and 0 to everything else until told otherwise.
    // (The version answer is set here rather than by a brace initializer, which g++ 12
    // wrongly reports as read uninitialized once inlined.)
    RecordingHost() {
        answers[1] = 2400;
        current() = this;
    }
    ~RecordingHost() { current() = nullptr; }
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    static std::intptr_t callback(EffectRecord* record, std::int32_t request, std::int32_t index, std::intptr_t value,
                                  void* ptr, float opt) {
        RecordingHost* host = current();
        host->requests.push_back({record, request, index, value, ptr, opt});
        const auto found = host->answers.find(request);
        return found != host->answers.end() ? found->second : host->defaultAnswer;
    }

    std::vector<HostRequest> requests;
    std::map<std::int32_t, std::intptr_t> answers;  // request code -> answer
    std::intptr_t defaultAnswer = 0;

private:
    static RecordingHost*& current() {
        static RecordingHost* host = nullptr;
        return host;
    }
};

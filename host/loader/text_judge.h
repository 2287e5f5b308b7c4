// The one rule by which the tool judges the texts a plug-in writes, for info and the validator
// alike: a write outside the text's buffer is a fault; a text longer than the interface's
// nominal size that stayed within the buffer is only long, as real hosts' buffers take it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/loader/plugin_instance.h"

namespace quorvel::host {

// Main thread (where the texts are asked for). Each caller words the findings its own way.
class TextJudge {
public:
    // A text written outside its buffer: what it was ("vendor text") and what went wrong.
    struct Fault {
        std::string what;
        std::string problem;
    };
    // A text past its nominal size: what it was, its length with its zero, its nominal size.
    struct LongText {
        std::string what;
        std::size_t length = 0;
        std::size_t nominal = 0;
    };

    // Answers the text (what lies within the buffer), noting a fault or a long text under `what`.
    std::string take(const TextAnswer& answer, const std::string& what);

    const std::vector<Fault>& faults() const { return faults_; }
    const std::vector<LongText>& longTexts() const { return longTexts_; }
    // The longest of longTexts() (the first of equals); null when there is none.
    const LongText* longest() const;

private:
    std::vector<Fault> faults_;
    std::vector<LongText> longTexts_;
};

}  // namespace quorvel::host

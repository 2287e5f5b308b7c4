#include "host/loader/text_judge.h"

namespace quorvel::host {

std::string TextJudge::take(const TextAnswer& answer, const std::string& what) {
    if (!answer.problem.empty()) {
        faults_.push_back({what, answer.problem});
    } else if (answer.pastNominal()) {
        longTexts_.push_back({what, answer.text.size() + 1, answer.nominal});
    }
    return answer.text;
}

const TextJudge::LongText* TextJudge::longest() const {
    const LongText* longest = nullptr;
    for (const LongText& text : longTexts_) {
        if (longest == nullptr || text.length > longest->length) {
            longest = &text;
        }
    }
    return longest;
}

}  // namespace quorvel::host

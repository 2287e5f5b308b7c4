#include "host/validate/checks/check_list.h"

namespace quorvel::host {

const std::vector<CheckDefinition>& validationChecks() {
    static const std::vector<CheckDefinition> checks = [] {
        std::vector<CheckDefinition> all;
        for (auto&& theme : {recordChecks(), paramChecks(), processChecks(), stateChecks(), editorChecks()}) {
            all.insert(all.end(), theme.begin(), theme.end());
        }
        return all;
    }();
    return checks;
}

}  // namespace quorvel::host

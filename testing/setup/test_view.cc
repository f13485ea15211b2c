#include "testing/setup/test_view.h"

namespace orvella::test {

bool CTestView::IsChecked(Check box) const {
    const auto found = checks.find(box);
    return found != checks.end() && found->second;
}

bool CTestView::GetTime(int picker, SetupTime* time) const {
    *time = times[picker];
    return timeValid[picker];
}

bool CTestView::HasStatus(const std::string& text) const {
    for (const std::string& line : status) {
        if (line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace orvella::test

#include "plugin/boundary/trade_filter.h"

#include <cstdlib>

#include "platform/text.h"

namespace orvella {

namespace {

std::wstring_view Group(const std::wstring& text, size_t index) {
    const size_t start = index * 2;
    if (start >= text.size()) {
        return std::wstring_view();
    }
    return std::wstring_view(text).substr(start, 2);
}

}  // namespace

int TimeGroupValue(std::wstring_view group) {
    const std::string narrow = platform::NarrowText(group);
    return static_cast<int>(std::strtol(narrow.c_str(), nullptr, 10));
}

void ApplyTradeFilter(CGlobalState& state) {
    state.tradeFilterOn =
        state.beginFilterText != L"000000" && state.endFilterText != L"235959" ? 1 : 0;
    state.filterBeginHour = TimeGroupValue(Group(state.beginFilterText, 0));
    state.filterBeginMinute = TimeGroupValue(Group(state.beginFilterText, 1));
    state.filterBeginSecond = TimeGroupValue(Group(state.beginFilterText, 2));
    state.filterEndHour = TimeGroupValue(Group(state.endFilterText, 0));
    state.filterEndMinute = TimeGroupValue(Group(state.endFilterText, 1));
    state.filterEndSecond = TimeGroupValue(Group(state.endFilterText, 2));
}

}  // namespace orvella

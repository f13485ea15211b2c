#include "plugin/boundary/bar_interval.h"

namespace orvella {

std::wstring HistoryRequestType(float interval) {
    if (interval == 0.0f) {
        return L"HTT";
    }
    if (interval > 0.0f && interval < 1440.0f) {
        return L"HIT";
    }
    if (interval == 1440.0f) {
        return L"HDX";
    }
    if (interval == 10080.0f) {
        return L"HWX";
    }
    if (interval == 43200.0f || interval == 302400.0f) {
        return L"HMX";
    }
    return std::wstring();
}

bool NamesRequest(float interval) {
    return !HistoryRequestType(interval).empty();
}

}  // namespace orvella

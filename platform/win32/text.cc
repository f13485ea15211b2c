#include "platform/text.h"

#include "platform/win32/win32_api.h"

namespace platform {

size_t WidenInto(std::string_view text, wchar_t* dest) {
    if (text.empty()) {
        return 0;
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), dest,
                                      static_cast<int>(text.size()));
    return static_cast<size_t>(n > 0 ? n : 0);
}

// Characters outside the code page become "?", never a look-alike.
std::string NarrowText(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    const int wide = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '?');
    if (n > 0) {
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, out.data(), n, "?",
                            nullptr);
    }
    return out;
}

}  // namespace platform

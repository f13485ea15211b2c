#include "plugin/diagnostics/format_text.h"

#include <cwchar>

namespace orvella {

namespace {

// A format that cannot be expanded within this many characters (or at all,
// for text the C library cannot encode) is returned as it stands.
constexpr size_t kMaxFormattedChars = size_t{1} << 20;

}  // namespace

std::wstring FormatTextV(const wchar_t* format, va_list args) {
    std::wstring out(256, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int written = std::vswprintf(out.data(), out.size(), format, copy);
        va_end(copy);
        if (written >= 0) {
            out.resize(static_cast<size_t>(written));
            return out;
        }
        if (out.size() >= kMaxFormattedChars) {
            return std::wstring(format);
        }
        out.resize(out.size() * 2);
    }
}

std::wstring FormatText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatTextV(format, args);
    va_end(args);
    return text;
}

}  // namespace orvella

#include "platform/text.h"

namespace platform {

std::wstring WidenText(std::string_view text) {
    std::wstring out;
    AppendWidened(text, &out);
    return out;
}

void AppendWidened(std::string_view text, std::wstring* out) {
    const size_t start = out->size();
    out->resize(start + text.size());
    wchar_t* dest = out->data() + start;
    for (const char c : text) {
        *dest++ = static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
}

std::string NarrowText(std::wstring_view text) {
    std::string out(text.size(), '?');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        if (c <= 0xFF) {
            out[i] = static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace platform

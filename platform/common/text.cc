#include "platform/text.h"

namespace platform {

std::wstring WidenText(std::string_view text) {
    std::wstring out;
    AppendWidened(text, &out);
    return out;
}

void AppendWidened(std::string_view text, std::wstring* out) {
    // Every code page this system handles is single-byte, so the byte count
    // bounds the wide count.
    const size_t start = out->size();
    out->resize(start + text.size());
    out->resize(start + WidenInto(text, out->data() + start));
}

}  // namespace platform

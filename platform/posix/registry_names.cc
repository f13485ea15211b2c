#include "platform/posix/registry_names.h"

#include <cstdint>

namespace platform::posix {

namespace {

// Case folding for key and value names: the ASCII and Latin-1 capitals.
wchar_t FoldChar(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    return c;
}

void AppendUtf8(wchar_t wc, std::string* out) {
    auto c = static_cast<uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string Utf8(std::wstring_view text, bool fold) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        AppendUtf8(fold ? FoldChar(c) : c, &out);
    return out;
}

std::wstring FromUtf8(const unsigned char* p, int size) {
    std::wstring out;
    for (int i = 0; i < size;) {
        uint32_t c = p[i];
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (extra)
            c &= 0x3F >> extra;
        ++i;
        for (int k = 0; k < extra && i < size; ++k, ++i)
            c = (c << 6) | (p[i] & 0x3F);
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

bool SplitKeyPath(std::wstring_view path, std::vector<std::wstring_view>* parts) {
    while (!path.empty() && path.front() == L'\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == L'\\')
        path.remove_suffix(1);
    while (!path.empty()) {
        size_t end = path.find(L'\\');
        std::wstring_view part = path.substr(0, end);
        if (part.empty() || part.size() > kMaxKeyNameLength)
            return false;
        parts->push_back(part);
        if (end == std::wstring_view::npos)
            break;
        path.remove_prefix(end + 1);
    }
    return true;
}

std::string FoldedPath(const std::vector<std::wstring_view>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out.push_back('\\');
        out += Utf8(parts[i], true);
    }
    return out;
}

}  // namespace platform::posix

#include "platform/text.h"

#include <cstring>

namespace platform {

size_t WidenInto(std::string_view text, wchar_t* dest) {
    const char* source = text.data();
    size_t left = text.size();
    // Whole blocks first: a block copied into a local array cannot overlap
    // the destination, and a loop of fixed length over it is one the
    // compiler turns into a few vector instructions (a byte at a time, this
    // widening costs as much as reading the lines of a history reply).
    constexpr size_t kBlock = 32;
    for (; left >= kBlock; left -= kBlock, source += kBlock, dest += kBlock) {
        unsigned char block[kBlock];
        std::memcpy(block, source, kBlock);
        for (size_t i = 0; i < kBlock; ++i) {
            dest[i] = static_cast<wchar_t>(block[i]);
        }
    }
    for (size_t i = 0; i < left; ++i) {
        dest[i] = static_cast<wchar_t>(static_cast<unsigned char>(source[i]));
    }
    return text.size();
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

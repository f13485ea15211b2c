#include "settings/reg_text.h"

namespace orvella {

namespace {

void AppendUnit(uint32_t unit, std::vector<uint8_t>* out) {
    out->push_back(static_cast<uint8_t>(unit & 0xFF));
    out->push_back(static_cast<uint8_t>(unit >> 8));
}

}  // namespace

std::vector<uint8_t> EncodeRegText(std::wstring_view text) {
    std::vector<uint8_t> out;
    out.reserve(2 * text.size() + 2);
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF)
            c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            AppendUnit(0xD800 | (c >> 10), &out);
            AppendUnit(0xDC00 | (c & 0x3FF), &out);
        } else {
            AppendUnit(c, &out);
        }
    }
    AppendUnit(0, &out);
    return out;
}

std::wstring DecodeRegText(const uint8_t* data, size_t size) {
    std::wstring out;
    out.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        uint32_t unit = data[i] | (uint32_t{data[i + 1]} << 8);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
            uint32_t low = data[i + 2] | (uint32_t{data[i + 3]} << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return out;
}

}  // namespace orvella

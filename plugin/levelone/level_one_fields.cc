#include "plugin/levelone/level_one_fields.h"

#include <bit>
#include <cstdint>
#include <utility>

#include "platform/comma_mask.h"
#include "plugin/boundary/feed_text.h"

namespace orvella {

namespace {

constexpr std::size_t kBlock = platform::kCommaBlock;
using platform::CommaMask;

// One pass over the characters up to the comma that ends the last wanted
// field, a block at a time: the block's commas are marked in a bit mask (no
// branch per character, which at fields of a few characters would be
// mispredicted at nearly every field's end, and no search call per field,
// which costs more than the field's characters), then the mask's bits give
// the comma positions in order.
template <std::size_t kCount>
std::array<std::wstring_view, kCount> CutAtCommas(std::wstring_view line) {
    std::array<std::wstring_view, kCount> fields;
    std::size_t found = 0;
    std::size_t start = 0;
    for (std::size_t block = 0; block < line.size() && found < kCount; block += kBlock) {
        const wchar_t* const text = line.data() + block;
        uint32_t mask = 0;
        if (line.size() - block >= kBlock) {
            mask = CommaMask(text);
        } else {
            for (std::size_t i = 0; i < line.size() - block; ++i) {
                mask |= static_cast<uint32_t>(text[i] == L',') << i;
            }
        }
        for (; mask != 0 && found < kCount; mask &= mask - 1) {
            const std::size_t comma = block + static_cast<std::size_t>(std::countr_zero(mask));
            fields[found++] = std::wstring_view(line.data() + start, comma - start);
            start = comma + 1;
        }
    }
    // The text after the last comma is the last field; past the wanted
    // fields' last comma it is dropped.
    if (found < kCount) {
        fields[found] = line.substr(start);
    }
    return fields;
}

}  // namespace

CLineFields SplitFields(std::wstring_view line) {
    return CutAtCommas<kLevelOneFieldCount>(line);
}

CReadFields SplitReadFields(std::wstring_view line) {
    return CutAtCommas<kReadFieldCount>(line);
}

bool ReadLineDateTime(std::wstring_view timeField, std::wstring_view dateField,
                      CLineDateTime* parts) {
    constexpr std::size_t kDateLength = 10;
    return ReadExactDigits(timeField, 0, 2, &parts->hour) &&
           ReadExactDigits(timeField, 3, 2, &parts->minute) &&
           ReadExactDigits(timeField, 6, 2, &parts->second) &&
           ReadExactDigits(dateField, 0, 2, &parts->month) &&
           ReadExactDigits(dateField, 3, 2, &parts->day) &&
           ReadExactDigits(dateField, 6, 4, &parts->year) && dateField.size() == kDateLength;
}

wchar_t FindTradeMarker(std::wstring_view field) {
    for (const wchar_t c : field) {
        if (c == L't' || c == L'T') {
            return c;
        }
    }
    return 0;
}

std::wstring_view SystemLineField(std::wstring_view line) {
    if (line.size() <= 2) {
        return {};
    }
    std::size_t begin = 2;
    while (begin < line.size() && line[begin] == L',') {
        ++begin;
    }
    const std::size_t comma = line.find(L',', begin);
    return line.substr(begin,
                       comma == std::wstring_view::npos ? std::wstring_view::npos : comma - begin);
}

}  // namespace orvella

#include "plugin/levelone/level_one_fields.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "platform/byte_mask.h"
#include "platform/comma_mask.h"
#include "platform/text.h"
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

template <typename TChar>
bool IsDigitChar(TChar c) {
    return static_cast<uint32_t>(c) - uint32_t{'0'} <= 9;
}

// ReadExactDigits (feed_text.h) for either kind of text, the count fixed so
// that the digits are read with no loop.
template <std::size_t kCount, typename TChar>
[[gnu::always_inline]] inline bool ReadDigits(std::basic_string_view<TChar> text, std::size_t pos,
                                              int* value) {
    if (pos + kCount > text.size()) {
        return false;
    }
    int read = 0;
    for (std::size_t i = pos; i < pos + kCount; ++i) {
        if (!IsDigitChar(text[i])) {
            return false;
        }
        read = read * 10 + (text[i] - TChar('0'));
    }
    if (pos + kCount < text.size() && IsDigitChar(text[pos + kCount])) {
        return false;
    }
    *value = read;
    return true;
}

template <typename TChar>
bool ReadDateTime(std::basic_string_view<TChar> timeField, std::basic_string_view<TChar> dateField,
                  CLineDateTime* parts) {
    constexpr std::size_t kDateLength = 10;
    return ReadDigits<2>(timeField, 0, &parts->hour) &&
           ReadDigits<2>(timeField, 3, &parts->minute) &&
           ReadDigits<2>(timeField, 6, &parts->second) &&
           ReadDigits<2>(dateField, 0, &parts->month) && ReadDigits<2>(dateField, 3, &parts->day) &&
           ReadDigits<4>(dateField, 6, &parts->year) && dateField.size() == kDateLength;
}

// The top bit of every byte of word that is zero, no other bit: only a zero
// byte keeps its top bit clear through the addition (no carry crosses a
// byte).
uint64_t ZeroBytes(uint64_t word) {
    constexpr uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((word & kLowBits) + kLowBits) | word | kLowBits);
}

template <typename TChar>
wchar_t FindMarker(std::basic_string_view<TChar> field) {
    for (const TChar c : field) {
        if (c == TChar('t') || c == TChar('T')) {
            return static_cast<wchar_t>(c);
        }
    }
    return 0;
}

}  // namespace

CLineFields SplitFields(std::wstring_view line) {
    return CutAtCommas<kLevelOneFieldCount>(line);
}

CReadFields SplitReadFields(std::wstring_view line) {
    return CutAtCommas<kReadFieldCount>(line);
}

CByteReadFields::CByteReadFields(std::string_view line)
    : m_pText(line.data()), m_nSize(line.size()) {
    // A block's commas are found at once, then noted up to the wanted ones.
    std::size_t found = 0;
    for (std::size_t block = 0; block < m_nSize && found < kReadFieldCount; block += kBlockBytes) {
        uint64_t commas;
        if (m_nSize - block >= kBlockBytes) {
            commas = platform::ByteMask64(m_pText + block, ',', ',', ',');
        } else {
            // The bytes past the line's end stay zero, which is no comma.
            char last[kBlockBytes] = {};
            std::memcpy(last, m_pText + block, m_nSize - block);
            commas = platform::ByteMask64(last, ',', ',', ',');
        }
        for (; commas != 0 && found < kReadFieldCount; commas &= commas - 1) {
            m_aCommas[found++] = static_cast<uint32_t>(block + std::countr_zero(commas));
        }
    }
    m_nFound = found < kReadFieldCount ? found : kReadFieldCount;
}

bool ReadLineDateTime(std::wstring_view timeField, std::wstring_view dateField,
                      CLineDateTime* parts) {
    return ReadDateTime(timeField, dateField, parts);
}

bool ReadLineDateTime(std::string_view timeField, std::string_view dateField,
                      CLineDateTime* parts) {
    return ReadDateTime(timeField, dateField, parts);
}

wchar_t FindTradeMarker(std::wstring_view field) {
    return FindMarker(field);
}

wchar_t FindTradeMarker(std::string_view field) {
    // The time field's first eight bytes at once, read as one word (first
    // byte lowest): a byte is t or T when with its case bit set it is t.
    static_assert(std::endian::native == std::endian::little);
    constexpr std::size_t kWord = sizeof(uint64_t);
    if (field.size() >= kWord) {
        uint64_t word;
        std::memcpy(&word, field.data(), kWord);
        const uint64_t marks = ZeroBytes((word | 0x2020202020202020ULL) ^ 0x7474747474747474ULL);
        if (marks != 0) {
            return static_cast<wchar_t>(
                field[static_cast<std::size_t>(std::countr_zero(marks)) / 8]);
        }
        field.remove_prefix(kWord);
    }
    return FindMarker(field);
}

bool ReadFieldNumber(std::string_view field, double* value) {
    if (ReadPlainDecimal(field, value)) {
        return true;
    }
    // Anything else (blanks, a plus, an exponent, many digits) is rare: it
    // is read as its wide text.
    constexpr std::size_t kShortField = 64;
    if (field.size() <= kShortField) {
        wchar_t wide[kShortField];
        const std::size_t length = platform::WidenInto(field, wide);
        return ReadFiniteNumber(std::wstring_view(wide, length), value);
    }
    return ReadFiniteNumber(platform::WidenText(field), value);
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

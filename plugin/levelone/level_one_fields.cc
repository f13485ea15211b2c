#include "plugin/levelone/level_one_fields.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

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

// The bytes of a line are read eight at a time as one 64-bit word, first
// byte lowest.
static_assert(std::endian::native == std::endian::little);
constexpr uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;

// The top bit of every byte of word that is a comma, no other bit: a byte
// that equals the comma becomes zero, and only a zero byte keeps its top bit
// clear through the addition (no carry crosses a byte).
uint64_t CommaBytes(uint64_t word) {
    const uint64_t t = word ^ 0x2C2C2C2C2C2C2C2CULL;
    return ~(((t & kLowBits) + kLowBits) | t | kLowBits);
}

template <typename TChar>
bool IsDigitChar(TChar c) {
    return c >= TChar('0') && c <= TChar('9');
}

// ReadExactDigits (feed_text.h) for either kind of text.
template <typename TChar>
bool ReadDigits(std::basic_string_view<TChar> text, std::size_t pos, std::size_t count,
                int* value) {
    if (pos + count > text.size()) {
        return false;
    }
    int read = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!IsDigitChar(text[i])) {
            return false;
        }
        read = read * 10 + (text[i] - TChar('0'));
    }
    if (pos + count < text.size() && IsDigitChar(text[pos + count])) {
        return false;
    }
    *value = read;
    return true;
}

template <typename TChar>
bool ReadDateTime(std::basic_string_view<TChar> timeField, std::basic_string_view<TChar> dateField,
                  CLineDateTime* parts) {
    constexpr std::size_t kDateLength = 10;
    return ReadDigits(timeField, 0, 2, &parts->hour) &&
           ReadDigits(timeField, 3, 2, &parts->minute) &&
           ReadDigits(timeField, 6, 2, &parts->second) &&
           ReadDigits(dateField, 0, 2, &parts->month) &&
           ReadDigits(dateField, 3, 2, &parts->day) && ReadDigits(dateField, 6, 4, &parts->year) &&
           dateField.size() == kDateLength;
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

// The plain decimal that ReadFiniteNumber reads first (an optional minus, at
// most 15 digits with an optional point, nothing else), by the same steps,
// so with the same result. False for anything else.
bool ReadPlainDecimalBytes(std::string_view text, double* value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        ++i;
    }
    uint64_t mantissa = 0;
    int digits = 0;
    int fraction = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigitChar(c)) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            ++digits;
            if (fraction >= 0) {
                ++fraction;
            }
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 15) {
        return false;
    }
    const double magnitude =
        static_cast<double>(mantissa) / kPowersOfTen[fraction > 0 ? fraction : 0];
    *value = negative ? -magnitude : magnitude;
    return true;
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
    static_assert(kWordBytes == sizeof(uint64_t));
    // Every comma of a word is noted, with no test per comma; the words stop
    // once the wanted ones are found.
    std::size_t found = 0;
    for (std::size_t block = 0; block < m_nSize && found < kReadFieldCount; block += kWordBytes) {
        uint64_t word = 0;
        if (m_nSize - block >= kWordBytes) {
            std::memcpy(&word, m_pText + block, kWordBytes);
        } else {
            // The bytes past the line's end stay zero, which is no comma.
            for (std::size_t i = 0; i < m_nSize - block; ++i) {
                word |= static_cast<uint64_t>(static_cast<unsigned char>(m_pText[block + i]))
                        << (8 * i);
            }
        }
        for (uint64_t commas = CommaBytes(word); commas != 0; commas &= commas - 1) {
            m_aCommas[found++] =
                static_cast<uint32_t>(block + static_cast<std::size_t>(std::countr_zero(commas)) / 8);
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
    return FindMarker(field);
}

bool ReadFieldNumber(std::string_view field, double* value) {
    if (ReadPlainDecimalBytes(field, value)) {
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

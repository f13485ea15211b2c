// Field access for level-one lines: splitting at commas and reading the
// times, dates and numbers that summary and update lines carry. Each reader
// comes for the wide text and for the bytes as the socket received them (a
// byte is the character of the same code, as the widening makes it), with the
// same results. Pure functions over views of the line; nothing here
// allocates on the common path.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvella {

inline constexpr std::size_t kLevelOneFieldCount = 62;

// The 62 fields of a line, index 0 to 61, as views into the line. A field
// that the line does not reach is empty.
using CLineFields = std::array<std::wstring_view, kLevelOneFieldCount>;

// Cuts line at every comma: field n is the text between the n-th and the
// (n+1)-th comma, the last field runs to the end of the line. Fields beyond
// index 61 are dropped. The views stay valid as long as the line's text.
CLineFields SplitFields(std::wstring_view line);

// Summary and update lines are read from their fields 0 to 32 only; the rest
// of a line (about a third of its text, and most of its commas) is never cut.
inline constexpr std::size_t kReadFieldCount = 33;
using CReadFields = std::array<std::wstring_view, kReadFieldCount>;

// The first kReadFieldCount fields of line, each exactly as SplitFields cuts
// it.
CReadFields SplitReadFields(std::wstring_view line);

// The same fields of a line of received bytes, each the bytes of the field
// SplitReadFields cuts from its widened text. Only the commas' places are
// kept (a field's view costs two stores, most fields are never read).
class CByteReadFields {
  public:
    explicit CByteReadFields(std::string_view line);

    std::string_view operator[](std::size_t index) const {
        if (index > m_nFound) {
            return {};
        }
        const std::size_t begin = index == 0 ? 0 : m_aCommas[index - 1] + 1;
        const std::size_t end = index == m_nFound ? m_nSize : m_aCommas[index];
        return std::string_view(m_pText + begin, end - begin);
    }

  private:
    // The line is searched 64 bytes at a time.
    static constexpr std::size_t kBlockBytes = 64;

    const char* m_pText;
    std::size_t m_nSize;
    // Commas found, at most kReadFieldCount.
    std::size_t m_nFound = 0;
    // Their places.
    uint32_t m_aCommas[kReadFieldCount];
};

// Calendar parts of a line's time field (HH?MM?SS) and date field
// (MM?DD?YYYY), each part exactly its digits. The separators are not
// examined, but they are no digits: "t" holds no time and "03/06/20245" no
// four-digit year. After the seconds the time field may go on (its trade
// marker); the date field ends with its year. False when a part is missing
// or not all digits (the parts may then be partly written).
struct CLineDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};
bool ReadLineDateTime(std::wstring_view timeField, std::wstring_view dateField,
                      CLineDateTime* parts);
bool ReadLineDateTime(std::string_view timeField, std::string_view dateField, CLineDateTime* parts);

// The first character of field that is t or T, or 0 when there is none.
wchar_t FindTradeMarker(std::wstring_view field);
wchar_t FindTradeMarker(std::string_view field);

// ReadFiniteNumber (feed_text.h) for a field of received bytes, with the
// same result as for its widened text.
bool ReadFieldNumber(std::string_view field, double* value);

// The second field of a system line: from character 2, empty fields skipped,
// up to the next comma.
std::wstring_view SystemLineField(std::wstring_view line);

}  // namespace orvella

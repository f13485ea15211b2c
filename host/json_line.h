// One JSON object on one line, as the call record writes it. Numbers are
// written so that they read back to the same value; texts from the host are
// 8-bit and every byte maps to one character (Latin-1), bytes from 0x80 up as
// \u00XX.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nsthost {

// Appends the shortest text that reads back as the same double. Negative zero
// is written "-0.0"; NaN and the infinities, which JSON cannot hold as
// numbers, as the strings "NaN", "Infinity" and "-Infinity".
void AppendJsonDouble(double value, std::string* out);

// The same for a 32-bit float: the shortest text that reads back (as a
// float, or as a double rounded to float) to the same float.
void AppendJsonFloat(float value, std::string* out);

// Appends a quoted JSON string of 8-bit text (Latin-1).
void AppendJsonBytes(std::string_view text, std::string* out);

// Appends a quoted JSON string of wide text (UTF-16 escapes above 0x7F).
void AppendJsonWide(std::wstring_view text, std::string* out);

// Builds {"call":"NAME",...} field by field.
class CJsonLine {
  public:
    explicit CJsonLine(std::string_view call);

    CJsonLine& Text(std::string_view name, std::string_view value);
    CJsonLine& Wide(std::string_view name, std::wstring_view value);
    CJsonLine& Double(std::string_view name, double value);
    CJsonLine& Float(std::string_view name, float value);
    CJsonLine& Integer(std::string_view name, int64_t value);

    // The object with its closing brace and a line feed.
    const std::string& Finish();

  private:
    void Name(std::string_view name);

    std::string m_text;
};

}  // namespace nsthost

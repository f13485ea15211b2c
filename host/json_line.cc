#include "host/json_line.h"

#include <charconv>
#include <cmath>

namespace nsthost {
namespace {

template <typename T>
void AppendNumber(T value, std::string* out) {
    if (std::isnan(value)) {
        out->append("\"NaN\"");
        return;
    }
    if (std::isinf(value)) {
        out->append(value > 0 ? "\"Infinity\"" : "\"-Infinity\"");
        return;
    }
    if (value == 0 && std::signbit(value)) {
        out->append("-0.0");
        return;
    }
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out->append(text, end);
}

void AppendEscape(unsigned code, std::string* out) {
    static const char kHex[] = "0123456789abcdef";
    out->append("\\u");
    out->push_back(kHex[(code >> 12) & 0xF]);
    out->push_back(kHex[(code >> 8) & 0xF]);
    out->push_back(kHex[(code >> 4) & 0xF]);
    out->push_back(kHex[code & 0xF]);
}

// Characters below 0x80 that JSON lets through or names by a short escape.
void AppendAscii(unsigned c, std::string* out) {
    switch (c) {
        case '"':
            out->append("\\\"");
            return;
        case '\\':
            out->append("\\\\");
            return;
        case '\n':
            out->append("\\n");
            return;
        case '\r':
            out->append("\\r");
            return;
        case '\t':
            out->append("\\t");
            return;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7F) {
        AppendEscape(c, out);
    } else {
        out->push_back(static_cast<char>(c));
    }
}

}  // namespace

void AppendJsonDouble(double value, std::string* out) {
    AppendNumber(value, out);
}

void AppendJsonFloat(float value, std::string* out) {
    AppendNumber(value, out);
}

void AppendJsonBytes(std::string_view text, std::string* out) {
    out->push_back('"');
    for (char ch : text) {
        const unsigned c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            AppendEscape(c, out);
        } else {
            AppendAscii(c, out);
        }
    }
    out->push_back('"');
}

void AppendJsonWide(std::wstring_view text, std::string* out) {
    out->push_back('"');
    for (wchar_t ch : text) {
        const auto c = static_cast<uint32_t>(ch);
        if (c < 0x80) {
            AppendAscii(c, out);
        } else if (c < 0x10000) {
            AppendEscape(c, out);
        } else if (c <= 0x10FFFF) {
            const uint32_t v = c - 0x10000;
            AppendEscape(0xD800 + (v >> 10), out);
            AppendEscape(0xDC00 + (v & 0x3FF), out);
        } else {
            AppendEscape(0xFFFD, out);
        }
    }
    out->push_back('"');
}

CJsonLine::CJsonLine(std::string_view call) {
    m_text.reserve(128);
    m_text.append("{\"call\":");
    AppendJsonBytes(call, &m_text);
}

void CJsonLine::Name(std::string_view name) {
    m_text.push_back(',');
    AppendJsonBytes(name, &m_text);
    m_text.push_back(':');
}

CJsonLine& CJsonLine::Text(std::string_view name, std::string_view value) {
    Name(name);
    AppendJsonBytes(value, &m_text);
    return *this;
}

CJsonLine& CJsonLine::Wide(std::string_view name, std::wstring_view value) {
    Name(name);
    AppendJsonWide(value, &m_text);
    return *this;
}

CJsonLine& CJsonLine::Double(std::string_view name, double value) {
    Name(name);
    AppendJsonDouble(value, &m_text);
    return *this;
}

CJsonLine& CJsonLine::Float(std::string_view name, float value) {
    Name(name);
    AppendJsonFloat(value, &m_text);
    return *this;
}

CJsonLine& CJsonLine::Integer(std::string_view name, int64_t value) {
    Name(name);
    m_text.append(std::to_string(value));
    return *this;
}

const std::string& CJsonLine::Finish() {
    m_text.append("}\n");
    return m_text;
}

}  // namespace nsthost

// Port texts: the startup key's port values (low 16 bits of the leading
// decimal number) and the setup program's port edit (the leading decimal
// number, wrapping like the platform's conversion). Both must agree with a
// plain reading of the digits, whatever their length.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/text.h"
#include "settings/corvan_ports.h"
#include "setup/symbol_file_location.h"

namespace {

// Leading white space, an optional sign, then digits; the value modulo 2^32.
uint32_t ReferenceValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i++] == '-';
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    return negative ? 0u - value : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const uint32_t expected = ReferenceValue(text);
    FUZZ_CHECK(orvella::PortFromText(platform::WidenText(text)) == static_cast<uint16_t>(expected));
    FUZZ_CHECK(static_cast<uint32_t>(orvella::PortFromText(text)) == expected);
    return 0;
}

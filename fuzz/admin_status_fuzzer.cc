// The admin port's status-line scan fed in chunks the fuzzer cuts. Its answer
// must be the one a plain reading of the received text gives: connected once
// a complete line has at least 21 non-empty comma-separated fields and the
// 13th of them is exactly "Connected"; lines longer than the bound are
// skipped.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "plugin/boundary/exports/admin_login.h"

namespace {

bool ReferenceSaysConnected(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        const std::string_view field = line.substr(start, comma - start);
        if (!field.empty()) {
            fields.push_back(field);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return fields.size() >= 21 && fields[12] == "Connected";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using orvella::CAdminStatusReader;
    FuzzedDataProvider input(bytes, size);
    const std::vector<std::string> chunks = orvella::fuzz::TakeChunks(input);

    // The chunk at which the reader says connected (the wait ends there).
    CAdminStatusReader reader;
    size_t endedAt = chunks.size();
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (reader.Append(chunks[i])) {
            endedAt = i;
            break;
        }
    }

    // The reference: the first chunk that completes a connected line.
    size_t expected = chunks.size();
    std::string text;
    size_t lineStart = 0;
    for (size_t i = 0; i < chunks.size() && expected == chunks.size(); ++i) {
        text += chunks[i];
        for (size_t end = text.find('\n', lineStart); end != std::string::npos;
             end = text.find('\n', lineStart)) {
            // A line longer than the bound is not looked at.
            const bool connected =
                end - lineStart <= orvella::kMaxFeedLineChars &&
                ReferenceSaysConnected(std::string_view(text).substr(lineStart, end - lineStart));
            lineStart = end + 1;
            if (connected) {
                expected = i;
                break;
            }
        }
    }
    FUZZ_CHECK(endedAt == expected);
    return 0;
}

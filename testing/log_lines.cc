#include "testing/log_lines.h"

namespace orvella::testing {

std::string LinesOutOfOrder(std::string_view text, const std::vector<std::string>& lines, bool once,
                            size_t* lastAt) {
    size_t at = 0;
    for (const std::string& line : lines) {
        at = text.find(line, at);
        if (at == std::string_view::npos) {
            return "missing: " + line;
        }
        if (once && text.find(line, at + 1) != std::string_view::npos) {
            return "logged twice: " + line;
        }
        if (lastAt != nullptr) {
            *lastAt = at;
        }
    }
    return "";
}

}  // namespace orvella::testing

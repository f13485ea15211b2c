#include "plugin/boundary/exports/column_layout.h"

#include <iterator>

#include "plugin/diagnostics/log.h"

namespace orvella {

LayoutStyle ChooseLayout(bool streamingEnabled, float interval) {
    if (interval == 0.0f) {
        return LayoutStyle::kTickStreaming;
    }
    return streamingEnabled ? LayoutStyle::kStreaming : LayoutStyle::kHistory;
}

float SeriesKey(bool streamingEnabled, float interval) {
    return ChooseLayout(streamingEnabled, interval) == LayoutStyle::kHistory ? interval
                                                                             : interval * -1.0f;
}

std::vector<const char*> SplitColumnNames(char* names) {
    std::vector<const char*> starts;
    if (names == nullptr) {
        return starts;
    }
    char* position = names;
    while (*position != '\0') {
        starts.push_back(position);
        while (*position != '\0' && *position != ',') {
            ++position;
        }
        if (*position == ',') {
            *position++ = '\0';
        }
    }
    return starts;
}

void AnnounceSeries(CHostFeed& host, LayoutStyle style, const char* symbol, const char* description,
                    const char* category, double startDate, float interval, char* columnNames) {
    static const char* const kStreamingLabels[] = {"Date/Time", "Close", "Volume"};
    static const char* const kTickLabels[] = {"Date/Time", "TickPrice", "TickVol", "TickType"};

    std::vector<const char*> labels;
    float key = interval;
    switch (style) {
        case LayoutStyle::kStreaming:
            WriteLogLine(L"Using streaming label style");
            labels.assign(std::begin(kStreamingLabels), std::end(kStreamingLabels));
            key = interval * -1.0f;
            break;
        case LayoutStyle::kTickStreaming:
            WriteLogLine(L"Using second tick streaming label style");
            labels.assign(std::begin(kTickLabels), std::end(kTickLabels));
            key = interval * -1.0f;
            break;
        case LayoutStyle::kHistory:
            WriteLogLine(L"Using history streaming style");
            labels = SplitColumnNames(columnNames);
            break;
    }
    host.NSTSETUPDATA(symbol, description, key, static_cast<int>(labels.size()), category,
                      startDate);
    for (size_t i = 0; i < labels.size(); ++i) {
        host.NSTSETLABEL(symbol, key, static_cast<int>(i + 1), labels[i]);
    }
}

}  // namespace orvella

#include "testing/host_recorder.h"

#include <algorithm>
#include <sstream>

namespace orvella::testing {

void CRecordingHostFeed::Record(const char* op, const char* symbol, float interval, int column,
                                const char* text, double value) {
    CHostCall call;
    call.op = op;
    call.symbol = symbol == nullptr ? "(null)" : symbol;
    call.interval = interval;
    call.column = column;
    call.text = text == nullptr ? "(null)" : text;
    call.value = value;
    calls.push_back(call);
}

void CRecordingHostFeed::RequireUserIDPassword() {
    Record("RequireUserIDPassword");
}

void CRecordingHostFeed::GetUserIDPassword(char** userId, char** password) {
    Record("GetUserIDPassword");
}

void CRecordingHostFeed::NSTSETUPDATA(const char* symbol, const char* description, float interval,
                                      int columns, const char* category, double startDate) {
    Record("NSTSETUPDATA", symbol, interval, columns, description, startDate);
}

void CRecordingHostFeed::NSTSETLABEL(const char* symbol, float interval, int column,
                                     const char* label) {
    Record("NSTSETLABEL", symbol, interval, column, label);
}

void CRecordingHostFeed::NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    Record("NSTSETVALUE", symbol, interval, column, "", value);
    const std::string& name = calls.back().symbol;
    if (m_pending.values.empty()) {
        m_pending.symbol = name;
        m_pending.series = interval;
    }
    if (column != static_cast<int>(m_pending.values.size()) + 1 || m_pending.symbol != name ||
        m_pending.series != interval) {
        ++orderFaults;
    }
    m_pending.values.push_back(value);
}

void CRecordingHostFeed::NSTCOMMITROW(const char* symbol, float interval) {
    Record("NSTCOMMITROW", symbol, interval);
    if (m_pending.symbol != calls.back().symbol || m_pending.series != interval) {
        ++orderFaults;
    }
    rows.push_back(std::move(m_pending));
    m_pending = CRecordedRow{};
}

void CRecordingHostFeed::UpdatePercent(int percent) {
    Record("UpdatePercent", "", 0.0f, percent);
}

int CRecordingHostFeed::Count(const std::string& op) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const CHostCall& call) { return call.op == op; }));
}

std::vector<std::string> CRecordingHostFeed::Texts() const {
    std::vector<std::string> texts;
    for (const CHostCall& call : calls) {
        std::ostringstream text;
        if (call.op == "NSTSETVALUE") {
            text << "V " << call.symbol << ' ' << call.interval << ' ' << call.column << ' ';
            text.precision(17);
            text << call.value;
        } else if (call.op == "NSTCOMMITROW") {
            text << "C " << call.symbol << ' ' << call.interval;
        } else if (call.op == "UpdatePercent") {
            text << "P " << call.column;
        } else {
            continue;
        }
        texts.push_back(text.str());
    }
    return texts;
}

std::vector<std::vector<double>> CRecordingHostFeed::Rows() const {
    std::vector<std::vector<double>> values;
    for (const CRecordedRow& row : rows) {
        values.push_back(row.values);
    }
    return values;
}

std::vector<int> CRecordingHostFeed::Percents() const {
    std::vector<int> percents;
    for (const CHostCall& call : calls) {
        if (call.op == "UpdatePercent") {
            percents.push_back(call.column);
        }
    }
    return percents;
}

void CRecordingHostFeed::Clear() {
    calls.clear();
    rows.clear();
    orderFaults = 0;
    m_pending = CRecordedRow{};
}

}  // namespace orvella::testing

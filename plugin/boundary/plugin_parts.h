// The history load and the level-one watch as the exports call them. The
// shipped plug-in binds them to the history and level-one subsystems; the
// boundary's tests bind test doubles.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace orvella {

struct CHistoryRequestArgs {
    std::wstring symbol;
    std::wstring description;
    std::wstring category;
    double startDate = 0.0;
    float interval = 0.0f;
    // The column names as the host gave them, before any splitting.
    std::wstring columnNames;
    // A gap fill: the trades (ticks) from startDate on, handed to the
    // series as its live lines are (every trade a row).
    bool gapTrades = false;
};

class CPluginParts {
  public:
    virtual ~CPluginParts() = default;
    // Creates the completion event and the history thread, runs the history
    // request on the calling thread and returns once the worker thread has
    // ended and both are destroyed.
    virtual void LoadHistory(const CHistoryRequestArgs& request) = 0;
    virtual bool WatchSymbol(const std::wstring& symbol, float interval) = 0;
    virtual bool UnwatchSymbol(const std::wstring& symbol, float interval) = 0;
    virtual bool ProbeLevelOne() = 0;
    // After a streaming request's history load: level-one reading resumes if
    // the bound of the lines held meanwhile had stopped it.
    virtual void ResumeLevelOneReading() {}
    // One step of making a lost level-one connection again (the plug-in
    // reconnects): true when a new connection has just been greeted by the
    // feed client and every watched symbol was watched again, so that the
    // gap can be filled.
    virtual bool ReconnectStep() { return false; }
    // Every watched series as symbol and bar interval.
    virtual std::vector<std::pair<std::wstring, float>> WatchedSeries() { return {}; }
    // Hands the host the level-one lines held during a load, oldest first,
    // and reads on.
    virtual void ReleaseHeldLines() {}
    // The liveness timer's callback (runs on the timer queue's thread).
    virtual void LivenessTimerProc(void* context, bool fired) = 0;
    // Destroys the level-one connection and its watch list at unload, once
    // the timer queue is gone (a probe still running is waited for).
    virtual void ReleaseLevelOne() = 0;
};

CPluginParts& PluginParts();
void SetPluginParts(CPluginParts* parts);

}  // namespace orvella

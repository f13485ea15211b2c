// The parts binding of the shipped plug-in: the history and level-one
// subsystems.
#include "plugin/boundary/exports/bindings.h"
#include "plugin/history/history_load.h"
#include "plugin/levelone/level_one.h"

namespace orvella {

namespace {

class CPartsBinding : public CPluginParts {
  public:
    void LoadHistory(const CHistoryRequestArgs& request) override { orvella::LoadHistory(request); }
    bool WatchSymbol(const std::wstring& symbol, float interval) override {
        return orvella::WatchSymbol(symbol, interval);
    }
    bool UnwatchSymbol(const std::wstring& symbol, float interval) override {
        return orvella::UnwatchSymbol(symbol, interval);
    }
    bool ProbeLevelOne() override { return orvella::ProbeLevelOne(); }
    void ResumeLevelOneReading() override { orvella::ResumeLevelOneReading(); }
    bool ReconnectStep() override { return orvella::ReconnectStep(); }
    std::vector<std::pair<std::wstring, float>> WatchedSeries() override {
        return orvella::WatchedSeries();
    }
    void ReleaseHeldLines() override { orvella::ReleaseHeldLines(); }
    void LivenessTimerProc(void* context, bool fired) override {
        orvella::LivenessTimerProc(context, fired);
    }
    void ReleaseLevelOne() override { orvella::DestroyLevelOne(); }
};

}  // namespace

CPluginParts& BoundPluginParts() {
    static CPartsBinding binding;
    return binding;
}

}  // namespace orvella

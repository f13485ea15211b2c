// The parts of the test plug-in that nst-host loads in the integration
// tests: the history load hands the host two fixed rows and its progress,
// the level-one watch always succeeds. Nothing talks to a feed client.
#include "platform/text.h"
#include "plugin/boundary/exports/bindings.h"
#include "plugin/boundary/exports/column_layout.h"
#include "plugin/boundary/global_state.h"

namespace orvella {

namespace {

class CTestPluginParts : public CPluginParts {
  public:
    void LoadHistory(const CHistoryRequestArgs& request) override {
        const std::string symbol = platform::NarrowText(request.symbol);
        const float key = SeriesKey(Globals().streamingEnabled != 0, request.interval);
        for (int row = 0; row < 2; ++row) {
            HostFeed().NSTSETVALUE(symbol.c_str(), key, 1, request.startDate + row);
            HostFeed().NSTSETVALUE(symbol.c_str(), key, 2, 10.0 + row);
            HostFeed().NSTCOMMITROW(symbol.c_str(), key);
            HostFeed().UpdatePercent(row == 0 ? 50 : 100);
        }
    }
    bool WatchSymbol(const std::wstring&, float) override { return true; }
    bool UnwatchSymbol(const std::wstring&, float) override { return true; }
    bool ProbeLevelOne() override { return false; }
    void LivenessTimerProc(void*, bool) override {}
    void ReleaseLevelOne() override {}
};

}  // namespace

CPluginParts& BoundPluginParts() {
    static CTestPluginParts parts;
    return parts;
}

}  // namespace orvella

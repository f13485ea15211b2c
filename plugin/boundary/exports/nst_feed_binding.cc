// The host library binding: every call goes to the host's NSTFeed library.
#include "host/NSTFeed.h"
#include "plugin/boundary/exports/bindings.h"

namespace orvella {

namespace {

class CNSTFeedBinding : public CHostFeed {
  public:
    void RequireUserIDPassword() override { ::RequireUserIDPassword(); }
    void GetUserIDPassword(char** userId, char** password) override {
        ::GetUserIDPassword(userId, password);
    }
    void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                      const char* category, double startDate) override {
        ::NSTSETUPDATA(symbol, description, interval, columns, category, startDate);
    }
    void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) override {
        ::NSTSETLABEL(symbol, interval, column, label);
    }
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override {
        ::NSTSETVALUE(symbol, interval, column, value);
    }
    void NSTCOMMITROW(const char* symbol, float interval) override {
        ::NSTCOMMITROW(symbol, interval);
    }
    void UpdatePercent(int percent) override { ::UpdatePercent(percent); }
};

}  // namespace

CHostFeed& BoundHostFeed() {
    static CNSTFeedBinding binding;
    return binding;
}

}  // namespace orvella

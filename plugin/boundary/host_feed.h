// The host's feed library as the plug-in calls it. The shipped plug-in binds
// it to the host's NSTFeed library; tests install a recording double.
#pragma once

#include <cstdint>

namespace orvella {

class CHostFeed {
  public:
    // What a library in front of the host's (the row gate) keeps for one
    // series, noted by the caller beside its own entry of the series and
    // handed back with each commit, so that the series is not looked up by
    // name for every row. Empty until the first commit; the library knows
    // its own notes by their owner.
    struct CSeriesNote {
        uint64_t owner = 0;
        void* series = nullptr;
    };

    virtual ~CHostFeed() = default;
    virtual void RequireUserIDPassword() = 0;
    virtual void GetUserIDPassword(char** userId, char** password) = 0;
    virtual void NSTSETUPDATA(const char* symbol, const char* description, float interval,
                              int columns, const char* category, double startDate) = 0;
    virtual void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) = 0;
    virtual void NSTSETVALUE(const char* symbol, float interval, int column, double value) = 0;
    virtual void NSTCOMMITROW(const char* symbol, float interval) = 0;
    // NSTCOMMITROW for a caller that keeps a note of the series (one note
    // for one symbol and interval).
    virtual void CommitRow(const char* symbol, float interval, CSeriesNote* /*note*/) {
        NSTCOMMITROW(symbol, interval);
    }
    virtual void UpdatePercent(int percent) = 0;
};

// The host library in use. Must be installed (SetHostFeed) before the first
// call; the shipped plug-in installs the NSTFeed binding when it is loaded.
CHostFeed& HostFeed();
void SetHostFeed(CHostFeed* feed);

}  // namespace orvella

// The host's feed library as the plug-in calls it. The shipped plug-in binds
// it to the host's NSTFeed library; tests install a recording double.
#pragma once

namespace orvella {

class CHostFeed {
  public:
    virtual ~CHostFeed() = default;
    virtual void RequireUserIDPassword() = 0;
    virtual void GetUserIDPassword(char** userId, char** password) = 0;
    virtual void NSTSETUPDATA(const char* symbol, const char* description, float interval,
                              int columns, const char* category, double startDate) = 0;
    virtual void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) = 0;
    virtual void NSTSETVALUE(const char* symbol, float interval, int column, double value) = 0;
    virtual void NSTCOMMITROW(const char* symbol, float interval) = 0;
    virtual void UpdatePercent(int percent) = 0;
};

// The host library in use. Must be installed (SetHostFeed) before the first
// call; the shipped plug-in installs the NSTFeed binding when it is loaded.
CHostFeed& HostFeed();
void SetHostFeed(CHostFeed* feed);

}  // namespace orvella

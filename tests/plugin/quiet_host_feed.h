// A host library that takes every call and does nothing with it; the test
// and benchmark doubles override the calls they watch.
#pragma once

#include "plugin/boundary/host_feed.h"

namespace orvella {

class CQuietHostFeed : public CHostFeed {
  public:
    void RequireUserIDPassword() override {}
    void GetUserIDPassword(char**, char**) override {}
    void NSTSETUPDATA(const char*, const char*, float, int, const char*, double) override {}
    void NSTSETLABEL(const char*, float, int, const char*) override {}
    void NSTSETVALUE(const char*, float, int, double) override {}
    void NSTCOMMITROW(const char*, float) override {}
    void UpdatePercent(int) override {}
};

}  // namespace orvella

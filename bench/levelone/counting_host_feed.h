// The host library of the level-one benchmarks: counts rows and sums the
// values, so that nothing the plug-in delivers is optimised away.
#pragma once

#include "plugin/boundary/host_feed.h"

namespace orvella {

class CCountingHostFeed : public CHostFeed {
  public:
    void RequireUserIDPassword() override {}
    void GetUserIDPassword(char**, char**) override {}
    void NSTSETUPDATA(const char*, const char*, float, int, const char*, double) override {}
    void NSTSETLABEL(const char*, float, int, const char*) override {}
    void NSTSETVALUE(const char*, float, int, double value) override { m_sum += value; }
    void NSTCOMMITROW(const char*, float) override { ++m_rows; }
    void UpdatePercent(int) override {}
    double m_sum = 0;
    long m_rows = 0;
};

}  // namespace orvella

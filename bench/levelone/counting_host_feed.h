// The host library of the level-one benchmarks: counts rows and sums the
// values, so that nothing the plug-in delivers is optimised away.
#pragma once

#include "tests/plugin/quiet_host_feed.h"

namespace orvella {

class CCountingHostFeed : public CQuietHostFeed {
  public:
    void NSTSETVALUE(const char*, float, int, double value) override { m_sum += value; }
    void NSTCOMMITROW(const char*, float) override { ++m_rows; }
    double m_sum = 0;
    long m_rows = 0;
};

}  // namespace orvella

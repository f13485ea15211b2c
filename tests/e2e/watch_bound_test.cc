// The level-one watch's bound: without the feed client's customer-information
// line the watch gives up after its waits, and the request fails with a box.
// About 80 seconds of waiting, so it runs outside the ThreadSanitizer set.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/e2e/streaming_fixture.h"

namespace orvella::e2e {
namespace {

TEST_F(StreamingFaults, NoCustomerLineFailsTheWatchWithinItsBound) {
    StartSim({"--fault-no-cust"});
    if (IsSkipped()) {
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const CHostRun run = RunHost(m_env, {"credentials u p", "request ABC 1440 2024-01-01"}, 200);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.requestResults, std::vector<int>{0});
    EXPECT_TRUE(run.rows.empty());
    EXPECT_EQ(run.boxes, std::vector<std::string>{kWatchFailed});
    EXPECT_NE(run.log.find("No watch command sent since Level One socket was not ready!"),
              std::string::npos);
    // 320 waits of 250 ms for the customer-information line, no more.
    EXPECT_LT(took, std::chrono::seconds(150));
}

}  // namespace
}  // namespace orvella::e2e

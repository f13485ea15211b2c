// A lookup connection that takes the request and never answers: the load
// ends after the wait for the first byte, however long the host would wait.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/e2e/e2e_checks.h"

namespace orvella::e2e {
namespace {

TEST(HistoryBound, ARequestNeverAnsweredEndsAfterTheFirstByteWait) {
    CPrivateEnvironment env;
    CFeedSim sim;
    CFeedSimOptions feed;
    feed.options = {"--now", kNow, "--fault-lookup-silent"};
    ASSERT_TRUE(sim.Start(env, feed));
    env.WriteSettings({});
    env.WritePorts(sim.lookup, sim.level1);
    const auto started = std::chrono::steady_clock::now();
    const CHostRun run = RunHost(env, {kDailyRequest}, 150);
    const auto took = std::chrono::steady_clock::now() - started;
    ExpectLoadEnded(run);
    EXPECT_TRUE(run.rows.empty());
    EXPECT_EQ(run.boxes, std::vector<std::string>{kLoadAborted});
    EXPECT_NE(run.log.find(kLoadAborted), std::string::npos);
    // 60 seconds of waiting for the first byte, checked every two.
    EXPECT_GT(took, std::chrono::seconds(55));
    EXPECT_LT(took, std::chrono::seconds(120));
}

}  // namespace
}  // namespace orvella::e2e

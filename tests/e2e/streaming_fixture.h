// The fixture of the tests that log in and stream.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_checks.h"

namespace orvella::e2e {

// Streaming runs log in first; the login waits on the fixed admin port, so
// these tests take it (RESOURCE_LOCK) and serve it from their own stand-in.
class StreamingFaults : public ::testing::Test {
  protected:
    void StartSim(const std::vector<std::string>& simOptions) {
        std::vector<std::string> options = {"--now", kNow, "--update-rate", "20"};
        options.insert(options.end(), simOptions.begin(), simOptions.end());
        CFeedSimOptions feed;
        feed.adminPort = kAdminPort;
        feed.options = options;
        if (!m_sim.Start(m_env, feed)) {
            GTEST_SKIP() << "the admin port 9300 is taken by another program";
        }
        CPluginSettings settings;
        settings.streaming = true;
        m_env.WriteSettings(settings);
        m_env.WritePorts(m_sim.lookup, m_sim.level1);
    }

    CPrivateEnvironment m_env;
    CFeedSim m_sim;
};

inline constexpr char kWatchFailed[] = "The symbol watch for level one streaming data failed";

}  // namespace orvella::e2e

// End-to-end test support: the shared harness (private environment, the
// feed-client stand-in, the stand-in host and its record) under the names
// the end-to-end tests use, and scenarios as data with the runner that
// plays them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "testing/feed_sim.h"
#include "testing/host_run.h"
#include "testing/private_environment.h"
#include "testing/process.h"
#include "testing/programs.h"

namespace orvella::e2e {

using testing::CCall;
using testing::CFeedSim;
using testing::CFeedSimOptions;
using testing::CHostRun;
using testing::CountOf;
using testing::CPluginSettings;
using testing::CPrivateEnvironment;
using testing::CPrograms;
using testing::CRow;
using testing::IsSubsequence;
using testing::kNone;
using testing::Launcher;
using testing::LocalDate;
using testing::OpenDescriptors;
using testing::ProcessEnded;
using testing::ReadHostRun;
using testing::ResidentKb;
using testing::RunHost;
using testing::StartHost;
using testing::WaitExit;

// The admin port the plug-in's login goes to; runs that use it hold the
// CTest resource lock admin_port_9300.
inline constexpr int kAdminPort = 9300;

// What a scenario's checks get to see.
struct CScenarioRun {
    CHostRun host;
    std::string feedLog;
    // The lookup requests the feed client logged, as sent.
    std::vector<std::string> LookupRequests() const;
};

// A day-bar history of three bars the feed client replays from a file, the
// last one lastDaysAgo days before the local date.
struct CDayBars {
    std::string file;
    int lastDaysAgo = 0;
};

// One end-to-end scenario as data: the feed client's admin port and options,
// the plug-in's settings, replayed files, the host's commands and the checks
// on what came back. A runner for another system plays the same list with
// its own programs.
struct CScenario {
    std::string name;
    int adminPort = kAdminPort;  // -1: none; 0: a free one
    std::vector<std::string> feedOptions;
    CPluginSettings settings;
    std::vector<CDayBars> dayBars;
    std::vector<std::string> commands;
    int timeLimitSeconds = 50;
    std::function<void(const CScenarioRun&)> check;
};

void PrintTo(const CScenario& scenario, std::ostream* out);
std::string ScenarioName(const ::testing::TestParamInfo<CScenario>& info);

// Plays a scenario: a private environment with the real launcher, the feed
// client (waiting for a held admin port), the settings and ports, then the
// host with its calls recorded and counted rows; then the checks.
void PlayScenario(const CScenario& scenario, const CPrograms& programs = testing::BuildPrograms());

// The scenario lists.
std::vector<CScenario> HistoryScenarios();
std::vector<CScenario> LevelOneScenarios();
// Those that wait out the watch's full bound (about 80 seconds).
std::vector<CScenario> LevelOneSlowScenarios();

}  // namespace orvella::e2e

#include <filesystem>
#include <fstream>

#include "tests/e2e/e2e_support.h"

namespace orvella::e2e {

namespace fs = std::filesystem;

std::vector<std::string> CScenarioRun::LookupRequests() const {
    std::vector<std::string> requests;
    const std::string marker = "lookup request on connection ";
    size_t from = 0;
    for (size_t end; (end = feedLog.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string line = feedLog.substr(from, end - from);
        const size_t at = line.find(marker);
        if (at != std::string::npos) {
            requests.push_back(line.substr(line.find(": ", at) + 2));
        }
    }
    return requests;
}

void PrintTo(const CScenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

std::string ScenarioName(const ::testing::TestParamInfo<CScenario>& info) {
    return info.param.name;
}

void PlayScenario(const CScenario& scenario, const CPrograms& programs) {
    CPrivateEnvironment env(Launcher::kBuild, programs);
    CFeedSimOptions feed;
    feed.adminPort = scenario.adminPort;
    // The fixed admin port may still be held by the previous run for a
    // while; the feed client then exits at once and is started again.
    feed.portWaitSeconds = 30;
    feed.options = scenario.feedOptions;
    if (!scenario.dayBars.empty()) {
        const fs::path data = fs::path(env.Dir()) / "data";
        fs::create_directories(data);
        for (const CDayBars& bars : scenario.dayBars) {
            std::ofstream out(data / bars.file);
            for (int back = bars.lastDaysAgo + 2; back >= bars.lastDaysAgo; --back) {
                out << LocalDate(back) << ",101.50,99.25,100.00,101.00,250000,0,\r\n";
            }
        }
        feed.options.insert(feed.options.end(), {"--data-dir", data.string()});
    }
    CFeedSim sim;
    ASSERT_TRUE(sim.Start(env, feed)) << "the feed client did not start";
    env.WriteSettings(scenario.settings);
    env.WritePorts(sim.lookup, sim.level1);
    CScenarioRun run;
    run.host = RunHost(env, scenario.commands, scenario.timeLimitSeconds, {"--count-only"});
    run.feedLog = sim.Log();
    scenario.check(run);
}

}  // namespace orvella::e2e

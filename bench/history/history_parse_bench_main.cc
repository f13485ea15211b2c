#include "bench/history/history_parse_bench.h"
#include "testing/private_environment.h"

int main(int argc, char** argv) {
    // Keep the settings reads of the log away from the user's own registry.
    const orvella::testing::CPrivateEnvironment env(orvella::testing::Launcher::kNone);
    return RunHistoryParseBench(argc, argv);
}

// The history and level-one scenarios played with the Windows build's
// nst-host.exe and OrvellaForNST.dll under wine, against this build's feed
// client: the Windows runner of the same lists. The Windows build registers
// it with ORVELLA_WINDOWS_BIN set (tests/win32/README.md).
#include "tests/e2e/e2e_support.h"

namespace orvella::e2e {
namespace {

class WindowsEndToEnd : public ::testing::TestWithParam<CScenario> {};

TEST_P(WindowsEndToEnd, Plays) {
    const CPrograms& programs = testing::ChosenPrograms();
    if (!programs.windows) {
        GTEST_SKIP() << "ORVELLA_WINDOWS_BIN names no Windows build";
    }
    PlayScenario(GetParam(), programs);
}

INSTANTIATE_TEST_SUITE_P(History, WindowsEndToEnd, ::testing::ValuesIn(HistoryScenarios()),
                         ScenarioName);
INSTANTIATE_TEST_SUITE_P(LevelOne, WindowsEndToEnd, ::testing::ValuesIn(LevelOneScenarios()),
                         ScenarioName);

}  // namespace
}  // namespace orvella::e2e

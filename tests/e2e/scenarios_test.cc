// The history and level-one scenarios played with the build's programs.
#include "tests/e2e/e2e_support.h"

namespace orvella::e2e {
namespace {

class EndToEnd : public ::testing::TestWithParam<CScenario> {};

TEST_P(EndToEnd, Plays) {
    PlayScenario(GetParam());
}

INSTANTIATE_TEST_SUITE_P(History, EndToEnd, ::testing::ValuesIn(HistoryScenarios()), ScenarioName);
INSTANTIATE_TEST_SUITE_P(LevelOne, EndToEnd, ::testing::ValuesIn(LevelOneScenarios()),
                         ScenarioName);
INSTANTIATE_TEST_SUITE_P(LevelOneSlow, EndToEnd, ::testing::ValuesIn(LevelOneSlowScenarios()),
                         ScenarioName);

}  // namespace
}  // namespace orvella::e2e

// The setup program's tests: a private settings environment, no proxy taken
// from the caller's environment, and an empty charting host folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "setup/connection_check.h"
#include "testing/setup/test_os.h"
#include "tests/settings/settings_env.h"

namespace orvella::testing {

class SetupEnvTest : public SettingsEnvTest {
  protected:
    void SetUp() override {
        SettingsEnvTest::SetUp();
        test::ClearProxyEnvironment();
        m_nst = (m_root / "nst").string();
        std::filesystem::create_directories(m_nst);
    }

    // Puts the charting host's program into folder: an empty file of that
    // name, as the connection check only looks for it.
    static void PutHostProgram(const std::string& folder) {
        std::ofstream(std::filesystem::path(folder) / HostProgramName());
    }

    std::string m_nst;
};

}  // namespace orvella::testing

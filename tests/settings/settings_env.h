// Gives each test its own registry database, home and documents folders
// under a fresh temporary folder (the shared private environment, settings
// only).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "testing/private_environment.h"

namespace orvella::testing {

class SettingsEnvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.emplace(Launcher::kNone);
        m_root = m_env->Dir();
        m_registry = m_env->Registry();
        m_home = m_env->Home();
    }

    void TearDown() override { m_env.reset(); }

    std::optional<CPrivateEnvironment> m_env;
    std::filesystem::path m_root;
    std::filesystem::path m_registry;
    std::filesystem::path m_home;
};

}  // namespace orvella::testing

// Gives each test its own registry database, home and documents folders
// under a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace orvella::testing {

class SettingsEnvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvella-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_registry = m_root / "registry.db";
        m_home = m_root / "home";
        std::filesystem::create_directories(m_home);
        setenv("ORVELLA_REGISTRY", m_registry.c_str(), 1);
        setenv("HOME", m_home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DOCUMENTS_DIR");
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    std::filesystem::path m_root;
    std::filesystem::path m_registry;
    std::filesystem::path m_home;
};

}  // namespace orvella::testing

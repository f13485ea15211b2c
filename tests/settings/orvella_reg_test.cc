// The orvella-reg tool, run as a program against the test's own store.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class OrvellaRegTest : public testing::SettingsEnvTest {
  protected:
    // Runs the tool with args (each quoted for the shell), stdin from input.
    Result Run(const std::vector<std::string>& args, const std::string& input = "") {
        std::string command = ORVELLA_REG_PATH;
        for (const std::string& arg : args) {
            std::string quoted = "'";
            for (char c : arg)
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            command += " " + quoted + "'";
        }
        const std::string in = (m_root / "stdin").string();
        const std::string out = (m_root / "stdout").string();
        const std::string err = (m_root / "stderr").string();
        std::ofstream(in) << input;
        command += " <" + in + " >" + out + " 2>" + err;
        Result result;
        const int status = std::system(command.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = Slurp(out);
        result.err = Slurp(err);
        return result;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
};

constexpr char kKey[] = "HKCU\\Software\\Corvan\\Orvella\\OrvellaForNST";

TEST_F(OrvellaRegTest, BadArgumentsFailWithAMessageAndChangeNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frob", kKey},
        {"query"},
        {"query", "HKLM\\Software"},
        {"query", "HKCUX\\Software"},
        {"query", kKey, "/f"},
        {"query", kKey, "/v"},
        {"add", kKey, "/t", "REG_DWORD", "/d", "1"},
        {"add", kKey, "/v", "Port", "/t", "REG_MULTI_SZ", "/d", "1"},
        {"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "12a"},
        {"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "-1"},
        {"add", kKey, "/v", "Port", "/t", "REG_DWORD"},
        {"add", kKey, "/v", "Port", "/ve", "/d", "x"},
        {"add", kKey, "/v", "Port", "/d"},
        {"delete", kKey, "/x"},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const std::string& arg : args)
            line += arg + " ";
        const Result result = Run(args);
        EXPECT_EQ(result.status, 1) << line;
        EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << line << result.err;
        EXPECT_NE(result.err.find("Usage:"), std::string::npos) << line;
        EXPECT_EQ(result.out, "") << line;
    }
    EXPECT_EQ(Run({"query", "HKCU\\Software"}).status, 1);  // nothing was created
}

TEST_F(OrvellaRegTest, AddQueryAndDeleteLikeTheRegistryTool) {
    EXPECT_EQ(Run({"add", kKey, "/v", "Website", "/t", "REG_SZ", "/d", "host/list.txt"}).out,
              "The operation completed successfully.\n");
    EXPECT_EQ(Run({"add", "HKEY_CURRENT_USER\\Software\\Corvan\\Orvella\\OrvellaForNST", "/v",
                   "Port", "/t", "REG_DWORD", "/d", "0x1F90"})
                  .status,
              0);
    EXPECT_EQ(Run({"add", kKey, "/ve", "/d", "unnamed"}).status, 0);
    EXPECT_EQ(Run({"add", std::string(kKey) + "\\Sub"}).status, 0);
    EXPECT_EQ(ReadRegString(kWebsitePathA, ""), "host/list.txt");
    EXPECT_EQ(ReadRegDword(kPortPath, 0), 8080);

    Result query = Run({"query", kKey});
    EXPECT_EQ(query.status, 0);
    EXPECT_EQ(query.out,
              "\nHKEY_CURRENT_USER\\Software\\Corvan\\Orvella\\OrvellaForNST\n"
              "    Website    REG_SZ    host/list.txt\n"
              "    Port    REG_DWORD    0x1f90\n"
              "    (Default)    REG_SZ    unnamed\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\Corvan\\Orvella\\OrvellaForNST\\Sub\n");

    WriteRegString(kBeginFilterTimePathA, "093000");
    EXPECT_EQ(Run({"query", kKey, "/v", "BeginFilterTime"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Corvan\\Orvella\\OrvellaForNST\n"
              "    BeginFilterTime    REG_SZ    093000\n\n");

    // Overwriting and deleting ask first unless /f is given.
    Result declined = Run({"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "1"}, "no\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_EQ(ReadRegDword(kPortPath, 0), 8080);
    EXPECT_EQ(Run({"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "1"}, "yes\n").status, 0);
    EXPECT_EQ(ReadRegDword(kPortPath, 0), 1);
    EXPECT_EQ(Run({"delete", kKey, "/v", "Port"}, "").status, 1);
    EXPECT_EQ(Run({"delete", kKey, "/v", "Port", "/f"}).status, 0);
    EXPECT_EQ(ReadRegDword(kPortPath, 80), 80);

    Result missing = Run({"query", kKey, "/v", "Port"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(Run({"delete", kKey, "/v", "Port", "/f"}).status, 1);

    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Corvan", "/f"}).status, 0);
    EXPECT_EQ(Run({"query", kKey}).status, 1);
}

TEST_F(OrvellaRegTest, SeveralToolsWriteAtOnce) {
    std::string script = "for p in 1 2 3 4; do (for i in 1 2 3 4 5 6 7 8; do ";
    script += ORVELLA_REG_PATH;
    script +=
        " add 'HKCU\\Software\\Load\\P'$p /v V$i /t REG_DWORD /d $i /f >/dev/null "
        "|| echo fail; done) & done; wait";
    const std::string file = (m_root / "load.sh").string();
    const std::string out = (m_root / "out").string();
    std::ofstream(file) << script << "\n";
    ASSERT_EQ(std::system(("sh " + file + " >" + out).c_str()), 0);
    EXPECT_EQ(Slurp(out), "");
    for (int p = 1; p <= 4; ++p) {
        for (int i = 1; i <= 8; ++i) {
            EXPECT_EQ(ReadRegDword(
                          "Software\\Load\\P" + std::to_string(p) + "\\V" + std::to_string(i), 0),
                      i);
        }
    }
}

}  // namespace
}  // namespace orvella

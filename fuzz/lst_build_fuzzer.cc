// The LST build on arbitrary symbol-file bytes, in a scratch folder nested
// three levels deep. Every file the build leaves must lie directly in the LST
// folder: no key, symbol or description may steer a file elsewhere, and every
// file the build opened is closed again.
#include <dirent.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz/fuzz_check.h"
#include "setup/lst_builder.h"
#include "setup/setup_view.h"

namespace orvella::fuzz {
namespace {

namespace fs = std::filesystem;

class CNullView : public CSetupView {
  public:
    void AppendStatus(const std::string&) override {}
    void ClearStatus() override {}
    void ShowProgress(const JobProgress&) override {}
    void SetProgress(int) override {}
    void ShowCancel(bool) override {}
    void DisableButtons() override {}
    void EnableButtons() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void ShowMessage(const std::string&, const std::string&, unsigned) override {}
    void PumpEvents() override {}
    std::string WebsiteText() const override { return {}; }
    std::string PortText() const override { return {}; }
    std::string DirectoryText() const override { return {}; }
    void SetEditTexts(const std::string&, const std::string&, const std::string&) override {}
    bool IsChecked(Check) const override { return false; }
    void SetChecked(Check, bool) override {}
    bool GetTime(int, SetupTime*) const override { return false; }
    void SetTime(int, const SetupTime&) override {}
};

struct CScratch {
    fs::path top;        // the scratch folder
    fs::path root;       // top/a/b/root, the host's install directory
    fs::path lstFolder;  // root/Servers/OrvellaForNST
    fs::path symbolFile;
};

const CScratch& Scratch() {
    static const CScratch scratch = [] {
        // $TMPDIR when set (fuzz/run.sh removes it afterwards, as libFuzzer
        // may end without running exit handlers), else memory-backed when the
        // machine has it: the build creates many files.
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp != nullptr && *tmp != '\0' ? tmp
                                 : fs::is_directory("/dev/shm") ? "/dev/shm"
                                                                : "/tmp";
        std::string pattern = base + "/orvella-lst-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        CScratch s;
        s.top = pattern;
        s.root = s.top / "a" / "b" / "root";
        s.lstFolder = s.root / "Servers" / "OrvellaForNST";
        s.symbolFile = s.root / "mktlist_v2.txt";
        fs::create_directories(s.lstFolder);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(Scratch().top, ignored);
        });
        return s;
    }();
    return scratch;
}

size_t OpenDescriptors() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

// Checks that the scratch tree holds nothing but its own folders, the symbol
// file and plain files directly in the LST folder, then removes those files.
void CheckAndClear(const CScratch& s) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(s.top)) {
        const fs::path& path = entry.path();
        if (path == s.top / "a" || path == s.top / "a" / "b" || path == s.root ||
            path == s.root / "Servers" || path == s.lstFolder || path == s.symbolFile) {
            continue;
        }
        FUZZ_CHECK(path.parent_path() == s.lstFolder);
        FUZZ_CHECK(entry.is_regular_file() && !entry.is_symlink());
        const std::string name = path.filename().string();
        FUZZ_CHECK(name.find('/') == std::string::npos);
        FUZZ_CHECK(name == "future_c.lst" || name == "meridexSpot.lst" ||
                   name == "meridexForexComposite.lst" ||
                   (name.size() > 4 && name.compare(name.size() - 4, 4, ".LST") == 0));
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(s.lstFolder)) {
        fs::remove(entry.path());
    }
}

}  // namespace
}  // namespace orvella::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace orvella;
    using namespace orvella::fuzz;
    const CScratch& scratch = Scratch();
    FuzzedDataProvider input(bytes, size);
    LstOptions options;
    options.continuous = input.ConsumeBool();
    options.meridexSpot = input.ConsumeBool();
    options.meridexSpotComposite = input.ConsumeBool();
    const std::string symbolFile = input.ConsumeRemainingBytesAsString();
    {
        std::FILE* file = std::fopen(scratch.symbolFile.c_str(), "wb");
        FUZZ_CHECK(file != nullptr);
        std::fwrite(symbolFile.data(), 1, symbolFile.size(), file);
        std::fclose(file);
    }

    const size_t descriptors = OpenDescriptors();
    CNullView view;
    CLstBuilder builder(&view, scratch.lstFolder.string() + "/", options);
    builder.Build(scratch.symbolFile.string());
    FUZZ_CHECK(builder.OpenExchangeFiles() == 0);
    FUZZ_CHECK(OpenDescriptors() == descriptors);
    CheckAndClear(scratch);
    return 0;
}

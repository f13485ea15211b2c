// The LST build on arbitrary symbol-file bytes (NUL bytes, over-long lines,
// LF or CR LF line ends, a last line without line end), in a scratch folder
// nested three levels deep. Every file the build leaves must lie directly in
// the LST folder: no key, symbol or description may steer a file elsewhere,
// and every file the build opened is closed again. The build always goes to
// the end, no written line holds a NUL byte or is longer than the line limit
// allows, and a bound of one to four open exchange files with a write pool
// of one to four blocks gives the same files as an unbounded build with the
// default pool. The one-pass split of each line agrees with the line split.
#include <dirent.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
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

using Files = std::map<std::string, std::string>;

// Checks that the scratch tree holds nothing but its own folders, the symbol
// file and plain files directly in the LST folder, then removes those files
// and returns them by name.
Files CheckAndClear(const CScratch& s) {
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
    Files files;
    for (const fs::directory_entry& entry : fs::directory_iterator(s.lstFolder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        files[entry.path().filename().string()] = content.str();
        fs::remove(entry.path());
    }
    return files;
}

struct BuildResult {
    Files files;
    long malformed;
    long unfiled;
};

BuildResult BuildOnce(const CScratch& scratch, const LstOptions& options, const LstLimits& limits) {
    const size_t descriptors = OpenDescriptors();
    CNullView view;
    CLstBuilder builder(&view, scratch.lstFolder.string() + "/", options, limits);
    FUZZ_CHECK(builder.Build(scratch.symbolFile.string()));
    FUZZ_CHECK(builder.OpenExchangeFiles() == 0);
    FUZZ_CHECK(OpenDescriptors() == descriptors);
    BuildResult result{CheckAndClear(scratch), builder.MalformedLines(), builder.UnfiledLines()};
    for (const auto& [name, content] : result.files) {
        FUZZ_CHECK(content.find('\0') == std::string::npos);
        // Each line is a symbol and a description of one input line, a comma,
        // two quotes and CR LF.
        size_t start = 0;
        while (start < content.size()) {
            const size_t end = content.find("\r\n", start);
            FUZZ_CHECK(end != std::string::npos);
            FUZZ_CHECK(end - start <= limits.maxLineLength + 3);
            start = end + 2;
        }
    }
    return result;
}

void CheckSplits(const std::string& text) {
    const char* const end = text.data() + text.size();
    CLstLineScanner scanner(text.data(), end);
    for (;;) {
        const char* position = scanner.LineStart();
        LstColumns columns;
        bool holdsNul = false;
        const char* feed = scanner.Next(&columns, &holdsNul);
        const char* plainFeed = static_cast<const char*>(
            std::memchr(position, '\n', static_cast<size_t>(end - position)));
        FUZZ_CHECK(feed == plainFeed);
        if (feed == nullptr) {
            FUZZ_CHECK(scanner.LineStart() == position);
            return;
        }
        std::string_view line(position, static_cast<size_t>(feed - position));
        FUZZ_CHECK(holdsNul == (line.find('\0') != std::string_view::npos));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const LstColumns plain = SplitLstLine(line);
        FUZZ_CHECK(columns.symbol == plain.symbol && columns.description == plain.description &&
                   columns.exchange == plain.exchange && columns.market == plain.market &&
                   columns.type == plain.type);
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
    LstLimits bounded;
    bounded.maxLineLength = 1 + input.ConsumeIntegralInRange<size_t>(0, 255);
    bounded.maxOpenExchangeFiles = 1 + input.ConsumeIntegralInRange<size_t>(0, 3);
    bounded.writePoolSize =
        (1 + input.ConsumeIntegralInRange<size_t>(0, 3)) * CLstWritePool::kBlockSize;
    LstLimits unbounded = bounded;
    unbounded.maxOpenExchangeFiles = 100000;
    unbounded.writePoolSize = CLstWritePool::kDefaultSize;
    const std::string symbolFile = input.ConsumeRemainingBytesAsString();
    {
        std::FILE* file = std::fopen(scratch.symbolFile.c_str(), "wb");
        FUZZ_CHECK(file != nullptr);
        std::fwrite(symbolFile.data(), 1, symbolFile.size(), file);
        std::fclose(file);
    }

    CheckSplits(symbolFile);
    const BuildResult closing = BuildOnce(scratch, options, bounded);
    const BuildResult keeping = BuildOnce(scratch, options, unbounded);
    FUZZ_CHECK(closing.files == keeping.files);
    FUZZ_CHECK(closing.malformed == keeping.malformed);
    FUZZ_CHECK(closing.unfiled == keeping.unfiled);
    return 0;
}

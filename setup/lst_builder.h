// One pass of the LST build: reads the symbol file block by block and files
// every line into its exchange file and the chosen optional lists, reporting
// on the view's status window and, through a hook, how far it has read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "setup/lst_grouping.h"
#include "setup/lst_output_file.h"
#include "setup/setup_view.h"

namespace orvella {

// Bounds that keep a hostile or broken symbol file from exhausting memory or
// the process's open files.
struct LstLimits {
    // Longest line taken, in bytes before its line feed; real lines are a
    // few hundred bytes. A longer line is skipped as malformed.
    static constexpr size_t kMaxLineLength = 65536;
    // Exchange files open at the same time; beyond it the file used longest
    // ago is closed and opened again for appending when its key returns.
    static constexpr size_t kMaxOpenExchangeFiles = 400;

    size_t maxLineLength = kMaxLineLength;
    size_t maxOpenExchangeFiles = kMaxOpenExchangeFiles;
    // Bytes of the write buffers that all LST files share.
    size_t writePoolSize = CLstWritePool::kDefaultSize;
};

class CLstBuilder {
  public:
    // Blocks read from the symbol file: one buffer of kReadBufferSize bytes,
    // filled with at most kReadBlockSize bytes at a time.
    static constexpr size_t kReadBufferSize = 131072;
    static constexpr size_t kReadBlockSize = 131071;

    // Told the bytes of the symbol file read so far and its size (-1 when
    // not known) after every block. False cancels the build.
    using ProgressHook = std::function<bool(int64_t done, int64_t total)>;

    // lstFolder ends with the path separator and exists.
    CLstBuilder(CSetupView* view, std::string lstFolder, const LstOptions& options,
                const LstLimits& limits = LstLimits(), ProgressHook progress = {});
    ~CLstBuilder();

    // Opens the chosen optional lists and the symbol file, reads it, writes
    // the LST files and closes them all. Lines ending in LF or CR LF are
    // taken alike, and so is a last line without a line end. A line holding
    // a NUL byte or longer than the limit is skipped; an exchange file that
    // cannot be created is reported and its lines skipped; the build goes on
    // in both cases and says at the end how many lines it skipped. Returns
    // true when the build went to the end; otherwise a status line has told
    // why it stopped (the files are closed either way and the table of open
    // files is empty). A build cancelled or stopped by a failure after the
    // symbol file was opened removes the LST files it had begun.
    bool Build(const std::string& symbolFilePath);

    // Lines skipped as malformed, and lines not written because their
    // exchange file could not be created or reopened, by the last Build.
    long MalformedLines() const { return m_malformedLines; }
    long UnfiledLines() const { return m_unfiledLines; }

    // Entries of the table of exchange files (0 outside Build).
    size_t OpenExchangeFiles() const { return m_exchangeFiles.size(); }

  private:
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    // An exchange file of the table; file is null when it could not be
    // created (its lines are skipped).
    struct ExchangeFile {
        std::unique_ptr<CLstOutputFile> file;
        uint64_t lastUse = 0;
    };
    using FileTable = std::unordered_map<std::string, ExchangeFile, KeyHash, std::equal_to<>>;
    enum class Malformed { kNul, kTooLong };

    bool OpenOptional(bool chosen, const char* name, std::unique_ptr<CLstOutputFile>* file);
    bool ProcessBlock(const char* data, size_t size);
    // A line carried across blocks (without its line feed).
    bool ProcessLine(std::string_view text);
    bool FileLine(const LstColumns& columns);
    void SkipLine(Malformed why);
    bool SwitchGroup();
    // Opens (creates or reopens) a file within the bound of open files.
    // False when it cannot be opened or a file closed to make room could not
    // be written (*stop is then set).
    bool OpenWithRoom(ExchangeFile* entry, bool create, bool* stop);
    bool CloseLeastRecentlyUsed();
    bool WriteTo(CLstOutputFile* file, const LstColumns& columns);
    void ReportWriteFailure(const CLstOutputFile& file);
    bool CloseAll(bool reportFailures);
    // Closes every file, removes those this build created or wrote over and
    // says so after outcome.
    void RemoveCreated(const char* outcome);

    CSetupView* m_view;
    std::string m_lstFolder;
    LstOptions m_options;
    LstLimits m_limits;
    CLstGrouper m_grouper;
    // The write buffers of all LST files; outlives them.
    CLstWritePool m_writePool;
    std::unique_ptr<CLstOutputFile> m_continuous;
    std::unique_ptr<CLstOutputFile> m_meridexSpot;
    std::unique_ptr<CLstOutputFile> m_spotComposite;
    // Exchange files by file name, from their first line to the end of the
    // build; at most m_limits.maxOpenExchangeFiles of them are open.
    FileTable m_exchangeFiles;
    // Every LST file this build created or wrote over, so a cancelled or
    // failed build leaves none half-written.
    std::vector<std::string> m_created;
    ProgressHook m_progress;
    bool m_cancelled = false;
    std::vector<ExchangeFile*> m_openFiles;
    uint64_t m_useClock = 0;
    CLstOutputFile* m_current = nullptr;
    // The current group's file could not be opened: its lines are skipped.
    bool m_currentUnopened = false;
    // The unfinished line carried to the next block; while an over-long line
    // is being passed over, nothing is kept.
    std::string m_pending;
    bool m_overLong = false;
    long m_lineNumber = 0;
    long m_malformedLines = 0;
    long m_unfiledLines = 0;
    std::string m_key;
    std::string m_name;
};

}  // namespace orvella

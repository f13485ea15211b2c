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
                ProgressHook progress = {});
    ~CLstBuilder();

    // Opens the chosen optional lists and the symbol file, reads it, writes
    // the LST files and closes them all. Returns true when every file was
    // written; otherwise a status line has told why the build stopped (the
    // files are closed either way and the table of open files is empty).
    bool Build(const std::string& symbolFilePath);

    // Number of exchange files open right now (0 outside Build).
    size_t OpenExchangeFiles() const { return m_exchangeFiles.size(); }

  private:
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using FileTable =
        std::unordered_map<std::string, std::unique_ptr<CLstOutputFile>, KeyHash, std::equal_to<>>;

    bool OpenOptional(bool chosen, const char* name, std::unique_ptr<CLstOutputFile>* file);
    bool ProcessBlock(const char* data, size_t size);
    bool ProcessLine(std::string_view text);
    bool SwitchGroup();
    bool WriteTo(CLstOutputFile* file, const LstColumns& columns);
    bool CloseAll(bool reportFailures);
    // Closes every file and removes those this build created.
    void RemoveCreated();

    CSetupView* m_view;
    std::string m_lstFolder;
    LstOptions m_options;
    CLstGrouper m_grouper;
    std::unique_ptr<CLstOutputFile> m_continuous;
    std::unique_ptr<CLstOutputFile> m_meridexSpot;
    std::unique_ptr<CLstOutputFile> m_spotComposite;
    // Exchange files by file name; each stays open until the build ends.
    FileTable m_exchangeFiles;
    // Every LST file this build created, so a cancelled build leaves none
    // half-written.
    std::vector<std::string> m_created;
    ProgressHook m_progress;
    bool m_cancelled = false;
    CLstOutputFile* m_current = nullptr;
    std::string m_pending;
    std::string m_key;
    std::string m_name;
};

}  // namespace orvella

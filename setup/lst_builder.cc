#include "setup/lst_builder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "setup/symbol_file_location.h"

namespace orvella {

namespace {

std::string Format(const char* format, long number, const std::string& text) {
    char line[512];
    std::snprintf(line, sizeof(line), format, number, text.c_str());
    return line;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

CLstBuilder::CLstBuilder(CSetupView* view, std::string lstFolder, const LstOptions& options,
                         ProgressHook progress)
    : m_view(view),
      m_lstFolder(std::move(lstFolder)),
      m_options(options),
      m_grouper(options),
      m_progress(std::move(progress)) {}

CLstBuilder::~CLstBuilder() = default;

bool CLstBuilder::OpenOptional(bool chosen, const char* name,
                               std::unique_ptr<CLstOutputFile>* file) {
    if (!chosen)
        return true;
    *file = std::make_unique<CLstOutputFile>();
    if ((*file)->Create(m_lstFolder + name)) {
        m_created.push_back((*file)->Path());
        return true;
    }
    const int error = (*file)->Error();
    m_view->AppendStatus(Format("File could not be opened %ld; %s", error, FileErrorText(error)));
    file->reset();
    return false;
}

bool CLstBuilder::Build(const std::string& symbolFilePath) {
    m_cancelled = false;
    m_created.clear();
    if (!OpenOptional(m_options.continuous, "future_c.lst", &m_continuous) ||
        !OpenOptional(m_options.meridexSpot, "meridexSpot.lst", &m_meridexSpot) ||
        !OpenOptional(m_options.meridexSpotComposite, "meridexForexComposite.lst",
                      &m_spotComposite)) {
        CloseAll(false);
        return false;
    }
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> input(std::fopen(symbolFilePath.c_str(), "rb"));
    if (!input) {
        const int error = errno != 0 ? errno : EIO;
        m_view->AppendStatus(
            Format("File could not be opened %ld; %s", error, FileErrorText(error)));
        CloseAll(false);
        return false;
    }
    std::setvbuf(input.get(), nullptr, _IONBF, 0);
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(symbolFilePath, sizeError);
    const int64_t inputSize = sizeError ? -1 : static_cast<int64_t>(size);

    const auto buffer = std::make_unique<char[]>(kReadBufferSize);
    long total = 0;
    bool ok = true;
    for (;;) {
        const size_t count = std::fread(buffer.get(), 1, kReadBlockSize, input.get());
        if (count > 0) {
            total += static_cast<long>(count);
            char line[128];
            std::snprintf(line, sizeof(line), "We have read in %ld bytes in from the symbol file.",
                          total);
            m_view->AppendStatus(line);
            // A NUL ends what is taken from a block.
            const void* nul = std::memchr(buffer.get(), '\0', count);
            const size_t usable =
                nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - buffer.get())
                               : count;
            if (!ProcessBlock(buffer.get(), usable)) {
                ok = false;
                break;
            }
        }
        if (m_progress && !m_progress(total, inputSize)) {
            m_cancelled = true;
            ok = false;
            break;
        }
        if (count == 0) {
            if (std::ferror(input.get())) {
                m_view->AppendStatus(
                    Format("The symbol file could not be read %ld; %s", EIO, FileErrorText(EIO)));
                ok = false;
            }
            break;
        }
    }
    input.reset();
    m_pending.clear();
    if (m_cancelled) {
        RemoveCreated();
        return false;
    }
    return CloseAll(ok) && ok;
}

void CLstBuilder::RemoveCreated() {
    CloseAll(false);
    for (const std::string& path : m_created)
        std::remove(path.c_str());
    m_view->AppendStatus("The build was cancelled; the " + std::to_string(m_created.size()) +
                         " LST files it had begun were removed.");
    m_created.clear();
}

bool CLstBuilder::ProcessBlock(const char* data, size_t size) {
    const char* position = data;
    const char* const end = data + size;
    if (!m_pending.empty()) {
        const void* found = std::memchr(position, '\n', size);
        if (found == nullptr) {
            m_pending.append(position, size);
            return true;
        }
        const char* feed = static_cast<const char*>(found);
        m_pending.append(position, static_cast<size_t>(feed - position));
        if (!ProcessLine(m_pending))
            return false;
        m_pending.clear();
        position = feed + 1;
    }
    while (position < end) {
        const void* found = std::memchr(position, '\n', static_cast<size_t>(end - position));
        if (found == nullptr) {
            m_pending.assign(position, static_cast<size_t>(end - position));
            break;
        }
        const char* feed = static_cast<const char*>(found);
        if (!ProcessLine(std::string_view(position, static_cast<size_t>(feed - position)))) {
            return false;
        }
        position = feed + 1;
    }
    return true;
}

bool CLstBuilder::ProcessLine(std::string_view text) {
    // The line is the text before its line feed less the carriage return.
    if (!text.empty())
        text.remove_suffix(1);
    const LstColumns columns = SplitLstLine(text);
    const LstDecision decision = m_grouper.Next(columns, &m_key);
    if (decision.newGroup && !SwitchGroup())
        return false;
    if (decision.toCurrent && m_current != nullptr && !WriteTo(m_current, columns))
        return false;
    if (decision.toContinuous && !WriteTo(m_continuous.get(), columns))
        return false;
    if (decision.toSpotComposite && !WriteTo(m_spotComposite.get(), columns))
        return false;
    if (decision.toMeridexSpot && !WriteTo(m_meridexSpot.get(), columns))
        return false;
    return true;
}

bool CLstBuilder::SwitchGroup() {
    m_name = LstFileName(m_key);
    const auto found = m_exchangeFiles.find(std::string_view(m_name));
    if (found != m_exchangeFiles.end()) {
        m_current = found->second.get();
        return true;
    }
    auto file = std::make_unique<CLstOutputFile>();
    if (!file->Create(m_lstFolder + m_name)) {
        const int error = file->Error();
        m_view->AppendStatus("LST file could not be created " + file->Path() + " (" +
                             std::to_string(error) + "; " + FileErrorText(error) +
                             "); the build was stopped.");
        m_current = nullptr;
        return false;
    }
    m_current = file.get();
    m_created.push_back(file->Path());
    m_exchangeFiles.emplace(m_name, std::move(file));
    return true;
}

bool CLstBuilder::WriteTo(CLstOutputFile* file, const LstColumns& columns) {
    if (file->WriteLine(columns.symbol, columns.description))
        return true;
    const int error = file->Error();
    m_view->AppendStatus("LST file could not be written " + file->Path() + " (" +
                         std::to_string(error) + "; " + FileErrorText(error) +
                         "); the build was stopped.");
    return false;
}

bool CLstBuilder::CloseAll(bool reportFailures) {
    bool ok = true;
    auto close = [&](CLstOutputFile* file) {
        if (file == nullptr || file->Close() || !ok)
            return;
        ok = false;
        if (!reportFailures)
            return;
        const int error = file->Error();
        m_view->AppendStatus("LST file could not be written " + file->Path() + " (" +
                             std::to_string(error) + "; " + FileErrorText(error) +
                             "); the build was stopped.");
    };
    close(m_continuous.get());
    close(m_meridexSpot.get());
    close(m_spotComposite.get());
    m_continuous.reset();
    m_meridexSpot.reset();
    m_spotComposite.reset();
    for (auto& entry : m_exchangeFiles)
        close(entry.second.get());
    m_exchangeFiles.clear();
    m_current = nullptr;
    return ok;
}

}  // namespace orvella

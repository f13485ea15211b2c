#include "setup/lst_builder.h"

#include <algorithm>
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
                         const LstLimits& limits, ProgressHook progress)
    : m_view(view),
      m_lstFolder(std::move(lstFolder)),
      m_options(options),
      m_limits(limits),
      m_grouper(options),
      m_writePool(limits.writePoolSize),
      m_progress(std::move(progress)) {
    m_limits.maxOpenExchangeFiles = std::max<size_t>(m_limits.maxOpenExchangeFiles, 1);
}

CLstBuilder::~CLstBuilder() = default;

bool CLstBuilder::OpenOptional(bool chosen, const char* name,
                               std::unique_ptr<CLstOutputFile>* file) {
    if (!chosen)
        return true;
    *file = std::make_unique<CLstOutputFile>(&m_writePool);
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
    m_lineNumber = 0;
    m_malformedLines = 0;
    m_unfiledLines = 0;
    m_overLong = false;
    m_pending.clear();
    // Carried lines never outgrow the limit, so this is the only allocation.
    m_pending.reserve(m_limits.maxLineLength);
    m_openFiles.reserve(m_limits.maxOpenExchangeFiles);
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
            m_view->AppendCountStatus(line);
            if (!ProcessBlock(buffer.get(), count)) {
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
    // The last line needs no line end.
    if (ok && m_overLong)
        SkipLine(Malformed::kTooLong);
    else if (ok && !m_pending.empty())
        ok = ProcessLine(m_pending);
    m_pending.clear();
    m_overLong = false;
    if (m_cancelled) {
        RemoveCreated("The build was cancelled; the ");
        return false;
    }
    const bool closed = CloseAll(ok);
    if (!ok || !closed) {
        // Their lines end where the build stopped: a list cut short is worse
        // than none.
        RemoveCreated("The build was stopped; the ");
        return false;
    }
    if (m_malformedLines > 0) {
        m_view->AppendStatus("Malformed lines of the symbol file skipped: " +
                             std::to_string(m_malformedLines));
    }
    if (m_unfiledLines > 0) {
        m_view->AppendStatus("Lines skipped because their LST file could not be opened: " +
                             std::to_string(m_unfiledLines));
    }
    return true;
}

void CLstBuilder::RemoveCreated(const char* outcome) {
    CloseAll(false);
    for (const std::string& path : m_created)
        std::remove(path.c_str());
    m_view->AppendStatus(outcome + std::to_string(m_created.size()) +
                         " LST files it had begun were removed.");
    m_created.clear();
}

bool CLstBuilder::ProcessBlock(const char* data, size_t size) {
    const char* position = data;
    const char* const end = data + size;
    if (!m_pending.empty() || m_overLong) {
        const char* feed = static_cast<const char*>(std::memchr(position, '\n', size));
        const size_t part = static_cast<size_t>((feed != nullptr ? feed : end) - position);
        if (!m_overLong) {
            if (m_pending.size() + part > m_limits.maxLineLength) {
                m_overLong = true;
                m_pending.clear();
            } else {
                m_pending.append(position, part);
            }
        }
        if (feed == nullptr)
            return true;
        if (m_overLong) {
            m_overLong = false;
            SkipLine(Malformed::kTooLong);
        } else {
            const bool processed = ProcessLine(m_pending);
            m_pending.clear();
            if (!processed)
                return false;
        }
        position = feed + 1;
    }
    // The lines within the block, found and split in one pass.
    CLstLineScanner lines(position, end);
    for (;;) {
        LstColumns columns;
        bool holdsNul = false;
        const char* const start = lines.LineStart();
        const char* feed = lines.Next(&columns, &holdsNul);
        if (feed == nullptr) {
            const size_t rest = static_cast<size_t>(end - start);
            if (rest > m_limits.maxLineLength) {
                m_overLong = true;
            } else {
                m_pending.assign(start, rest);
            }
            break;
        }
        if (static_cast<size_t>(feed - start) > m_limits.maxLineLength) {
            SkipLine(Malformed::kTooLong);
        } else if (holdsNul) {
            SkipLine(Malformed::kNul);
        } else if (!FileLine(columns)) {
            return false;
        }
    }
    return true;
}

bool CLstBuilder::ProcessLine(std::string_view text) {
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
        SkipLine(Malformed::kNul);
        return true;
    }
    // A carriage return before the line feed is part of the line end.
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    return FileLine(SplitLstLine(text));
}

bool CLstBuilder::FileLine(const LstColumns& columns) {
    ++m_lineNumber;
    const LstDecision decision = m_grouper.Next(columns, &m_key);
    if (decision.newGroup && !SwitchGroup())
        return false;
    if (decision.toCurrent && m_current != nullptr && !WriteTo(m_current, columns))
        return false;
    if (decision.toCurrent && m_currentUnopened)
        ++m_unfiledLines;
    if (decision.toContinuous && !WriteTo(m_continuous.get(), columns))
        return false;
    if (decision.toSpotComposite && !WriteTo(m_spotComposite.get(), columns))
        return false;
    if (decision.toMeridexSpot && !WriteTo(m_meridexSpot.get(), columns))
        return false;
    return true;
}

void CLstBuilder::SkipLine(Malformed why) {
    ++m_lineNumber;
    ++m_malformedLines;
    m_grouper.Skip();
    if (m_malformedLines > 1)
        return;
    const std::string reason =
        why == Malformed::kNul
            ? "it holds a NUL byte"
            : "it is longer than " + std::to_string(m_limits.maxLineLength) + " bytes";
    m_view->AppendStatus("Line " + std::to_string(m_lineNumber) +
                         " of the symbol file was skipped: " + reason + ".");
}

bool CLstBuilder::SwitchGroup() {
    m_name = LstFileName(m_key);
    m_current = nullptr;
    m_currentUnopened = false;
    ExchangeFile* entry = nullptr;
    bool created = false;
    const auto found = m_exchangeFiles.find(std::string_view(m_name));
    if (found != m_exchangeFiles.end()) {
        entry = &found->second;
    } else {
        entry = &m_exchangeFiles[m_name];
        entry->file = std::make_unique<CLstOutputFile>(&m_writePool);
        created = true;
    }
    if (entry->file == nullptr) {
        m_currentUnopened = true;
        return true;
    }
    if (!entry->file->IsOpen()) {
        bool stop = false;
        if (!OpenWithRoom(entry, created, &stop)) {
            if (stop)
                return false;
            const int error = entry->file->Error();
            m_view->AppendStatus(std::string("LST file could not be ") +
                                 (created ? "created " : "reopened ") + m_lstFolder + m_name +
                                 " (" + std::to_string(error) + "; " + FileErrorText(error) +
                                 "); its lines were skipped.");
            entry->file.reset();
            m_currentUnopened = true;
            return true;
        }
    }
    entry->lastUse = ++m_useClock;
    m_current = entry->file.get();
    return true;
}

bool CLstBuilder::OpenWithRoom(ExchangeFile* entry, bool create, bool* stop) {
    CLstOutputFile* file = entry->file.get();
    for (;;) {
        if (m_openFiles.size() >= m_limits.maxOpenExchangeFiles && !CloseLeastRecentlyUsed()) {
            *stop = true;
            return false;
        }
        if (create ? file->Create(m_lstFolder + m_name) : file->Reopen()) {
            m_openFiles.push_back(entry);
            if (create)
                m_created.push_back(file->Path());
            return true;
        }
        // The process may allow fewer open files than the bound: make room.
        const int error = file->Error();
        if ((error != EMFILE && error != ENFILE) || m_openFiles.empty())
            return false;
        if (!CloseLeastRecentlyUsed()) {
            *stop = true;
            return false;
        }
    }
}

bool CLstBuilder::CloseLeastRecentlyUsed() {
    const auto oldest = std::min_element(
        m_openFiles.begin(), m_openFiles.end(),
        [](const ExchangeFile* a, const ExchangeFile* b) { return a->lastUse < b->lastUse; });
    CLstOutputFile* file = (*oldest)->file.get();
    *oldest = m_openFiles.back();
    m_openFiles.pop_back();
    if (file->Close())
        return true;
    ReportWriteFailure(*file);
    return false;
}

bool CLstBuilder::WriteTo(CLstOutputFile* file, const LstColumns& columns) {
    if (file->WriteLine(columns.symbol, columns.description))
        return true;
    ReportWriteFailure(*file);
    return false;
}

void CLstBuilder::ReportWriteFailure(const CLstOutputFile& file) {
    const int error = file.Error();
    m_view->AppendStatus("LST file could not be written " + file.Path() + " (" +
                         std::to_string(error) + "; " + FileErrorText(error) +
                         "); the build was stopped.");
}

bool CLstBuilder::CloseAll(bool reportFailures) {
    bool ok = true;
    auto close = [&](CLstOutputFile* file) {
        if (file == nullptr || file->Close() || !ok)
            return;
        ok = false;
        if (reportFailures)
            ReportWriteFailure(*file);
    };
    close(m_continuous.get());
    close(m_meridexSpot.get());
    close(m_spotComposite.get());
    m_continuous.reset();
    m_meridexSpot.reset();
    m_spotComposite.reset();
    for (auto& entry : m_exchangeFiles)
        close(entry.second.file.get());
    m_exchangeFiles.clear();
    m_openFiles.clear();
    m_current = nullptr;
    m_currentUnopened = false;
    return ok;
}

}  // namespace orvella

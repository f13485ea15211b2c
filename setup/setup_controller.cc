#include "setup/setup_controller.h"

#include <chrono>
#include <tuple>

#include "settings/filter_time.h"
#include "settings/settings_keys.h"
#include "setup/connection_check.h"
#include "setup/internet_session.h"
#include "setup/lst_builder.h"
#include "setup/redirect_target.h"
#include "setup/symbol_file_location.h"
#include "setup/symbol_file_writer.h"
#include "setup/time_text.h"

namespace orvella {

namespace {

constexpr char kAcceptHeader[] =
    "Accept: audio/x-aiff, audio/basic, audio/midi, audio/mpeg, audio/wav, image/jpeg, "
    "image/gif, image/jpg, image/png, image/mng, image/bmp, text/plain, text/html, text/htm\r\n";
constexpr char kUserAgentHeader[] = "User-Agent: GetWebFile/1.0\r\n";
constexpr char kAgentName[] = "OrvellaNSTSetup";
constexpr uintptr_t kSessionContext = 1;

constexpr char kCannotSave[] = "The settings store is read-only: changes cannot be saved.";
constexpr char kStoredRootNotFullText[] =
    "The stored NovaScope Install directory \"%s\" is not a full path; nothing was written.";

constexpr char kOldFileKept[] = "; the symbol file was left as it was.";

constexpr SetupTime kDefaultBegin{0, 0, 0};
constexpr SetupTime kDefaultEnd{23, 59, 59};

// "%s" of format filled with text.
std::string Fill(const char* format, const std::string& text) {
    std::string line(format);
    line.replace(line.find("%s"), 2, text);
    return line;
}

std::string Trim(const std::string& text) {
    constexpr char kSpace[] = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

int Switch(const CSetupView& view, CSetupView::Check box) {
    return view.IsChecked(box) ? 1 : 0;
}

SetupTime StoredTime(CSetupSettingsStore* store, const char* name, const char* defaultText,
                     const SetupTime& fallback) {
    SetupTime time = fallback;
    // The same check as the plug-in's before the time goes into a request.
    const std::string text = store->ReadString(name, defaultText);
    if (!IsTimeText(text) || !ParseTimeText(text, &time))
        time = fallback;
    return time;
}

// Seconds on the steady clock, for the progress meter.
double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string MissingDirectoryText(const std::string& directory) {
    return "Is not a valid directory!\n\n" + directory +
           "\n\nThis folder does not exist. Enter the folder the charting host is installed in, "
           "or choose it with Browse.";
}

CSetupController::CSetupController(CSetupView* view, CSetupSettingsStore* store,
                                   const MinimumRate& minimumRate)
    : m_view(view), m_store(store), m_minimumRate(minimumRate) {}

void CSetupController::LoadSettings() {
    using Check = CSetupView::Check;
    m_store->EnsureProductFolder();
    m_strWebsite = m_store->ReadString(kValueWebsite, kDefaultWebsiteA);
    m_nPort = m_store->ReadDword(kValuePort, kDefaultPort);
    // The boxes show what the plug-in does: an absent value counts as its
    // default.
    const std::tuple<Check, const char*, int32_t> boxes[] = {
        {Check::kExtendedTrade, kValueExtendedTrade, 0},
        {Check::kStreaming, kValueStreaming, 0},
        {Check::kContinuous, kValueContinuous, 0},
        {Check::kMeridexSpot, kValueMeridexSpot, 0},
        {Check::kMeridexSpotComposite, kValueMeridexSpotComposite, 0},
        {Check::kLogging, kValueLogging, 0},
        {Check::kReconnect, kValueReconnect, kDefaultReconnect},
    };
    for (const auto& [box, name, absent] : boxes)
        m_view->SetChecked(box, m_store->ReadDword(name, absent) != 0);
    m_view->SetTime(
        0, StoredTime(m_store, kValueBeginFilterTime, kDefaultBeginFilterTimeA, kDefaultBegin));
    m_view->SetTime(1,
                    StoredTime(m_store, kValueEndFilterTime, kDefaultEndFilterTimeA, kDefaultEnd));
    m_strDirectory = m_store->ReadString(kValueNovaScopeRoot, kDefaultNovaScopeRootA);
    m_view->SetEditTexts(m_strWebsite, std::to_string(m_nPort), m_strDirectory);
    if (!m_store->CanSave())
        m_view->AppendStatus(kCannotSave);
}

void CSetupController::MoveEditsIntoFields() {
    m_strWebsite = m_view->WebsiteText();
    int port = 0;
    if (!ParseDialogInteger(m_view->PortText(), &port)) {
        if (!m_promptShown) {
            m_promptShown = true;
            m_view->ShowMessage("Please enter an integer.", kSetupTitle, kSetupMbIconWarning);
        }
        return;
    }
    m_nPort = port;
    m_strDirectory = m_view->DirectoryText();
}

bool CSetupController::ValidTimes(SetupTime* begin, SetupTime* end) {
    if (!m_view->GetTime(0, begin) || !m_view->GetTime(1, end))
        return false;
    if (begin->SecondsOfDay() >= end->SecondsOfDay()) {
        m_view->ShowMessage("The begin time must be less then the end time!", "INVALID TIMES ERROR",
                            kSetupMbIconError | kSetupMbSystemModal);
        return false;
    }
    return true;
}

bool CSetupController::ValidDirectory(std::string* directory) {
    *directory = Trim(m_strDirectory);
    if (directory->empty()) {
        m_view->ShowMessage(kEmptyDirectoryText, kSetupTitle,
                            kSetupMbIconError | kSetupMbSystemModal);
        return false;
    }
    if (!IsFullPath(*directory)) {
        // A relative folder would follow whatever folder the plug-in's host
        // and this program happen to run in.
        m_view->ShowMessage(kRelativeDirectoryText, kSetupTitle,
                            kSetupMbIconError | kSetupMbSystemModal);
        return false;
    }
    if (!m_store->DirectoryExists(*directory)) {
        m_view->ShowMessage(MissingDirectoryText(*directory), kSetupTitle,
                            kSetupMbIconError | kSetupMbSystemModal);
        return false;
    }
    return true;
}

void CSetupController::StoreTradeSettings(const SetupTime& begin, const SetupTime& end) {
    using Check = CSetupView::Check;
    m_store->EnsureProductFolder();
    m_store->WriteDword(kValueExtendedTrade, Switch(*m_view, Check::kExtendedTrade));
    m_store->WriteDword(kValueStreaming, Switch(*m_view, Check::kStreaming));
    m_store->WriteString(kValueBeginFilterTime, FormatTimeText(begin));
    m_store->WriteString(kValueEndFilterTime, FormatTimeText(end));
}

void CSetupController::StoreSymbolSettings(const std::string& directory) {
    using Check = CSetupView::Check;
    m_store->EnsureProductFolder();
    m_store->WriteString(kValueWebsite, m_strWebsite);
    m_store->WriteDword(kValuePort, m_nPort);
    m_store->WriteDword(kValueContinuous, Switch(*m_view, Check::kContinuous));
    m_store->WriteDword(kValueMeridexSpot, Switch(*m_view, Check::kMeridexSpot));
    m_store->WriteDword(kValueMeridexSpotComposite, Switch(*m_view, Check::kMeridexSpotComposite));
    m_store->WriteString(kValueNovaScopeRoot, directory);
}

void CSetupController::StoreLoggingSetting() {
    m_store->EnsureProductFolder();
    m_store->WriteDword(kValueLogging, Switch(*m_view, CSetupView::Check::kLogging));
    m_store->WriteDword(kValueReconnect, Switch(*m_view, CSetupView::Check::kReconnect));
}

bool CSetupController::SaveSymbolSettings() {
    MoveEditsIntoFields();
    std::string directory;
    if (!ValidDirectory(&directory))
        return false;
    StoreSymbolSettings(directory);
    return true;
}

bool CSetupController::SaveAll() {
    m_promptShown = false;
    if (!m_store->CanSave()) {
        m_view->ShowMessage(kCannotSave, kSetupTitle, kSetupMbIconError);
        return false;
    }
    // Everything is checked before anything is stored, so a refused save
    // leaves the stored settings as they were.
    MoveEditsIntoFields();
    SetupTime begin, end;
    std::string directory;
    if (!ValidTimes(&begin, &end) || !ValidDirectory(&directory))
        return false;
    StoreTradeSettings(begin, end);
    StoreSymbolSettings(directory);
    StoreLoggingSetting();
    return true;
}

bool CSetupController::StoredRoot(std::string* root) {
    m_store->EnsureProductFolder();
    *root = m_store->ReadString(kValueNovaScopeRoot, kDefaultNovaScopeRootA);
    if (IsFullPath(*root))
        return true;
    // The value just saved did not reach the store; what is there would put
    // the files at the file-system root or in the current folder.
    m_view->AppendStatus(Fill(kStoredRootNotFullText, *root));
    return false;
}

void CSetupController::BeginJob() {
    m_view->BeginWaitCursor();
    m_view->DisableButtons();
    m_view->ShowCancel(true);
    m_meterStarted = false;
}

void CSetupController::EndJob() {
    m_view->EndWaitCursor();
    m_view->EnableButtons();
    m_view->ShowCancel(false);
    m_cancel = false;
}

bool CSetupController::BeginFolderJob(std::string* root, std::string* folder) {
    m_view->ClearStatus();
    if (!SaveSymbolSettings())
        return false;
    BeginJob();
    if (!StoredRoot(root)) {
        EndJob();
        return false;
    }
    *folder = LstFolder(*root);
    if (!m_store->EnsureDirectory(*folder)) {
        m_view->AppendStatus(Fill("Failed to create or find the %s directory!", *folder));
        EndJob();
        return false;
    }
    return true;
}

bool CSetupController::ReportProgress(int64_t done, int64_t total) {
    if (done >= 0) {
        const double now = SteadySeconds();
        if (!m_meterStarted || total != m_meter.Total()) {
            m_meter.Start(total, now);
            m_meterStarted = true;
        }
        if (m_meter.Update(done, now))
            m_view->ShowProgress(m_meter.Current());
    }
    m_view->PumpEvents();
    return !m_cancel;
}

void CSetupController::EndProgress() {
    // The last reading may have come within the meter's pause; the job's
    // final count is shown all the same.
    if (m_meterStarted && m_meter.Finish(SteadySeconds()))
        m_view->ShowProgress(m_meter.Current());
    m_meterStarted = false;
    m_view->SetProgress(0);
}

bool CSetupController::DownloadSymbolFile() {
    m_promptShown = false;
    m_stored = false;
    std::string root;
    std::string folder;
    if (!BeginFolderJob(&root, &folder))
        return false;
    const SymbolFileLocation location = LocateSymbolFile(m_view->WebsiteText());
    const int port = PortFromText(m_view->PortText());
    m_view->AppendStatus("Begining download of symbol file....");
    m_failure.clear();
    m_cancelled = false;
    const int status =
        GetWebFile(location.objectPath, location.extension, location.host, port, location.baseName);
    m_view->AppendStatus("Status Code " + std::to_string(status) + " was returned.");
    // The last line says what happened, and only a stored file is complete.
    std::string outcome;
    if (m_stored) {
        outcome = "Download of symbol file is complete....";
    } else if (m_cancelled) {
        outcome = std::string("Download of symbol file cancelled") + kOldFileKept;
    } else {
        if (m_failure.empty())
            m_failure = "the server answered with status " + std::to_string(status);
        outcome = "Download of symbol file failed: " + m_failure + kOldFileKept;
    }
    m_view->AppendStatus(outcome);
    m_view->ShowJobResult(outcome, !m_stored);
    EndJob();
    return m_stored;
}

int CSetupController::GetWebFile(const std::string& objectPath, const std::string& extension,
                                 const std::string& host, int port, const std::string& baseName) {
    m_stored = false;
    std::string refused;
    if (IsRefusedFile(objectPath, &refused)) {
        m_view->AppendStatus(Fill("Illegal file extension %s", refused));
        m_failure = "files ending in " + refused + " are not downloaded";
        return 0;
    }
    m_view->BeginWaitCursor();
    // With logging on the status window keeps the client's raw notifications.
    CCorvanInternetSession session(
        kAgentName, kSessionContext,
        [this](const std::string& line) { m_view->AppendStatus(line); },
        m_view->IsChecked(CSetupView::Check::kLogging));

    SymbolFileLocation location;
    location.baseName = baseName;
    location.extension = extension;
    std::string root;
    if (!StoredRoot(&root)) {
        m_failure = "the stored NovaScope Install directory is not a full path";
        m_view->EndWaitCursor();
        return 0;
    }
    CSymbolFileWriter writer(
        m_view, SymbolFilePath(root, location),
        [this](int64_t done, int64_t total) { return ReportProgress(done, total); });
    // The transfer stopped before its end: by the user, or by the writer.
    auto stopped = [&]() {
        if (m_cancel) {
            m_cancelled = true;
            writer.Cancel();
        } else {
            m_failure = writer.FailureReason();
            writer.Abandon();
        }
    };

    // Ends the call: progress back to 0, cursor restored.
    auto finish = [this](int status) {
        EndProgress();
        m_view->EndWaitCursor();
        return status;
    };
    // The internet client raised an error: its description, then 0.
    auto failed = [&]() {
        m_view->AppendStatus(session.ErrorText());
        m_failure = session.ErrorText();
        writer.Abandon();
        m_view->EndWaitCursor();
        return 0;
    };

    CCorvanInternetSession::Request request;
    request.host = host;
    request.port = port;
    request.objectPath = objectPath;
    request.headers = {kAcceptHeader, kUserAgentHeader};
    request.minimumRate = m_minimumRate;
    CCorvanInternetSession::Result result = session.Get(request, &writer);
    if (result == CCorvanInternetSession::Result::kFailed)
        return failed();
    if (result == CCorvanInternetSession::Result::kStoppedBySink) {
        stopped();
        return finish(0);
    }
    long status = session.Status();
    if (status == 401) {
        m_view->AppendStatus(std::to_string(status) + "; HTTP_STATUS_DENIED");
        m_failure = "the server refused access (status 401)";
        return finish(401);
    }
    if (status == 301 || status == 302 || status == 303) {
        std::string target;
        if (!FindLocation(session.Headers(), &target)) {
            m_view->AppendStatus("Find did not find 'Location: '");
            m_failure = "the server redirected without naming where to";
            return finish(0);
        }
        UrlParts parts;
        if (!CrackUrl(target, &parts)) {
            m_view->AppendStatus("URL was empty or does not contain a known Internet service type");
            m_failure = "the server redirected to \"" + target + "\", which is not a web address";
            return finish(0);
        }
        request.host = parts.server;
        request.port = parts.port;
        request.objectPath = parts.objectPath;
        request.headers = {kAcceptHeader};
        result = session.Get(request, &writer);
        if (result == CCorvanInternetSession::Result::kFailed)
            return failed();
        if (result == CCorvanInternetSession::Result::kStoppedBySink) {
            stopped();
            return finish(0);
        }
        status = session.Status();
        if (status != 200) {
            m_view->AppendStatus(std::to_string(status) + "; HTTP_STATUS was not OK!");
            m_failure = "the redirected request was answered with status " + std::to_string(status);
            return finish(static_cast<int>(status));
        }
    }
    if (status == 200) {
        m_stored = writer.Commit(session.ContentLength());
        if (!m_stored) {
            m_failure = writer.FailureReason();
            return finish(0);
        }
    }
    return finish(static_cast<int>(status));
}

bool CSetupController::CheckFeedClient(const std::string& symbol) {
    m_view->ClearStatus();
    m_view->BeginWaitCursor();
    m_view->DisableButtons();
    std::string root;
    m_store->EnsureProductFolder();
    root = m_store->ReadString(kValueNovaScopeRoot, kDefaultNovaScopeRootA);
    const std::string symbolFile =
        IsFullPath(root) ? SymbolFilePath(root, LocateSymbolFile(m_view->WebsiteText()))
                         : std::string();
    CConnectionCheck check(m_view, m_store);
    const bool passed = check.Run(symbol, symbolFile) == 0;
    m_view->EnableButtons();
    m_view->EndWaitCursor();
    return passed;
}

bool CSetupController::BuildLstFiles() {
    using Check = CSetupView::Check;
    m_promptShown = false;
    m_lstLinesSkipped = 0;
    std::string root;
    std::string folder;
    if (!BeginFolderJob(&root, &folder))
        return false;
    m_view->AppendStatus("Beginning to process the symbol file!");
    const std::string symbolFile = SymbolFilePath(root, LocateSymbolFile(m_view->WebsiteText()));
    LstOptions options;
    options.continuous = m_view->IsChecked(Check::kContinuous);
    options.meridexSpot = m_view->IsChecked(Check::kMeridexSpot);
    options.meridexSpotComposite = m_view->IsChecked(Check::kMeridexSpotComposite);
    CLstBuilder builder(m_view, folder, options, LstLimits(), [this](int64_t done, int64_t total) {
        return ReportProgress(done, total);
    });
    const bool built = builder.Build(symbolFile);
    m_lstLinesSkipped = builder.MalformedLines() + builder.UnfiledLines();
    if (built)
        m_view->AppendStatus("We finished building the Novascope LST files!");
    EndProgress();
    EndJob();
    return built;
}

}  // namespace orvella

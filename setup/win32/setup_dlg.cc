#include "setup/win32/setup_dlg.h"

#include <commctrl.h>
#include <shlobj.h>

#include <iterator>

#include "setup/job_progress.h"
#include "setup/version_text.h"
#include "setup/win32/resource.h"

namespace orvella {

namespace {

int CheckId(CSetupView::Check box) {
    static constexpr int kIds[] = {
        IDC_EXTENDED_TRADE,         IDC_STREAMING, IDC_CONTINUOUS, IDC_MERIDEX_SPOT,
        IDC_MERIDEX_SPOT_COMPOSITE, IDC_LOGGING,   IDC_RECONNECT};
    static_assert(std::size(kIds) == CSetupView::kCheckCount, "one check box for every setting");
    return kIds[static_cast<int>(box)];
}

int PickerId(int picker) {
    return picker == 0 ? IDC_BEGIN_FILTER_TIME : IDC_END_FILTER_TIME;
}

constexpr int kJobButtons[] = {IDOK, IDCANCEL, IDC_DOWNLOAD, IDC_GENERATE_LST, IDC_CHECK_FEED};

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        const std::string text = "OrvellaNSTSetup Version " + OwnVersionText();
        SetDlgItemTextA(window, IDC_ABOUT_TEXT, text.c_str());
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

COrvellaNSTSetupDlg::COrvellaNSTSetupDlg(CSetupSettingsStore* store)
    : m_controller(std::make_unique<CSetupController>(this, store)) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_DATE_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

COrvellaNSTSetupDlg::~COrvellaNSTSetupDlg() {
    if (!m_modal && m_window != nullptr)
        DestroyWindow(m_window);
}

INT_PTR COrvellaNSTSetupDlg::DoModal() {
    m_modal = true;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ORVELLANSTSETUP_DIALOG),
                           nullptr, &DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND COrvellaNSTSetupDlg::CreateModeless() {
    m_modal = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr),
                              MAKEINTRESOURCEW(IDD_ORVELLANSTSETUP_DIALOG), nullptr, &DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK COrvellaNSTSetupDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<COrvellaNSTSetupDlg*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<COrvellaNSTSetupDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr)
        return FALSE;
    switch (message) {
        case WM_COMMAND:
            return self->OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), window,
                                &AboutProc, 0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            self->Close(IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

void COrvellaNSTSetupDlg::OnInitDialog() {
    HMENU menu = GetSystemMenu(m_window, FALSE);
    if (menu != nullptr) {
        char about[64] = {0};
        LoadStringA(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, sizeof(about));
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
    const HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    for (int picker = 0; picker < 2; ++picker) {
        SendDlgItemMessageA(m_window, PickerId(picker), DTM_SETFORMATA, 0,
                            reinterpret_cast<LPARAM>("HH':'mm':'ss"));
    }
    m_controller->LoadSettings();
}

bool COrvellaNSTSetupDlg::OnCommand(int id) {
    switch (id) {
        case IDOK:
            if (m_controller->SaveAll())
                Close(IDOK);
            return true;
        case IDCANCEL:
            Close(IDCANCEL);
            return true;
        case IDC_DOWNLOAD:
            RunJob([this] { m_controller->DownloadSymbolFile(); });
            return true;
        case IDC_GENERATE_LST:
            RunJob([this] { m_controller->BuildLstFiles(); });
            return true;
        case IDC_CANCEL_JOB:
            m_controller->RequestCancel();
            return true;
        case IDC_BROWSE:
            OnBrowse();
            return true;
        case IDC_CHECK_FEED:
            RunJob([this] { m_controller->CheckFeedClient(std::string()); });
            return true;
        default:
            return false;
    }
}

void COrvellaNSTSetupDlg::OnBrowse() {
    BROWSEINFOA info{};
    info.hwndOwner = m_window;
    info.lpszTitle = "NovaScope Install directory";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
    if (chosen == nullptr)
        return;
    char path[MAX_PATH] = {0};
    if (SHGetPathFromIDListA(chosen, path))
        SetDlgItemTextA(m_window, IDC_NOVASCOPE_ROOT, path);
    CoTaskMemFree(chosen);
}

template <typename Job>
void COrvellaNSTSetupDlg::RunJob(Job job) {
    if (m_jobs.Run(job))
        Close(IDCANCEL);
}

void COrvellaNSTSetupDlg::Close(INT_PTR result) {
    if (!m_jobs.MayClose(*m_controller))
        return;
    if (m_modal)
        EndDialog(m_window, result);
    else
        ShowWindow(m_window, SW_HIDE);
}

void COrvellaNSTSetupDlg::AppendStatus(const std::string& line) {
    const HWND status = GetDlgItem(m_window, IDC_STATUS);
    const int end = GetWindowTextLengthA(status);
    SendMessageA(status, EM_SETSEL, end, end);
    const std::string text = (end > 0 ? "\r\n" : "") + line;
    SendMessageA(status, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(status, EM_SCROLLCARET, 0, 0);
}

void COrvellaNSTSetupDlg::ClearStatus() {
    SetDlgItemTextA(m_window, IDC_STATUS, "");
}

void COrvellaNSTSetupDlg::SetMarquee(bool on) {
    const HWND bar = GetDlgItem(m_window, IDC_PROGRESS);
    const LONG style = GetWindowLongW(bar, GWL_STYLE);
    const bool marquee = (style & PBS_MARQUEE) != 0;
    if (marquee == on)
        return;
    SetWindowLongW(bar, GWL_STYLE, on ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
    SendMessageW(bar, PBM_SETMARQUEE, on ? TRUE : FALSE, 0);
}

void COrvellaNSTSetupDlg::ShowProgress(const JobProgress& progress) {
    const int permille = progress.Permille();
    SetMarquee(permille < 0);
    if (permille >= 0) {
        SendDlgItemMessageW(m_window, IDC_PROGRESS, PBM_SETRANGE32, 0, 1000);
        SendDlgItemMessageW(m_window, IDC_PROGRESS, PBM_SETPOS, permille, 0);
    }
    SetDlgItemTextA(m_window, IDC_PROGRESS_TEXT, ProgressText(progress).c_str());
}

void COrvellaNSTSetupDlg::ShowJobResult(const std::string& line, bool) {
    SetDlgItemTextA(m_window, IDC_PROGRESS_TEXT, line.c_str());
}

void COrvellaNSTSetupDlg::ShowCancel(bool shown) {
    ShowWindow(GetDlgItem(m_window, IDC_CANCEL_JOB), shown ? SW_SHOW : SW_HIDE);
}

void COrvellaNSTSetupDlg::SetProgress(int position) {
    SetMarquee(false);
    SendDlgItemMessageW(m_window, IDC_PROGRESS, PBM_SETRANGE32, kProgressMin, kProgressMax);
    SendDlgItemMessageW(m_window, IDC_PROGRESS, PBM_SETPOS, position, 0);
    SetDlgItemTextA(m_window, IDC_PROGRESS_TEXT, "");
}

void COrvellaNSTSetupDlg::DisableButtons() {
    for (int id : kJobButtons)
        EnableWindow(GetDlgItem(m_window, id), FALSE);
}

void COrvellaNSTSetupDlg::EnableButtons() {
    for (int id : kJobButtons)
        EnableWindow(GetDlgItem(m_window, id), TRUE);
}

void COrvellaNSTSetupDlg::BeginWaitCursor() {
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
    if (m_waitDepth++ == 0)
        m_savedCursor = previous;
}

void COrvellaNSTSetupDlg::EndWaitCursor() {
    if (m_waitDepth > 0 && --m_waitDepth == 0)
        SetCursor(m_savedCursor);
}

void COrvellaNSTSetupDlg::ShowMessage(const std::string& text, const std::string& caption,
                                      unsigned flags) {
    MessageBoxA(m_window, text.c_str(), caption.c_str(), MB_OK | flags);
}

void COrvellaNSTSetupDlg::PumpEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The program is to end: the request waits until the job is done.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!IsDialogMessageW(m_window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

std::string COrvellaNSTSetupDlg::EditText(int id) const {
    const HWND edit = GetDlgItem(m_window, id);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    const int length = GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string COrvellaNSTSetupDlg::WebsiteText() const {
    return EditText(IDC_WEBSITE);
}

std::string COrvellaNSTSetupDlg::PortText() const {
    return EditText(IDC_PORT);
}

std::string COrvellaNSTSetupDlg::DirectoryText() const {
    return EditText(IDC_NOVASCOPE_ROOT);
}

void COrvellaNSTSetupDlg::SetEditTexts(const std::string& website, const std::string& port,
                                       const std::string& directory) {
    SetDlgItemTextA(m_window, IDC_WEBSITE, website.c_str());
    SetDlgItemTextA(m_window, IDC_PORT, port.c_str());
    SetDlgItemTextA(m_window, IDC_NOVASCOPE_ROOT, directory.c_str());
}

bool COrvellaNSTSetupDlg::IsChecked(Check box) const {
    return IsDlgButtonChecked(m_window, CheckId(box)) == BST_CHECKED;
}

void COrvellaNSTSetupDlg::SetChecked(Check box, bool checked) {
    CheckDlgButton(m_window, CheckId(box), checked ? BST_CHECKED : BST_UNCHECKED);
}

bool COrvellaNSTSetupDlg::GetTime(int picker, SetupTime* time) const {
    SYSTEMTIME value{};
    if (SendDlgItemMessageW(m_window, PickerId(picker), DTM_GETSYSTEMTIME, 0,
                            reinterpret_cast<LPARAM>(&value)) != GDT_VALID) {
        return false;
    }
    *time = SetupTime{value.wHour, value.wMinute, value.wSecond};
    return true;
}

void COrvellaNSTSetupDlg::SetTime(int picker, const SetupTime& time) {
    // The pickers show only the time; the date is any valid one.
    SYSTEMTIME value{};
    GetLocalTime(&value);
    value.wHour = static_cast<WORD>(time.hour);
    value.wMinute = static_cast<WORD>(time.minute);
    value.wSecond = static_cast<WORD>(time.second);
    value.wMilliseconds = 0;
    SendDlgItemMessageW(m_window, PickerId(picker), DTM_SETSYSTEMTIME, GDT_VALID,
                        reinterpret_cast<LPARAM>(&value));
}

}  // namespace orvella

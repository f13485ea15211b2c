#include "setup/qt/setup_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "setup/qt/about_dlg.h"
#include "setup/version_text.h"

namespace orvella {

namespace {

// The dialog's size: 302 by 379 dialog units of an 8-point font.
constexpr int kDialogWidth = 453;
constexpr int kDialogHeight = 616;

// What the two trade-time pickers mean, beside their names.
constexpr char kBeginTimeHint[] = "Trades from this time on (HH:mm:ss)";
constexpr char kEndTimeHint[] = "Trades until this time (HH:mm:ss)";

QString FromLocal(const std::string& text) {
    return QString::fromLatin1(text.c_str());
}

std::string ToLocal(const QString& text) {
    return text.toLatin1().toStdString();
}

template <typename Widget, typename... Args>
Widget* Control(QWidget* parent, const char* id, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(id);
    return widget;
}

}  // namespace

COrvellaNSTSetupDlg::COrvellaNSTSetupDlg(CSetupSettingsStore* store, QWidget* parent)
    : QDialog(parent), m_controller(std::make_unique<CSetupController>(this, store)) {
    setWindowTitle("OrvellaNSTSetup");
    setWindowIcon(ApplicationIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    BuildControls();
    m_controller->LoadSettings();
}

COrvellaNSTSetupDlg::~COrvellaNSTSetupDlg() = default;

void COrvellaNSTSetupDlg::BuildControls() {
    m_saveQuit = Control<QPushButton>(this, "1", "Save/Quit");
    m_saveQuit->setDefault(true);
    m_quit = Control<QPushButton>(this, "2", "Quit");
    m_checks[static_cast<int>(Check::kExtendedTrade)] =
        Control<QCheckBox>(this, "1000", "Include Extended Trades");
    for (int picker = 0; picker < 2; ++picker) {
        m_times[picker] = Control<QTimeEdit>(this, picker == 0 ? "1001" : "1002");
        m_times[picker]->setDisplayFormat("HH:mm:ss");
    }
    m_checks[static_cast<int>(Check::kStreaming)] =
        Control<QCheckBox>(this, "1003", "Allow Streaming Updates");
    m_progress = Control<QProgressBar>(this, "1004");
    m_progress->setRange(kProgressMin, kProgressMax);
    m_progress->setValue(kProgressMin);
    m_progress->setTextVisible(false);
    m_website = Control<QLineEdit>(this, "1005");
    m_port = Control<QLineEdit>(this, "1006");
    m_status = Control<QPlainTextEdit>(this, "1008");
    m_status->setReadOnly(true);
    m_status->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_directory = Control<QLineEdit>(this, "1011");
    m_browse = Control<QPushButton>(this, kBrowseButtonName, "Browse...");
    m_download = Control<QPushButton>(this, "1009", "Download Symbol File");
    m_generate = Control<QPushButton>(this, "1010", "Generate LST Files");
    m_check = Control<QPushButton>(this, kCheckButtonName, "Check the feed client");
    m_checks[static_cast<int>(Check::kContinuous)] = Control<QCheckBox>(this, "1014", "Continuous");
    m_checks[static_cast<int>(Check::kMeridexSpot)] =
        Control<QCheckBox>(this, "1015", "Meridex Spot");
    m_checks[static_cast<int>(Check::kMeridexSpotComposite)] =
        Control<QCheckBox>(this, "1016", "Meridex Spot Composite");
    m_checks[static_cast<int>(Check::kLogging)] = Control<QCheckBox>(this, "1017", "Logging");
    m_checks[static_cast<int>(Check::kReconnect)] =
        Control<QCheckBox>(this, "1021", "Reconnect to the feed client");
    m_cancel = Control<QPushButton>(this, kCancelButtonName, "Cancel");
    m_cancel->setVisible(false);
    m_progressText = Control<QLabel>(this, kProgressTextName);
    m_progressText->setMinimumWidth(kDialogWidth / 2);
    m_progressText->setWordWrap(true);
    auto* about = Control<QPushButton>(this, kAboutButtonName, "&About OrvellaNSTSetup...");

    // Charting Options.
    auto* charting = new QGroupBox("Charting Options", this);
    auto* chartingLayout = new QGridLayout(charting);
    chartingLayout->addWidget(Box(Check::kStreaming), 0, 0, 1, 2);
    chartingLayout->addWidget(Box(Check::kExtendedTrade), 0, 2, 1, 2);
    chartingLayout->addWidget(
        new QLabel("Trade Time Filtering (Eastern Time Zone and 24 Hr Clock)", charting), 1, 0, 1,
        4);
    chartingLayout->addWidget(new QLabel("BeginFilterTime", charting), 2, 0);
    chartingLayout->addWidget(m_times[0], 2, 1);
    chartingLayout->addWidget(new QLabel("EndFilterTime", charting), 2, 2);
    chartingLayout->addWidget(m_times[1], 2, 3);
    chartingLayout->addWidget(new QLabel(kBeginTimeHint, charting), 3, 0, 1, 2);
    chartingLayout->addWidget(new QLabel(kEndTimeHint, charting), 3, 2, 1, 2);

    // The LST build.
    auto* lst = new QGroupBox("Orvella and Novascope LST File Build Process", this);
    auto* lstLayout = new QGridLayout(lst);
    lstLayout->addWidget(new QLabel("Symbol File Website address", lst), 0, 0);
    lstLayout->addWidget(new QLabel("Port", lst), 0, 1);
    lstLayout->addWidget(m_website, 1, 0);
    lstLayout->addWidget(m_port, 1, 1);
    lstLayout->setColumnStretch(0, 5);
    lstLayout->setColumnStretch(1, 1);
    lstLayout->addWidget(new QLabel("NovaScope Install directory", lst), 2, 0, 1, 2);
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(m_directory, 1);
    directoryRow->addWidget(m_browse);
    lstLayout->addLayout(directoryRow, 3, 0, 1, 2);
    auto* types = new QGroupBox("Additional LST File Types to Generate", lst);
    auto* typesLayout = new QHBoxLayout(types);
    typesLayout->addWidget(Box(Check::kContinuous));
    typesLayout->addWidget(Box(Check::kMeridexSpot));
    typesLayout->addWidget(Box(Check::kMeridexSpotComposite));
    lstLayout->addWidget(types, 4, 0, 1, 2);
    lstLayout->addWidget(new QLabel("Status Window", lst), 5, 0, 1, 2);
    lstLayout->addWidget(m_status, 6, 0, 1, 2);
    lstLayout->setRowStretch(6, 1);
    lstLayout->addWidget(m_progress, 7, 0, 1, 2);
    lstLayout->addWidget(m_progressText, 8, 0, 1, 2);

    auto* jobs = new QHBoxLayout;
    jobs->addWidget(m_download);
    jobs->addWidget(m_generate);
    jobs->addWidget(m_cancel);

    auto* options = new QGroupBox("Additional Options", this);
    auto* optionsLayout = new QHBoxLayout(options);
    optionsLayout->addWidget(Box(Check::kLogging));
    optionsLayout->addWidget(Box(Check::kReconnect));

    auto* closing = new QHBoxLayout;
    closing->addWidget(about);
    closing->addWidget(m_check);
    closing->addStretch(1);
    closing->addWidget(m_saveQuit);
    closing->addWidget(m_quit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(charting);
    layout->addWidget(lst, 1);
    layout->addLayout(jobs);
    layout->addWidget(options);
    layout->addLayout(closing);

    const QSize hint = sizeHint();
    setFixedSize(qMax(kDialogWidth, hint.width()), qMax(kDialogHeight, hint.height()));

    connect(m_saveQuit, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::OnSaveQuit);
    connect(m_quit, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::reject);
    connect(m_download, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::OnDownloadSymbolFile);
    connect(m_generate, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::OnGenerateLstFiles);
    connect(about, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::OnAbout);
    connect(m_browse, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::OnBrowse);
    connect(m_check, &QPushButton::clicked, this, &COrvellaNSTSetupDlg::OnCheckFeedClient);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_controller->RequestCancel(); });
}

QCheckBox* COrvellaNSTSetupDlg::Box(Check box) const {
    return m_checks[static_cast<int>(box)];
}

template <typename Job>
void COrvellaNSTSetupDlg::RunJob(Job job) {
    if (m_jobs.Run(job))
        QDialog::reject();
}

void COrvellaNSTSetupDlg::OnSaveQuit() {
    if (m_controller->SaveAll())
        accept();
}

void COrvellaNSTSetupDlg::OnDownloadSymbolFile() {
    RunJob([this] { m_controller->DownloadSymbolFile(); });
}

void COrvellaNSTSetupDlg::OnGenerateLstFiles() {
    RunJob([this] { m_controller->BuildLstFiles(); });
}

void COrvellaNSTSetupDlg::OnCheckFeedClient() {
    RunJob([this] { m_controller->CheckFeedClient(std::string()); });
}

void COrvellaNSTSetupDlg::OnBrowse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, "NovaScope Install directory",
                                                             m_directory->text().trimmed());
    if (!chosen.isEmpty())
        m_directory->setText(QDir::toNativeSeparators(chosen));
}

void COrvellaNSTSetupDlg::OnAbout() {
    CAboutDlg about(OwnVersionText(), this);
    about.exec();
}

void COrvellaNSTSetupDlg::reject() {
    if (m_jobs.MayClose(*m_controller))
        QDialog::reject();
}

void COrvellaNSTSetupDlg::closeEvent(QCloseEvent* event) {
    if (!m_jobs.MayClose(*m_controller)) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void COrvellaNSTSetupDlg::AppendStatus(const std::string& line) {
    m_status->moveCursor(QTextCursor::End);
    m_status->ensureCursorVisible();
    m_status->insertPlainText(FromLocal(line) + "\n");
}

void COrvellaNSTSetupDlg::ClearStatus() {
    m_status->setReadOnly(false);
    m_status->selectAll();
    m_status->clear();
    m_status->setReadOnly(true);
}

void COrvellaNSTSetupDlg::ShowProgress(const JobProgress& progress) {
    const int permille = progress.Permille();
    if (permille < 0) {
        m_progress->setRange(0, 0);  // a moving bar: the size is not known
    } else {
        m_progress->setRange(0, 1000);
        m_progress->setValue(permille);
    }
    m_progressText->setStyleSheet(QString());
    m_progressText->setText(FromLocal(ProgressText(progress)));
}

void COrvellaNSTSetupDlg::SetProgress(int position) {
    m_progress->setRange(kProgressMin, kProgressMax);
    m_progress->setValue(position);
    m_progressText->setStyleSheet(QString());
    m_progressText->clear();
}

void COrvellaNSTSetupDlg::ShowJobResult(const std::string& line, bool failed) {
    m_progressText->setStyleSheet(failed ? "color: #b00020;" : QString());
    m_progressText->setText(FromLocal(line));
}

void COrvellaNSTSetupDlg::ShowCancel(bool shown) {
    m_cancel->setVisible(shown);
    m_cancel->setEnabled(shown);
}

void COrvellaNSTSetupDlg::DisableButtons() {
    for (QPushButton* button : {m_saveQuit, m_download, m_quit, m_generate, m_check}) {
        button->setEnabled(false);
    }
}

void COrvellaNSTSetupDlg::EnableButtons() {
    for (QPushButton* button : {m_saveQuit, m_download, m_quit, m_generate, m_check}) {
        button->setEnabled(true);
    }
}

void COrvellaNSTSetupDlg::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void COrvellaNSTSetupDlg::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

void COrvellaNSTSetupDlg::ShowMessage(const std::string& text, const std::string& caption,
                                      unsigned flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if ((flags & 0xF0) == kSetupMbIconError) {
        icon = QMessageBox::Critical;
    } else if ((flags & 0xF0) == kSetupMbIconWarning) {
        icon = QMessageBox::Warning;
    }
    QMessageBox box(icon, FromLocal(caption), FromLocal(text), QMessageBox::Ok, this);
    if (flags & kSetupMbSystemModal)
        box.setWindowModality(Qt::ApplicationModal);
    // The box is a modal loop of its own; the busy cursor must not hide it.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}

void COrvellaNSTSetupDlg::PumpEvents() {
    QCoreApplication::processEvents();
}

std::string COrvellaNSTSetupDlg::WebsiteText() const {
    return ToLocal(m_website->text());
}

std::string COrvellaNSTSetupDlg::PortText() const {
    return ToLocal(m_port->text());
}

std::string COrvellaNSTSetupDlg::DirectoryText() const {
    return ToLocal(m_directory->text());
}

void COrvellaNSTSetupDlg::SetEditTexts(const std::string& website, const std::string& port,
                                       const std::string& directory) {
    m_website->setText(FromLocal(website));
    m_port->setText(FromLocal(port));
    m_directory->setText(FromLocal(directory));
}

bool COrvellaNSTSetupDlg::IsChecked(Check box) const {
    return Box(box)->isChecked();
}

void COrvellaNSTSetupDlg::SetChecked(Check box, bool checked) {
    Box(box)->setChecked(checked);
}

bool COrvellaNSTSetupDlg::GetTime(int picker, SetupTime* time) const {
    const QTime value = m_times[picker]->time();
    if (!value.isValid())
        return false;
    *time = {value.hour(), value.minute(), value.second()};
    return true;
}

void COrvellaNSTSetupDlg::SetTime(int picker, const SetupTime& time) {
    m_times[picker]->setTime(QTime(time.hour, time.minute, time.second));
}

}  // namespace orvella

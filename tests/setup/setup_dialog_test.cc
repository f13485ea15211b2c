// The Qt dialog, offscreen, driven by clicks and key presses on its real
// widgets, with the settings in a fresh registry for every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "setup/connection_check.h"
#include "setup/qt/about_dlg.h"
#include "setup/qt/setup_dlg.h"
#include "testing/feed_sim.h"
#include "testing/setup/fake_settings_store.h"
#include "testing/setup/http_test_server.h"
#include "tests/setup/setup_dialog_controls.h"
#include "tests/setup/setup_env.h"

namespace orvella {
namespace {

struct Box {
    std::string caption;
    std::string text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers every modal box that opens with OK, recording its caption and text
// (for the About box, the text of its line 1018).
class CModalAnswerer {
  public:
    CModalAnswerer() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    std::vector<Box> boxes;

  private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes.push_back(
                {box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        } else if (auto* about = qobject_cast<CAboutDlg*>(modal)) {
            boxes.push_back({about->windowTitle().toStdString(),
                             about->findChild<QLabel*>("1018")->text().toStdString()});
            QTest::mouseClick(about->findChild<QPushButton*>("1"), Qt::LeftButton);
        }
    }
    QTimer m_timer;
};

class SetupDialogTest : public testing::SetupEnvTest {
  protected:
    void SetUp() override {
        testing::SetupEnvTest::SetUp();
        m_store = MakeRegistrySettingsStore();
    }

    void TearDown() override {
        m_dialog.reset();
        testing::SetupEnvTest::TearDown();
    }

    COrvellaNSTSetupDlg& Open() {
        m_dialog = std::make_unique<COrvellaNSTSetupDlg>(m_store.get());
        m_dialog->show();
        return *m_dialog;
    }

    template <typename Widget>
    Widget* Find(const char* id) {
        auto* widget = m_dialog->findChild<Widget*>(id);
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }

    void Click(const char* id) { QTest::mouseClick(Find<QAbstractButton>(id), Qt::LeftButton); }
    void Tick(const char* id) {
        auto* box = Find<QCheckBox>(id);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    void Type(const char* id, const QString& text) {
        auto* edit = Find<QLineEdit>(id);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    std::string StatusText() { return Find<QPlainTextEdit>("1008")->toPlainText().toStdString(); }

    std::unique_ptr<CSetupSettingsStore> m_store;
    std::unique_ptr<COrvellaNSTSetupDlg> m_dialog;
};

constexpr char kUnset[] = "<unset>";

std::string Stored(const char* path) {
    return ReadRegString(path, kUnset);
}

TEST_F(SetupDialogTest, ControlsCarryTheirIdentifiersAndClasses) {
    Open();
    const std::pair<const char*, const char*> controls[] = {
        {"1", "QPushButton"},       {"2", "QPushButton"},    {"1000", "QCheckBox"},
        {"1001", "QTimeEdit"},      {"1002", "QTimeEdit"},   {"1003", "QCheckBox"},
        {"1004", "QProgressBar"},   {"1005", "QLineEdit"},   {"1006", "QLineEdit"},
        {"1008", "QPlainTextEdit"}, {"1009", "QPushButton"}, {"1010", "QPushButton"},
        {"1011", "QLineEdit"},      {"1014", "QCheckBox"},   {"1015", "QCheckBox"},
        {"1016", "QCheckBox"},      {"1017", "QCheckBox"},   {"1019", "QPushButton"},
        {"1020", "QLabel"},         {"1021", "QCheckBox"},
    };
    for (const auto& [id, className] : controls) {
        SCOPED_TRACE(id);
        QWidget* widget = m_dialog->findChild<QWidget*>(id);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), className);
    }
    EXPECT_EQ(m_dialog->windowTitle().toStdString(), "OrvellaNSTSetup");
    EXPECT_TRUE(Find<QPushButton>("1")->isDefault());
    EXPECT_EQ(Find<QTimeEdit>("1001")->displayFormat().toStdString(), "HH:mm:ss");
    EXPECT_TRUE(Find<QPlainTextEdit>("1008")->isReadOnly());
    // The groups, top to bottom.
    std::vector<std::pair<int, std::string>> groups;
    for (QGroupBox* group : m_dialog->findChildren<QGroupBox*>()) {
        groups.emplace_back(group->mapTo(m_dialog.get(), QPoint(0, 0)).y(),
                            group->title().toStdString());
    }
    std::sort(groups.begin(), groups.end());
    std::vector<std::string> titles;
    for (const auto& group : groups)
        titles.push_back(group.second);
    EXPECT_EQ(titles, (std::vector<std::string>{test::kChartingGroup, test::kLstGroup,
                                                test::kTypesGroup, test::kOptionsGroup}));
}

// The same controls in the same order and groups as the Windows dialog.
TEST_F(SetupDialogTest, ControlsFollowTheSharedOrderAndGroups) {
    Open();
    std::vector<std::string> rows;
    for (QWidget* widget = m_dialog->nextInFocusChain(); widget != m_dialog.get();
         widget = widget->nextInFocusChain()) {
        bool numbered = false;
        const int id = widget->objectName().toInt(&numbered);
        if (!numbered)
            continue;
        auto* button = qobject_cast<QAbstractButton*>(widget);
        std::string group;
        for (QWidget* parent = widget->parentWidget(); parent != nullptr && group.empty();
             parent = parent->parentWidget()) {
            if (auto* box = qobject_cast<QGroupBox*>(parent))
                group = box->title().toStdString();
        }
        rows.push_back(
            test::ControlRow(id, button ? button->text().toStdString() : std::string(), group));
    }
    EXPECT_EQ(rows, test::ExpectedControlRows());
}

TEST_F(SetupDialogTest, FirstStartShowsDefaultsAndRefusesAnEmptyDirectory) {
    Open();
    EXPECT_EQ(Find<QLineEdit>("1005")->text().toStdString(), kDefaultWebsiteA);
    EXPECT_EQ(Find<QLineEdit>("1006")->text().toStdString(), "80");
    EXPECT_EQ(Find<QLineEdit>("1011")->text().toStdString(), "");
    for (const char* id : {"1000", "1003", "1014", "1015", "1016", "1017"}) {
        EXPECT_FALSE(Find<QCheckBox>(id)->isChecked()) << id;
    }
    // Reconnect is on unless a stored 0 turns it off.
    EXPECT_TRUE(Find<QCheckBox>("1021")->isChecked());
    EXPECT_EQ(Find<QTimeEdit>("1001")->time(), QTime(0, 0, 0));
    EXPECT_EQ(Find<QTimeEdit>("1002")->time(), QTime(23, 59, 59));

    CModalAnswerer answerer;
    Click("1");
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].caption, "OrvellaNSTSetup");
    EXPECT_EQ(answerer.boxes[0].text, kEmptyDirectoryText);
    EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(m_dialog->isVisible());
    // A refused save stores nothing.
    EXPECT_EQ(ReadRegDword(kPortPathA, -1), -1);
    EXPECT_EQ(Stored(kBeginFilterTimePathA), kUnset);
    EXPECT_EQ(Stored(kNovaScopeRootPathA), kUnset);
    EXPECT_EQ(ReadRegDword(kLoggingPathA, -1), -1);
}

TEST_F(SetupDialogTest, SaveQuitStoresEverySettingAndTheDialogShowsThemAgain) {
    Open();
    CModalAnswerer answerer;
    for (const char* id : {"1003", "1014", "1016", "1017"})
        Tick(id);
    Find<QTimeEdit>("1001")->setTime(QTime(9, 30, 0));
    Find<QTimeEdit>("1002")->setTime(QTime(16, 15, 5));
    Type("1005", "files.example/lists/symbols.txt");
    Type("1006", "8080");
    Type("1011", QString::fromStdString("  " + m_nst + " \t"));
    Click("1");
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);

    EXPECT_EQ(ReadRegDword(kStreamingPathA, -1), 1);
    EXPECT_EQ(ReadRegDword(kExtendedTradePathA, -1), 0);
    EXPECT_EQ(ReadRegDword(kContinuousPathA, -1), 1);
    EXPECT_EQ(ReadRegDword(kMeridexSpotPathA, -1), 0);
    EXPECT_EQ(ReadRegDword(kMeridexSpotCompositePathA, -1), 1);
    EXPECT_EQ(ReadRegDword(kLoggingPathA, -1), 1);
    EXPECT_EQ(ReadRegDword(kReconnectPathA, -1), 1);
    EXPECT_EQ(ReadRegDword(kPortPathA, -1), 8080);
    EXPECT_EQ(Stored(kBeginFilterTimePathA), "093000");
    EXPECT_EQ(Stored(kEndFilterTimePathA), "161505");
    EXPECT_EQ(Stored(kWebsitePathA), "files.example/lists/symbols.txt");
    EXPECT_EQ(Stored(kNovaScopeRootPathA), m_nst);

    Open();
    EXPECT_TRUE(Find<QCheckBox>("1003")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("1000")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("1017")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("1021")->isChecked());
    EXPECT_EQ(Find<QTimeEdit>("1001")->time(), QTime(9, 30, 0));
    EXPECT_EQ(Find<QLineEdit>("1006")->text().toStdString(), "8080");
    EXPECT_EQ(Find<QLineEdit>("1011")->text().toStdString(), m_nst);
}

// Every check comes before the first write: a refused Save/Quit shows one
// box, keeps the dialog open and leaves every stored setting as it was.
TEST_F(SetupDialogTest, ARefusedSaveQuitStoresNothing) {
    const std::string missing = m_nst + "/gone";
    const std::string times = "The begin time must be less then the end time!";
    struct Case {
        const char* name;
        QTime begin;
        std::string directory;
        std::string caption;
        std::string text;
    } cases[] = {
        {"begin after end", QTime(11, 0, 0), m_nst, "INVALID TIMES ERROR", times},
        {"begin equal to end", QTime(10, 0, 0), m_nst, "INVALID TIMES ERROR", times},
        {"times and folder wrong", QTime(11, 0, 0), "", "INVALID TIMES ERROR", times},
        {"empty folder", QTime(9, 0, 0), " ", "OrvellaNSTSetup", kEmptyDirectoryText},
        {"missing folder", QTime(9, 0, 0), missing, "OrvellaNSTSetup",
         MissingDirectoryText(missing)},
        {"relative folder", QTime(9, 0, 0), "nst", "OrvellaNSTSetup", kRelativeDirectoryText},
    };
    WriteRegString(kNovaScopeRootPathA, m_nst);
    WriteRegString(kBeginFilterTimePathA, "080000");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        CModalAnswerer answerer;
        for (const char* id : {"1000", "1003", "1014", "1017"})
            Tick(id);
        Find<QTimeEdit>("1001")->setTime(c.begin);
        Find<QTimeEdit>("1002")->setTime(QTime(10, 0, 0));
        Type("1005", "changed.example/list.txt");
        Type("1011", QString::fromStdString(c.directory));
        Click("1");
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, c.caption);
        EXPECT_EQ(answerer.boxes[0].text, c.text);
        EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Critical);
        EXPECT_TRUE(m_dialog->isVisible());
        EXPECT_EQ(Stored(kBeginFilterTimePathA), "080000");
        EXPECT_EQ(Stored(kEndFilterTimePathA), kUnset);
        EXPECT_EQ(Stored(kNovaScopeRootPathA), m_nst);
        EXPECT_EQ(Stored(kWebsitePathA), kUnset);
        for (const char* path :
             {kExtendedTradePathA, kStreamingPathA, kContinuousPathA, kLoggingPathA, kPortPathA}) {
            EXPECT_EQ(ReadRegDword(path, -1), -1) << path;
        }
    }
}

TEST_F(SetupDialogTest, QuitStoresNothing) {
    Open();
    Tick("1003");
    Type("1011", QString::fromStdString(m_nst));
    Click("2");
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
    EXPECT_EQ(ReadRegDword(kStreamingPathA, -1), -1);
    EXPECT_EQ(Stored(kNovaScopeRootPathA), kUnset);
}

TEST_F(SetupDialogTest, APortThatIsNoIntegerKeepsTheLastAcceptedValues) {
    WriteRegString(kNovaScopeRootPathA, m_nst);
    WriteRegDword(8080, kPortPathA);
    Open();
    CModalAnswerer answerer;
    Type("1006", "80x");
    Type("1011", "/nowhere/at/all");
    Click("1");
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, "Please enter an integer.");
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(ReadRegDword(kPortPathA, -1), 8080);
    EXPECT_EQ(Stored(kNovaScopeRootPathA), m_nst);
}

TEST_F(SetupDialogTest, GenerateLstFilesReportsInTheStatusWindow) {
    WriteRegString(kNovaScopeRootPathA, m_nst);
    WriteRegString(kWebsitePathA, "h.example/mktlist_v2.txt");
    test::WriteFile(m_nst + "/mktlist_v2.txt",
                    "head\r\nABC\tAbc Corp\tNYSE\tNYSE\tEQUITY\t0\t\t0\r\n");
    Open();
    Find<QPlainTextEdit>("1008")->setPlainText("text of an earlier job\n");
    Click("1010");
    EXPECT_EQ(StatusText(),
              "Beginning to process the symbol file!\n"
              "We have read in 42 bytes in from the symbol file.\n"
              "We finished building the Novascope LST files!\n");
    EXPECT_EQ(test::ReadFile(m_nst + "/Servers/OrvellaForNST/NYSE_STOCK.LST"),
              "ABC,\"Abc Corp\"\r\n");
    EXPECT_TRUE(Find<QPushButton>("1010")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Find<QProgressBar>("1004")->value(), 0);
}

TEST_F(SetupDialogTest, DownloadKeepsButtonsOffAndTheCursorBusyUntilItEnds) {
    test::CHttpTestServer server;
    std::string body(600000, 'x');
    for (size_t end = 99; end < body.size(); end += 100)
        body[end] = '\n';
    server.Route("/mktlist_v2.txt", {200, "OK", {}, body});
    WriteRegString(kNovaScopeRootPathA, m_nst);
    WriteRegString(kWebsitePathA, "127.0.0.1/mktlist_v2.txt");
    WriteRegDword(server.Port(), kPortPathA);
    Open();

    // Looks at the dialog whenever the download lets events run.
    std::vector<bool> buttonsOn;
    std::vector<bool> busy;
    std::vector<bool> cancelOn;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (const char* id : {"1", "2", "1009", "1010"}) {
            buttonsOn.push_back(Find<QPushButton>(id)->isEnabled());
        }
        busy.push_back(QApplication::overrideCursor() != nullptr &&
                       QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        cancelOn.push_back(Find<QPushButton>(COrvellaNSTSetupDlg::kCancelButtonName)->isVisible());
    });
    EXPECT_FALSE(Find<QPushButton>(COrvellaNSTSetupDlg::kCancelButtonName)->isVisible());
    probe.start(0);
    Click("1009");
    probe.stop();

    EXPECT_EQ(test::ReadFile(m_nst + "/mktlist_v2.txt"), body);
    ASSERT_FALSE(busy.empty());
    EXPECT_EQ(std::count(busy.begin(), busy.end(), false), 0);
    EXPECT_EQ(std::count(buttonsOn.begin(), buttonsOn.end(), true), 0);
    EXPECT_EQ(std::count(cancelOn.begin(), cancelOn.end(), false), 0);
    EXPECT_NE(StatusText().find("Total Bytes received 600000\n"), std::string::npos);
    EXPECT_NE(StatusText().find("Status Code 200 was returned.\n"), std::string::npos);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Find<QPushButton>(COrvellaNSTSetupDlg::kCancelButtonName)->isVisible());
    EXPECT_TRUE(m_dialog->isVisible());
    auto* result = Find<QLabel>(COrvellaNSTSetupDlg::kProgressTextName);
    EXPECT_EQ(result->text().toStdString(), "Download of symbol file is complete....");

    // A failure says why in the status window's last line and beside the bar.
    Type("1005", "127.0.0.1/missing.txt");
    Click("1009");
    const std::string failed =
        "Download of symbol file failed: the server answered with status "
        "404; the symbol file was left as it was.";
    EXPECT_EQ(result->text().toStdString(), failed);
    EXPECT_EQ(StatusText().substr(StatusText().size() - failed.size() - 1), failed + "\n");
    EXPECT_EQ(test::ReadFile(m_nst + "/mktlist_v2.txt"), body);
}

TEST_F(SetupDialogTest, CancelOrCloseStopsTheJobAndTheBarShowsHowFar) {
    test::CHttpTestServer server;
    test::CHttpTestServer::Response slow{200, "OK", {}, std::string(600000, 'x')};
    slow.stepBytes = 100000;
    slow.stepDelayMs = 50;
    server.Route("/mktlist_v2.txt", slow);
    WriteRegString(kNovaScopeRootPathA, m_nst);
    WriteRegString(kWebsitePathA, "127.0.0.1/mktlist_v2.txt");
    WriteRegDword(server.Port(), kPortPathA);
    std::string symbols = "head\r\n";
    for (int i = 0; symbols.size() < 400000; ++i) {
        symbols += "S" + std::to_string(i) + "\tCorp\tNYSE\tNYSE\tEQUITY\t0\t\t0\r\n";
    }
    const std::string symbolFile = m_nst + "/mktlist_v2.txt";
    const std::string lstFile = m_nst + "/Servers/OrvellaForNST/NYSE_STOCK.LST";
    struct Case {
        const char* name;
        const char* job;  // the button that starts it
        bool close;       // close the window instead of clicking Cancel
        const char* line;
    };
    const Case cases[] = {
        {"Cancel a download", "1009", false, "The download was cancelled after "},
        {"close during a download", "1009", true, "The download was cancelled after "},
        {"Cancel a build", "1010", false, "The build was cancelled; the 1 LST files"},
        {"close during a build", "1010", true, "The build was cancelled; the 1 LST files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(symbolFile, symbols);
        Open();
        auto* bar = Find<QProgressBar>("1004");
        auto* cancel = Find<QPushButton>(COrvellaNSTSetupDlg::kCancelButtonName);
        std::vector<int> shares;
        QString progressText;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!cancel->isVisible() || bar->maximum() != 1000 || bar->value() == 0)
                return;
            shares.push_back(bar->value());
            progressText = Find<QLabel>(COrvellaNSTSetupDlg::kProgressTextName)->text();
            if (c.close) {
                m_dialog->close();
            } else {
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        probe.start(0);
        Click(c.job);
        probe.stop();

        ASSERT_FALSE(shares.empty());
        EXPECT_GT(shares.front(), 0);
        EXPECT_LT(shares.front(), 1000);
        EXPECT_TRUE(progressText.contains("% ")) << progressText.toStdString();
        EXPECT_NE(StatusText().find(c.line), std::string::npos) << StatusText();
        EXPECT_EQ(test::ReadFile(symbolFile), symbols);
        EXPECT_FALSE(std::filesystem::exists(symbolFile + ".part"));
        EXPECT_FALSE(std::filesystem::exists(lstFile));
        EXPECT_EQ(m_dialog->isVisible(), !c.close);
        EXPECT_FALSE(cancel->isVisible());
        EXPECT_TRUE(Find<QPushButton>("1009")->isEnabled());
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(SetupDialogTest, AboutShowsTheProgramVersion) {
    Open();
    CModalAnswerer answerer;
    Click(COrvellaNSTSetupDlg::kAboutButtonName);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].caption, "About OrvellaNSTSetup");
    EXPECT_EQ(answerer.boxes[0].text, "OrvellaNSTSetup Version " ORVELLA_VERSION);
}

// "Check the feed client" against the stand-in: the report in the status
// window ends with the summary, and its picture is the guide's.
TEST_F(SetupDialogTest, CheckButtonReportsInTheStatusWindow) {
    testing::CFeedSimOptions options;
    options.adminPort = kCheckAdminPort;
    options.portWaitSeconds = 10;
    testing::CFeedSim sim;
    ASSERT_TRUE(sim.Start(m_root.string(), options));
    WriteRegString(std::string(kStartupKeyA) + "\\LookupPort", std::to_string(sim.lookup));
    WriteRegString(std::string(kStartupKeyA) + "\\Level1Port", std::to_string(sim.level1));
    WriteRegString(kNovaScopeRootPathA, m_nst);
    PutHostProgram(m_nst);
    test::WriteFile(m_nst + "/mktlist_v2.txt", "Symbol\tDescription\r\nABC\tAbc Corp\tNYSE\r\n");
    Open();
    Click(COrvellaNSTSetupDlg::kCheckButtonName);
    const std::string status = StatusText();
    EXPECT_EQ(status.rfind("Checking the feed client set-up:", 0), 0u) << status;
    EXPECT_NE(status.find("ok      history request HDX,ABC,,1: answered with "), std::string::npos)
        << status;
    EXPECT_NE(status.find("\nAll 8 checks passed."), std::string::npos) << status;
    EXPECT_TRUE(Find<QPushButton>(COrvellaNSTSetupDlg::kCheckButtonName)->isEnabled());
    const std::string path = std::string(ORVELLA_SCREENSHOT_DIR) + "/OrvellaNSTSetup-check.png";
    ASSERT_TRUE(m_dialog->grab().save(QString::fromStdString(path)));
}

TEST_F(SetupDialogTest, RendersAScreenshot) {
    WriteRegString(kNovaScopeRootPathA, m_nst);
    Open();
    test::ShowAsDuringAJob(*m_dialog);
    QApplication::processEvents();
    const std::string path = std::string(ORVELLA_SCREENSHOT_DIR) + "/OrvellaNSTSetup-dialog.png";
    ASSERT_TRUE(m_dialog->grab().save(QString::fromStdString(path)));
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
    EXPECT_GE(m_dialog->width(), 453);
    EXPECT_GE(m_dialog->height(), 616);
}

}  // namespace
}  // namespace orvella

#if defined(__SANITIZE_ADDRESS__)
// The offscreen platform plug-in never frees its screen; full stacks let the
// suppression name where that happens and nothing else.
extern "C" [[gnu::visibility("default"), gnu::used]] const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
extern "C" [[gnu::visibility("default"), gnu::used]] const char* __lsan_default_suppressions() {
    return "leak:createPlatformIntegration\n";
}
#endif

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "setup/qt/setup_app.h"

#include <QMessageBox>

#include "setup/internet_session.h"
#include "setup/qt/about_dlg.h"
#include "setup/qt/setup_dlg.h"

namespace orvella {

COrvellaNSTSetupApp::COrvellaNSTSetupApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("OrvellaNSTSetup");
    setWindowIcon(ApplicationIcon());
}

int COrvellaNSTSetupApp::Run() {
    if (!CCorvanInternetSession::InitializeLibrary()) {
        QMessageBox::critical(nullptr, "OrvellaNSTSetup", "Windows sockets initialization failed.");
        return 1;
    }
    const auto store = MakeRegistrySettingsStore();
    COrvellaNSTSetupDlg dialog(store.get());
    dialog.exec();
    return 0;
}

}  // namespace orvella

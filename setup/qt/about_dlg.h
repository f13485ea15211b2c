// The About box: the application icon, the program's name and version, OK.
#pragma once

#include <QDialog>
#include <string>

class QIcon;

namespace orvella {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    // versionText as GetFileVersionText returns it.
    explicit CAboutDlg(const std::string& versionText, QWidget* parent = nullptr);
};

// The application icon, drawn once.
const QIcon& ApplicationIcon();

}  // namespace orvella

// The setup program's application object: starts the internet layer, runs
// the dialog modally and ends the program when it closes.
#pragma once

#include <QApplication>

namespace orvella {

class COrvellaNSTSetupApp : public QApplication {
    Q_OBJECT

  public:
    COrvellaNSTSetupApp(int& argc, char** argv);

    // Runs the program; returns its exit code.
    int Run();
};

}  // namespace orvella

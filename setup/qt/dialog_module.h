// The setup dialog as a module of its own: the program loads it only to show
// the dialog, so that the headless jobs start without the widget toolkit's
// libraries mapped.
#pragma once

namespace orvella {

// The module's one export: runs the dialog as the program would and returns
// the program's exit code. argv lives as long as the call.
inline constexpr char kSetupDialogEntry[] = "OrvellaNSTSetupDialogMain";
using SetupDialogMain = int (*)(int argc, char** argv);

}  // namespace orvella

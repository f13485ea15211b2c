// What both dialogs do around a job: a close that the user asks for while a
// job runs cancels the job and happens once it has ended.
#pragma once

#include <utility>

#include "setup/setup_controller.h"

namespace orvella {

class CDialogJobs {
  public:
    // Runs job. True when a close was asked for meanwhile: the dialog closes
    // now.
    template <typename Job>
    bool Run(Job job) {
        m_busy = true;
        job();
        m_busy = false;
        return std::exchange(m_closeRequested, false);
    }

    // A close asked for: true when the dialog may close at once; false while
    // a job runs, which is then cancelled, and the close waits for its end.
    bool MayClose(CSetupController& controller) {
        if (!m_busy)
            return true;
        m_closeRequested = true;
        controller.RequestCancel();
        return false;
    }

  private:
    bool m_busy = false;
    bool m_closeRequested = false;
};

}  // namespace orvella

// The plug-in's application object: its start-up runs when the host loads
// the library, its exit when the host unloads it.
#pragma once

#include <cstdint>

namespace orvella {

class COrvellaForNSTApp {
  public:
    constexpr COrvellaForNSTApp() = default;
    virtual ~COrvellaForNSTApp() = default;

    // The first start-up opens the log and tells the host that credentials
    // are needed; every start-up initialises the socket layer. False when the
    // socket layer cannot start (logged and shown); the load then fails.
    virtual bool InitInstance();

    // The last exit deletes the timer queue, logs "Closing Logfile" and
    // closes the log. Returns 0.
    virtual int ExitInstance();

    int32_t initCount() const { return m_initCount; }

  private:
    int32_t m_initCount = 0;
};

}  // namespace orvella

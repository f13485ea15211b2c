#include <windows.h>

#include <initializer_list>

#include "testing/setup/test_os.h"

namespace orvella::test {

void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        SetEnvironmentVariableA(name, nullptr);
}

int CurrentProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

// The C runtime's limit is not the system's; the cases that need one are
// the POSIX build's.
COpenFileLimit::COpenFileLimit(int) {}

COpenFileLimit::~COpenFileLimit() = default;

CFileSizeLimit::CFileSizeLimit(uint64_t) {}

CFileSizeLimit::~CFileSizeLimit() = default;

}  // namespace orvella::test

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iterator>

#include "testing/setup/test_os.h"

namespace orvella::test {

void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

COpenFileLimit::COpenFileLimit(int freeFiles) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    m_saved = limit.rlim_cur;
    limit.rlim_cur = std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                   std::filesystem::directory_iterator()) +
                     freeFiles;
    m_supported = ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

COpenFileLimit::~COpenFileLimit() {
    if (!m_supported)
        return;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = m_saved;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

CFileSizeLimit::CFileSizeLimit(uint64_t bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_saved = limit.rlim_cur;
    m_savedHandler = ::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    m_supported = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    if (!m_supported)
        ::signal(SIGXFSZ, m_savedHandler);
}

CFileSizeLimit::~CFileSizeLimit() {
    if (!m_supported)
        return;
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_saved;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, m_savedHandler);
}

}  // namespace orvella::test

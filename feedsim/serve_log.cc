#include "feedsim/serve_log.h"

#include <sys/time.h>
#include <time.h>

#include <cstdarg>

namespace feedsim {

bool CServeLog::Open(const std::string& path) {
    if (path == "none") {
        return true;
    }
    if (path.empty() || path == "-") {
        m_file = stderr;
        return true;
    }
    m_file = std::fopen(path.c_str(), "ae");
    m_owned = m_file != nullptr;
    return m_owned;
}

CServeLog::~CServeLog() {
    if (m_owned) {
        std::fclose(m_file);
    }
}

void CServeLog::Write(const char* format, ...) {
    if (m_file == nullptr) {
        return;
    }
    timeval tv;
    gettimeofday(&tv, nullptr);
    tm local;
    localtime_r(&tv.tv_sec, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(m_file, "%s.%03d orvella-feed-sim: ", stamp, static_cast<int>(tv.tv_usec / 1000));
    va_list args;
    va_start(args, format);
    std::vfprintf(m_file, format, args);
    va_end(args);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

}  // namespace feedsim

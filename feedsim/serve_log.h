// The simulator's log of what it served: one line per event, prefixed with
// the local time, flushed at once.
#pragma once

#include <cstdio>
#include <string>

namespace feedsim {

class CServeLog {
  public:
    // path "" or "-": standard error; "none": nothing is written.
    // False when the file cannot be opened (the log then writes nothing).
    bool Open(const std::string& path);
    ~CServeLog();

    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    FILE* m_file = nullptr;
    bool m_owned = false;
};

}  // namespace feedsim

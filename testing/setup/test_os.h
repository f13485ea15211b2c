// The few system services the setup tests use directly, one file per system
// (chosen by CMake); the sockets are the loopback helpers' (test_os.cc).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvella::test {

using TestSocket = intptr_t;
constexpr TestSocket kNoSocket = -1;

// A listening TCP socket on 127.0.0.1 (port 0: an ephemeral one, stored in
// *port).
TestSocket ListenOnLoopback(int* port);
// True when the socket has data or a connection waiting within timeoutMs.
bool WaitReadable(TestSocket socket, int timeoutMs);
TestSocket AcceptConnection(TestSocket listener);
// Bytes received, 0 at the end, negative on error.
long ReceiveSome(TestSocket socket, char* buffer, size_t size);
bool SendAll(TestSocket socket, const char* data, size_t size);
// Shuts both directions down and closes.
void CloseSocket(TestSocket socket);

// Removes the proxy settings of the environment, so requests go straight to
// the test server.
void ClearProxyEnvironment();
int CurrentProcessId();

// Lowers this process's limit of open files to those open now plus
// freeFiles until the object goes. Supported() is false where the system
// has no such limit; the limit then stays as it was.
class COpenFileLimit {
  public:
    explicit COpenFileLimit(int freeFiles);
    ~COpenFileLimit();
    COpenFileLimit(const COpenFileLimit&) = delete;
    COpenFileLimit& operator=(const COpenFileLimit&) = delete;
    bool Supported() const { return m_supported; }

  private:
    bool m_supported = false;
    uint64_t m_saved = 0;
};

// Lowers this process's limit of a file's size to bytes until the object
// goes: a write beyond it fails (EFBIG) rather than ending the process.
// Supported() is false where the system has no such limit.
class CFileSizeLimit {
  public:
    explicit CFileSizeLimit(uint64_t bytes);
    ~CFileSizeLimit();
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;
    bool Supported() const { return m_supported; }

  private:
    bool m_supported = false;
    uint64_t m_saved = 0;
    void (*m_savedHandler)(int) = nullptr;
};

}  // namespace orvella::test

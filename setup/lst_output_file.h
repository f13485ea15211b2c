// One LST file being written: created new (an existing file is emptied),
// filled through its own write buffer, flushed and closed at the end. A file
// may be closed before the build ends and opened again for appending, so that
// a build with many files keeps only some of them open.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace orvella {

class CLstOutputFile {
  public:
    // Bytes gathered before they go to the file.
    static constexpr size_t kBufferSize = 32768;

    CLstOutputFile() = default;
    ~CLstOutputFile();
    CLstOutputFile(const CLstOutputFile&) = delete;
    CLstOutputFile& operator=(const CLstOutputFile&) = delete;

    // Creates the file for reading and writing in binary. False when it
    // cannot be created; Error() then holds the cause.
    bool Create(const std::string& path);

    // Writes symbol + ",\"" + description + "\"\r\n" (no escaping). False when
    // a write to the file failed; Error() then holds the cause.
    bool WriteLine(std::string_view symbol, std::string_view description);

    // Flushes and closes the file, releasing its buffer. False when the last
    // bytes could not be written; the file is closed either way.
    bool Close();
    // Opens a closed file again, appending (true when it is open). False when
    // it cannot be opened; Error() then holds the cause.
    bool Reopen();
    bool IsOpen() const { return m_file != nullptr; }

    const std::string& Path() const { return m_path; }
    // The cause of the last failure (an error number, 0 when none).
    int Error() const { return m_error; }

  private:
    bool Open(const char* mode);
    bool Flush();
    bool WriteDirect(std::string_view text);
    void Put(std::string_view text);

    std::string m_path;
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;
    size_t m_used = 0;
    int m_error = 0;
};

// Describes an error number in at most 200 characters.
std::string FileErrorText(int error);

}  // namespace orvella

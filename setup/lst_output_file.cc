#include "setup/lst_output_file.h"

#include <cerrno>
#include <cstring>

namespace orvella {

CLstOutputFile::~CLstOutputFile() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

bool CLstOutputFile::Create(const std::string& path) {
    m_path = path;
    return Open("w+b");
}

bool CLstOutputFile::Reopen() {
    return m_file != nullptr || Open("a+b");
}

bool CLstOutputFile::Open(const char* mode) {
    errno = 0;
    m_file = std::fopen(m_path.c_str(), mode);
    if (m_file == nullptr) {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }
    // The file's own buffer would only copy our blocks once more.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    // Not zeroed: a small file touches only the pages it fills, and a build
    // has hundreds of them.
    m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    m_used = 0;
    m_error = 0;
    return true;
}

void CLstOutputFile::Put(std::string_view text) {
    // An empty column may be a view without any data behind it.
    if (text.empty())
        return;
    std::memcpy(m_buffer.get() + m_used, text.data(), text.size());
    m_used += text.size();
}

bool CLstOutputFile::WriteLine(std::string_view symbol, std::string_view description) {
    const size_t size = symbol.size() + description.size() + 5;
    if (m_used + size > kBufferSize) {
        if (!Flush())
            return false;
    }
    if (size > kBufferSize) {
        return WriteDirect(symbol) && WriteDirect(",\"") && WriteDirect(description) &&
               WriteDirect("\"\r\n");
    }
    Put(symbol);
    Put(",\"");
    Put(description);
    Put("\"\r\n");
    return true;
}

bool CLstOutputFile::WriteDirect(std::string_view text) {
    if (text.empty())
        return true;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool CLstOutputFile::Flush() {
    if (m_used == 0)
        return true;
    errno = 0;
    const size_t written = std::fwrite(m_buffer.get(), 1, m_used, m_file);
    if (written != m_used) {
        m_error = errno != 0 ? errno : EIO;
        m_used = 0;
        return false;
    }
    m_used = 0;
    return true;
}

bool CLstOutputFile::Close() {
    if (m_file == nullptr)
        return m_error == 0;
    bool ok = Flush();
    errno = 0;
    if (std::fclose(m_file) != 0 && ok) {
        m_error = errno != 0 ? errno : EIO;
        ok = false;
    }
    m_file = nullptr;
    m_buffer.reset();
    return ok;
}

std::string FileErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > 200)
        text.resize(200);
    return text;
}

}  // namespace orvella

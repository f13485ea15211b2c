// A file's version information: the fixed file-information block and the
// twelve standard strings of its version resource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvella {

class CFileVersionInfo {
  public:
    // The twelve standard string keys, in field order.
    static constexpr int kStringCount = 12;
    static const wchar_t* const kStringKeys[kStringCount];
    static constexpr size_t kFixedInfoSize = 52;

    CFileVersionInfo();
    virtual ~CFileVersionInfo() = default;

    // Empties every field: the fixed block to zero bytes, the texts to empty.
    virtual void Reset();

    // Reads the version information of the file at path. True when it was
    // read; false (fields empty) for a file without version information or
    // one that cannot be read.
    bool Load(const std::wstring& path);

    const std::wstring& FileVersion() const { return m_strings[2]; }
    // The text of kStringKeys[index].
    const std::wstring& String(int index) const { return m_strings[index]; }
    const uint8_t* FixedInfo() const { return m_fixedInfo; }

  private:
    uint8_t m_fixedInfo[kFixedInfoSize];
    std::wstring m_strings[kStringCount];
};

// Picks the translation entry (language in the low 16 bits, code page in the
// high 16 bits) whose strings are read: the user's language exactly, then its
// primary language (low 8 bits), then neutral (0), then English (9), each
// exactly before by primary language; failing all, the first entry. count
// must be at least 1.
uint32_t ChooseTranslation(const uint32_t* entries, size_t count, uint16_t userLanguage);

}  // namespace orvella

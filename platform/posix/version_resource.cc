// Version information of a file: the version block in the ".orvella_version"
// section of an ELF64 little-endian file, found through the section headers.
#include "platform/version_resource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/version_block.h"

namespace platform {

namespace {

constexpr uint16_t kSectionIndexEscape = 0xFFFF;  // SHN_XINDEX
constexpr uint32_t kSectionNoBits = 8;            // SHT_NOBITS
constexpr size_t kElfHeaderSize = 64;
constexpr size_t kSectionHeaderSize = 64;
constexpr uint64_t kMaxBlockSize = 1 << 20;
constexpr size_t kFixedInfoOffset = offsetof(VersionBlockHeader, fixedInfo);
constexpr size_t kTranslationOffset = offsetof(VersionBlockHeader, translation);

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | (uint32_t{Le16(p + 2)} << 16);
}
uint64_t Le64(const uint8_t* p) {
    return Le32(p) | (uint64_t{Le32(p + 4)} << 32);
}

class File {
  public:
    explicit File(const std::wstring& path)
        : m_fd(open(platform::NarrowText(path).c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (m_fd >= 0)
            close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool ReadAt(uint64_t offset, void* out, size_t size) const {
        auto* p = static_cast<uint8_t*>(out);
        while (size) {
            const ssize_t n = pread(m_fd, p, size, static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            p += n;
            offset += static_cast<uint64_t>(n);
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    bool ok() const { return m_fd >= 0; }

  private:
    int m_fd;
};

struct Section {
    uint32_t nameOffset;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
};

bool ReadSection(const File& file, uint64_t tableOffset, uint64_t index, Section* out) {
    uint8_t h[kSectionHeaderSize];
    if (!file.ReadAt(tableOffset + index * kSectionHeaderSize, h, sizeof h))
        return false;
    *out = {Le32(h), Le32(h + 4), Le64(h + 24), Le64(h + 32), Le32(h + 40)};
    return true;
}

// Finds the version block and checks its header; on success *offset and
// *size give the block (header and strings) within the file.
bool LocateBlock(const File& file, uint64_t* offset, uint32_t* size) {
    uint8_t ehdr[kElfHeaderSize];
    if (!file.ok() || !file.ReadAt(0, ehdr, sizeof ehdr))
        return false;
    if (std::memcmp(ehdr,
                    "\x7f"
                    "ELF",
                    4) != 0 ||
        ehdr[4] != 2 /* 64-bit */ || ehdr[5] != 1 /* little-endian */) {
        return false;
    }
    const uint64_t tableOffset = Le64(ehdr + 40);
    if (tableOffset == 0 || Le16(ehdr + 58) != kSectionHeaderSize)
        return false;
    uint64_t count = Le16(ehdr + 60);
    uint64_t namesIndex = Le16(ehdr + 62);
    // Large section counts are kept in the first section header.
    Section first;
    if (!ReadSection(file, tableOffset, 0, &first))
        return false;
    if (count == 0)
        count = first.size;
    if (namesIndex == kSectionIndexEscape)
        namesIndex = first.link;
    Section names;
    if (namesIndex >= count || !ReadSection(file, tableOffset, namesIndex, &names))
        return false;

    constexpr std::string_view kWanted(kVersionSectionName, sizeof kVersionSectionName);
    for (uint64_t i = 1; i < count; ++i) {
        Section s;
        if (!ReadSection(file, tableOffset, i, &s))
            return false;
        if (s.nameOffset > names.size || names.size - s.nameOffset < kWanted.size())
            continue;
        char name[sizeof kVersionSectionName];
        if (!file.ReadAt(names.offset + s.nameOffset, name, sizeof name) ||
            std::string_view(name, sizeof name) != kWanted) {
            continue;
        }
        if (s.type == kSectionNoBits || s.size < sizeof(VersionBlockHeader) ||
            s.size > kMaxBlockSize) {
            return false;
        }
        VersionBlockHeader header;
        if (!file.ReadAt(s.offset, &header, sizeof header) ||
            std::memcmp(header.magic, kVersionBlockMagic, sizeof header.magic) != 0 ||
            header.stringsSize > s.size - sizeof header) {
            return false;
        }
        *offset = s.offset;
        *size = static_cast<uint32_t>(sizeof header + header.stringsSize);
        return true;
    }
    return false;
}

// Splits "\A\B\C" into its parts; a leading backslash is optional.
size_t SplitSubBlock(const std::string& text, std::string_view parts[], size_t room) {
    std::string_view rest(text);
    if (!rest.empty() && rest.front() == '\\')
        rest.remove_prefix(1);
    size_t count = 0;
    while (!rest.empty()) {
        const size_t end = rest.find('\\');
        if (count == room)
            return room + 1;
        parts[count++] = rest.substr(0, end);
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return count;
}

}  // namespace

uint32_t GetFileVersionInfoSize(const std::wstring& path) {
    File file(path);
    uint64_t offset = 0;
    uint32_t size = 0;
    return LocateBlock(file, &offset, &size) ? size : 0;
}

bool GetFileVersionInfo(const std::wstring& path, std::vector<uint8_t>* data) {
    File file(path);
    uint64_t offset = 0;
    uint32_t size = 0;
    if (!data || !LocateBlock(file, &offset, &size))
        return false;
    data->resize(size);
    if (!file.ReadAt(offset, data->data(), size)) {
        data->clear();
        return false;
    }
    return true;
}

bool VerQueryValue(const std::vector<uint8_t>& data, const std::wstring& subBlock,
                   const void** value, uint32_t* size) {
    if (!value || !size || data.size() < sizeof(VersionBlockHeader) ||
        std::memcmp(data.data(), kVersionBlockMagic, sizeof kVersionBlockMagic) != 0) {
        return false;
    }
    const std::string query = platform::NarrowText(subBlock);
    std::string_view parts[3];
    const size_t count = SplitSubBlock(query, parts, 3);
    if (count == 0) {
        *value = data.data() + kFixedInfoOffset;
        *size = sizeof(VersionBlockHeader::fixedInfo);
        return true;
    }
    if (count == 2 && EqualsIgnoringCase(parts[0], "VarFileInfo") &&
        EqualsIgnoringCase(parts[1], "Translation")) {
        *value = data.data() + kTranslationOffset;
        *size = sizeof(uint32_t);
        return true;
    }
    if (count != 3 || !EqualsIgnoringCase(parts[0], "StringFileInfo"))
        return false;
    const uint32_t translation = Le32(data.data() + kTranslationOffset);
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", translation & 0xFFFF, translation >> 16);
    if (!EqualsIgnoringCase(parts[1], table))
        return false;
    // "key\0value\0" pairs up to an empty key or the end of the data.
    const char* p = reinterpret_cast<const char*>(data.data()) + sizeof(VersionBlockHeader);
    const char* end = reinterpret_cast<const char*>(data.data()) + data.size();
    while (p < end && *p) {
        const char* keyEnd = static_cast<const char*>(std::memchr(p, 0, end - p));
        if (!keyEnd)
            return false;
        const char* text = keyEnd + 1;
        const char* textEnd =
            text < end ? static_cast<const char*>(std::memchr(text, 0, end - text)) : nullptr;
        if (!textEnd)
            return false;
        if (EqualsIgnoringCase(std::string_view(p, keyEnd - p), parts[2])) {
            *value = text;
            *size = static_cast<uint32_t>(textEnd - text + 1);
            return true;
        }
        p = textEnd + 1;
    }
    return false;
}

uint16_t UserDefaultLanguage() {
    return 0x0409;
}

}  // namespace platform

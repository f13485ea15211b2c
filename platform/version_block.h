// The version block that the build embeds in each of our binaries, the POSIX
// counterpart of a Win32 version resource. It lives in its own ELF section so
// that it can be read from the file without loading it.
#pragma once

#include <cstdint>

namespace platform {

// Name of the ELF section that holds the block.
inline constexpr char kVersionSectionName[] = ".orvella_version";

// First eight bytes of the block.
inline constexpr char kVersionBlockMagic[8] = {'O', 'R', 'V', 'V', 'E', 'R', '0', '1'};

// Layout of the block, little-endian. The header is followed by stringsSize
// bytes of "key\0value\0" pairs (8-bit text); the list ends with an empty key.
struct VersionBlockHeader {
    char magic[8];
    // The 52-byte fixed file-information block, laid out as on Win32:
    // signature 0xFEEF04BD, structure version, file version MS/LS, product
    // version MS/LS, flags mask, flags, OS, type, subtype, date MS/LS.
    uint32_t fixedInfo[13];
    // One translation: language in the low 16 bits, code page in the high 16.
    uint32_t translation;
    uint32_t stringsSize;
};

static_assert(sizeof(VersionBlockHeader) == 8 + 52 + 4 + 4);

}  // namespace platform

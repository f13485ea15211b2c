// The bytes among 16 that equal one of three values, as the bits of a mask,
// for splits of 8-bit text in one pass. Pure logic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

inline constexpr std::size_t kByteBlock = 16;

#if defined(__SSE2__)
// Bit i set when text[i] is a, b or c, for the kByteBlock bytes at text:
// three compares of all 16 bytes at once and one instruction that gathers
// their bits.
inline uint32_t ByteMask(const char* text, char a, char b, char c) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(a)),
                                                   _mm_cmpeq_epi8(bytes, _mm_set1_epi8(b))),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)));
    return static_cast<uint32_t>(_mm_movemask_epi8(hits));
}
#else
template <std::size_t... kIndex>
uint32_t ByteBits(const char* text, char a, char b, char c, std::index_sequence<kIndex...>) {
    return ((static_cast<uint32_t>(text[kIndex] == a || text[kIndex] == b || text[kIndex] == c)
             << kIndex) |
            ...);
}

inline uint32_t ByteMask(const char* text, char a, char b, char c) {
    return ByteBits(text, a, b, c, std::make_index_sequence<kByteBlock>());
}
#endif

// The same for the 64 bytes at text, bit i for text[i].
inline uint64_t ByteMask64(const char* text, char a, char b, char c) {
    return static_cast<uint64_t>(ByteMask(text, a, b, c)) |
           static_cast<uint64_t>(ByteMask(text + 16, a, b, c)) << 16 |
           static_cast<uint64_t>(ByteMask(text + 32, a, b, c)) << 32 |
           static_cast<uint64_t>(ByteMask(text + 48, a, b, c)) << 48;
}

}  // namespace platform

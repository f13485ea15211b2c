// The commas among 16 wide characters as the bits of a mask, for the field
// splits of the feed's lines. Pure logic, shared by the level-one and the
// history readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

inline constexpr std::size_t kCommaBlock = 16;

#if defined(__SSE2__)
// Bit i set when text[i] is a comma, for the kCommaBlock characters at text.
// Every x86-64 processor has these instructions: the block is compared four
// (or, with two-byte characters, eight) characters at a time, the results
// are narrowed to one byte per character, and one instruction gathers their
// bits. About a tenth of the instructions of the comparison one by one.
inline uint32_t CommaMask(const wchar_t* text) {
    static_assert(sizeof(wchar_t) == 4 || sizeof(wchar_t) == 2);
    const auto load = [text](std::size_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    };
    if constexpr (sizeof(wchar_t) == 4) {
        const __m128i comma = _mm_set1_epi32(L',');
        const __m128i low =
            _mm_packs_epi32(_mm_cmpeq_epi32(load(0), comma), _mm_cmpeq_epi32(load(4), comma));
        const __m128i high =
            _mm_packs_epi32(_mm_cmpeq_epi32(load(8), comma), _mm_cmpeq_epi32(load(12), comma));
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    } else {
        const __m128i comma = _mm_set1_epi16(static_cast<short>(L','));
        return static_cast<uint32_t>(_mm_movemask_epi8(
            _mm_packs_epi16(_mm_cmpeq_epi16(load(0), comma), _mm_cmpeq_epi16(load(8), comma))));
    }
}
#else
// The comparisons are written out (not a loop), so they are independent of
// each other and the compiler may do them side by side.
template <std::size_t... kIndex>
uint32_t CommaBits(const wchar_t* text, std::index_sequence<kIndex...>) {
    return ((static_cast<uint32_t>(text[kIndex] == L',') << kIndex) | ...);
}

inline uint32_t CommaMask(const wchar_t* text) {
    return CommaBits(text, std::make_index_sequence<kCommaBlock>());
}
#endif

}  // namespace platform

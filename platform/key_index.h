// An index from short texts (a symbol, with a 32-bit tag such as an
// interval's bits) to entries kept elsewhere, for lookups on every streamed
// line: open addressing in slots of one cache line each, the key's text held
// in its slot, so that a lookup touches one line of memory, not a bucket, a
// node and the key's own storage. Pure logic, shared by the plug-in and the
// stand-in host library. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

template <typename TChar, typename TEntry>
class CKeyIndex {
  public:
    // Bytes of key text a slot holds; a longer key is referred to (its text
    // must then stay in place while it is listed).
    static constexpr std::size_t kInlineBytes = 40;
    static constexpr std::size_t kInlineChars = kInlineBytes / sizeof(TChar);

    // The entry of key and tag, or null.
    TEntry* Find(std::basic_string_view<TChar> key, uint32_t tag = 0) const {
        if (m_slots.empty()) {
            return nullptr;
        }
        const uint32_t hash = Hash(key, tag);
        for (std::size_t at = hash & m_mask;; at = (at + 1) & m_mask) {
            const CSlot& slot = m_slots[at];
            if (slot.entry == nullptr) {
                return nullptr;
            }
            if (slot.hash == hash && Holds(slot, key, tag)) {
                return slot.entry;
            }
        }
    }

    // Lists entry (not null) under key and tag, which are not listed yet. A
    // key longer than kInlineChars is referred to, not copied.
    void Insert(std::basic_string_view<TChar> key, uint32_t tag, TEntry* entry) {
        if ((m_count + 1) * 2 > m_slots.size()) {
            Grow();
        }
        Place(MakeSlot(key, tag, entry));
        ++m_count;
    }

    // Removes key and tag; false when they were not listed.
    bool Erase(std::basic_string_view<TChar> key, uint32_t tag = 0) {
        if (m_slots.empty()) {
            return false;
        }
        const uint32_t hash = Hash(key, tag);
        std::size_t at = hash & m_mask;
        for (;; at = (at + 1) & m_mask) {
            const CSlot& slot = m_slots[at];
            if (slot.entry == nullptr) {
                return false;
            }
            if (slot.hash == hash && Holds(slot, key, tag)) {
                break;
            }
        }
        // Moves later slots of the run back into the gap, so that every key
        // stays reachable from its home slot without tombstones.
        for (std::size_t next = (at + 1) & m_mask;; next = (next + 1) & m_mask) {
            CSlot& slot = m_slots[next];
            if (slot.entry == nullptr) {
                break;
            }
            const std::size_t home = slot.hash & m_mask;
            const bool movable = ((next - home) & m_mask) >= ((next - at) & m_mask);
            if (movable) {
                m_slots[at] = slot;
                at = next;
            }
        }
        m_slots[at] = CSlot();
        --m_count;
        return true;
    }

    void Clear() {
        m_slots.clear();
        m_mask = 0;
        m_count = 0;
    }

    std::size_t Count() const { return m_count; }

  private:
    struct alignas(64) CSlot {
        uint32_t hash = 0;
        uint32_t tag = 0;
        uint32_t length = 0;
        TEntry* entry = nullptr;  // null: the slot is free
        union {
            TChar chars[kInlineChars];
            const TChar* far;
        } text{};
    };

    static uint32_t Hash(std::basic_string_view<TChar> key, uint32_t tag) {
        constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
        const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
        std::size_t size = key.size() * sizeof(TChar);
        uint64_t hash = (static_cast<uint64_t>(tag) << 32 | size) * kMultiplier;
        for (; size >= 8; size -= 8, bytes += 8) {
            uint64_t block;
            std::memcpy(&block, bytes, 8);
            hash = (hash ^ block) * kMultiplier;
            hash ^= hash >> 29;
        }
        if (size > 0) {
            uint64_t block = 0;
            std::memcpy(&block, bytes, size);
            hash = (hash ^ block) * kMultiplier;
        }
        hash ^= hash >> 32;
        return static_cast<uint32_t>(hash);
    }

    static bool Holds(const CSlot& slot, std::basic_string_view<TChar> key, uint32_t tag) {
        if (slot.tag != tag || slot.length != key.size()) {
            return false;
        }
        const TChar* text = key.size() <= kInlineChars ? slot.text.chars : slot.text.far;
        return std::memcmp(text, key.data(), key.size() * sizeof(TChar)) == 0;
    }

    static CSlot MakeSlot(std::basic_string_view<TChar> key, uint32_t tag, TEntry* entry) {
        CSlot slot;
        slot.hash = Hash(key, tag);
        slot.tag = tag;
        slot.length = static_cast<uint32_t>(key.size());
        slot.entry = entry;
        if (key.size() <= kInlineChars) {
            std::memcpy(slot.text.chars, key.data(), key.size() * sizeof(TChar));
        } else {
            slot.text.far = key.data();
        }
        return slot;
    }

    void Place(const CSlot& slot) {
        std::size_t at = slot.hash & m_mask;
        while (m_slots[at].entry != nullptr) {
            at = (at + 1) & m_mask;
        }
        m_slots[at] = slot;
    }

    void Grow() {
        std::vector<CSlot> old = std::move(m_slots);
        m_slots.assign(old.size() < 16 ? 32 : old.size() * 2, CSlot());
        m_mask = m_slots.size() - 1;
        for (const CSlot& slot : old) {
            if (slot.entry != nullptr) {
                Place(slot);
            }
        }
    }

    std::vector<CSlot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_count = 0;
};

}  // namespace platform

#include "setup/lst_output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace orvella {

namespace {

// A file without a build's pool: as much as one file used to buffer.
constexpr size_t kOwnPoolSize = 32768;

}  // namespace

CLstWritePool::CLstWritePool(size_t size)
    : m_blockCount(std::max<size_t>(1, (size + kBlockSize - 1) / kBlockSize)),
      // Not zeroed: a block's pages are touched when it is first filled.
      m_memory(std::make_unique_for_overwrite<char[]>(m_blockCount * kBlockSize)) {
    m_free.reserve(m_blockCount);
    // The lowest blocks are taken first, so a build that needs few touches
    // few pages.
    for (size_t i = m_blockCount; i-- > 0;)
        m_free.push_back(m_memory.get() + i * kBlockSize);
}

CLstWritePool::~CLstWritePool() = default;

char* CLstWritePool::Take(CLstOutputFile* file) {
    if (m_free.empty()) {
        CLstOutputFile* fullest =
            *std::max_element(m_members.begin(), m_members.end(),
                              [](const CLstOutputFile* a, const CLstOutputFile* b) {
                                  return a->HeldBlocks() < b->HeldBlocks();
                              });
        // A failure of another file is its own: it reports it on its next
        // line or when it closes.
        // Its last block that is not full stays, unless it is the only one.
        if (!fullest->Flush(fullest->HeldBlocks() == 1) && fullest == file)
            return nullptr;
    }
    char* block = m_free.back();
    m_free.pop_back();
    return block;
}

void CLstWritePool::Join(CLstOutputFile* file) {
    file->m_member = m_members.size();
    m_members.push_back(file);
}

void CLstWritePool::Leave(CLstOutputFile* file) {
    CLstOutputFile* last = m_members.back();
    m_members[file->m_member] = last;
    last->m_member = file->m_member;
    m_members.pop_back();
}

CLstOutputFile::CLstOutputFile(CLstWritePool* pool) : m_pool(pool) {
    if (m_pool == nullptr) {
        m_ownPool = std::make_unique<CLstWritePool>(kOwnPoolSize);
        m_pool = m_ownPool.get();
    }
}

CLstOutputFile::~CLstOutputFile() {
    if (m_file != nullptr)
        Close();
}

bool CLstOutputFile::Create(const std::string& path) {
    m_path = path;
    m_written = 0;
    return Open("r+b") || (m_error == ENOENT && Open("w+b"));
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
    // The pool's blocks go to the system as they are; the file's own buffer
    // would only copy them once more.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    m_error = 0;
    return true;
}

bool CLstOutputFile::Put(std::string_view text) {
    while (!text.empty()) {
        if (m_blocks.empty() || m_lastUsed == CLstWritePool::kBlockSize) {
            char* block = m_pool->Take(this);
            if (block == nullptr)
                return false;
            // Taking may have written this file out.
            if (m_blocks.empty())
                m_pool->Join(this);
            m_blocks.push_back(block);
            m_lastUsed = 0;
        }
        const size_t part = std::min(text.size(), CLstWritePool::kBlockSize - m_lastUsed);
        std::memcpy(m_blocks.back() + m_lastUsed, text.data(), part);
        m_lastUsed += part;
        text.remove_prefix(part);
    }
    return true;
}

bool CLstOutputFile::WriteLine(std::string_view symbol, std::string_view description) {
    if (m_error != 0)
        return false;
    const size_t size = symbol.size() + description.size() + 5;
    if (!m_blocks.empty() && m_lastUsed + size <= CLstWritePool::kBlockSize) {
        // The usual case: the line fits the last block.
        char* out = m_blocks.back() + m_lastUsed;
        // An empty column may be a view without any data behind it.
        if (!symbol.empty())
            std::memcpy(out, symbol.data(), symbol.size());
        out += symbol.size();
        std::memcpy(out, ",\"", 2);
        out += 2;
        if (!description.empty())
            std::memcpy(out, description.data(), description.size());
        out += description.size();
        std::memcpy(out, "\"\r\n", 3);
        m_lastUsed += size;
        return true;
    }
    return Put(symbol) && Put(",\"") && Put(description) && Put("\"\r\n");
}

bool CLstOutputFile::Flush(bool whole) {
    if (m_blocks.empty())
        return m_error == 0;
    const bool keepLast = !whole && m_lastUsed < CLstWritePool::kBlockSize;
    const size_t count = m_blocks.size() - (keepLast ? 1 : 0);
    if (m_error == 0 && count > 0) {
        // Blocks that lie one after the other in the pool are one piece.
        m_pieces.clear();
        size_t bytes = 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t used = i + 1 < m_blocks.size() ? CLstWritePool::kBlockSize : m_lastUsed;
            std::string_view* last = m_pieces.empty() ? nullptr : &m_pieces.back();
            if (last != nullptr && last->data() + last->size() == m_blocks[i])
                *last = std::string_view(last->data(), last->size() + used);
            else
                m_pieces.emplace_back(m_blocks[i], used);
            bytes += used;
        }
        m_error = platform::WritePieces(m_file, m_pieces.data(), m_pieces.size());
        if (m_error == 0)
            m_written += bytes;
    }
    for (size_t i = 0; i < count; ++i)
        m_pool->Release(m_blocks[i]);
    if (keepLast) {
        m_blocks.front() = m_blocks.back();
        m_blocks.resize(1);
        return m_error == 0;
    }
    m_blocks.clear();
    m_lastUsed = 0;
    m_pool->Leave(this);
    return m_error == 0;
}

bool CLstOutputFile::Close() {
    if (m_file == nullptr)
        return m_error == 0;
    bool ok = Flush(true);
    if (ok) {
        // Only a file that grew shorter is cut: freeing space is what costs.
        m_error = platform::CutFile(m_file, m_written);
        ok = m_error == 0;
    }
    errno = 0;
    if (std::fclose(m_file) != 0 && ok) {
        m_error = errno != 0 ? errno : EIO;
        ok = false;
    }
    m_file = nullptr;
    return ok;
}

std::string FileErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > 200)
        text.resize(200);
    return text;
}

}  // namespace orvella

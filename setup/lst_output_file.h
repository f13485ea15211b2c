// One LST file being written: created, or an existing one written over from
// its start and cut to its new length when it closes, filled through blocks
// of a write pool that all files of a build share, flushed and closed at the
// end. A file may be closed before the build ends and opened again for
// appending, so that a build with many files keeps only some of them open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvella {

class CLstOutputFile;

// The write buffers of the files of one build: a fixed number of blocks that
// the files take as their lines come. When none is free, the file that holds
// the most is written out in one go and its blocks come back. So memory is
// the pool's size however many files are open, a file with many lines is
// written in large pieces, and a small one usually once, when it closes.
class CLstWritePool {
  public:
    static constexpr size_t kBlockSize = 4096;
    static constexpr size_t kDefaultSize = 1 << 21;

    // size is rounded up to whole blocks, at least one. The blocks' memory
    // is touched only as they are first used.
    explicit CLstWritePool(size_t size = kDefaultSize);
    ~CLstWritePool();
    CLstWritePool(const CLstWritePool&) = delete;
    CLstWritePool& operator=(const CLstWritePool&) = delete;

    size_t BlockCount() const { return m_blockCount; }

  private:
    friend class CLstOutputFile;

    // A free block for file; when none is free the member holding the most
    // blocks (it may be file) is written out first. Null only when that
    // write failed for file itself.
    char* Take(CLstOutputFile* file);
    void Release(char* block) { m_free.push_back(block); }
    // The files that hold blocks.
    void Join(CLstOutputFile* file);
    void Leave(CLstOutputFile* file);

    size_t m_blockCount;
    std::unique_ptr<char[]> m_memory;
    std::vector<char*> m_free;
    std::vector<CLstOutputFile*> m_members;
};

class CLstOutputFile {
  public:
    // pool: the build's pool, which outlives the file; without one the file
    // has a small pool of its own.
    explicit CLstOutputFile(CLstWritePool* pool = nullptr);
    ~CLstOutputFile();
    CLstOutputFile(const CLstOutputFile&) = delete;
    CLstOutputFile& operator=(const CLstOutputFile&) = delete;

    // Opens the file for reading and writing in binary, creating it when it
    // is missing. The bytes of an existing file are written over and what is
    // left of them is cut off when the file closes, so that replacing a file
    // reuses its place on the disk instead of freeing it and taking new
    // space. False when it cannot be opened; Error() then holds the cause.
    bool Create(const std::string& path);

    // Writes symbol + ",\"" + description + "\"\r\n" (no escaping). False when
    // a write to the file failed, now or when its bytes were written out to
    // make room in the pool; Error() then holds the cause.
    bool WriteLine(std::string_view symbol, std::string_view description);

    // Flushes, cuts off what is left of an older file's bytes and closes the
    // file, giving its blocks back. False when bytes could not be written or
    // cut off; the file is closed either way.
    bool Close();
    // Opens a closed file again, appending (true when it is open). False when
    // it cannot be opened; Error() then holds the cause.
    bool Reopen();
    bool IsOpen() const { return m_file != nullptr; }

    const std::string& Path() const { return m_path; }
    // The cause of the last failure (an error number, 0 when none).
    int Error() const { return m_error; }

  private:
    friend class CLstWritePool;

    bool Open(const char* mode);
    // Writes the bytes held and gives the blocks back (also on failure).
    // Unless whole, a last block that is not full is kept when others go:
    // then every write but a file's last begins and ends on a block's edge,
    // and none fills a page of an older file in part, which would make the
    // system read that page first.
    bool Flush(bool whole);
    bool Put(std::string_view text);
    size_t HeldBlocks() const { return m_blocks.size(); }

    CLstWritePool* m_pool;
    std::unique_ptr<CLstWritePool> m_ownPool;
    std::string m_path;
    std::FILE* m_file = nullptr;
    // The blocks that hold this file's bytes in order; all full but the last,
    // which holds m_lastUsed bytes.
    std::vector<char*> m_blocks;
    size_t m_lastUsed = 0;
    // Bytes given to the system since the file was created.
    uint64_t m_written = 0;
    // Where the file is in the pool's list of members, while it holds blocks.
    size_t m_member = 0;
    std::vector<std::string_view> m_pieces;
    int m_error = 0;
};

// Describes an error number in at most 200 characters.
std::string FileErrorText(int error);

}  // namespace orvella

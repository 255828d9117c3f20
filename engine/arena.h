// Bump allocators for records, names and folder blocks.
//
// A scan allocates millions of small objects that all live exactly as long as the scan (or
// until the scan is cleared), so they come from chunked arenas instead of one heap call each.
// Chunks are never reallocated, so nothing handed out ever moves. Releasing a single object
// is a no-op; Reset() releases everything at once.
//
// An arena is not thread-safe: each thread that creates records uses its own arena
// (TNTFS_FILES::NewArena).
#pragma once

#include "engine/types.h"

#include <memory>
#include <string_view>
#include <vector>

namespace qz {

class TRecordArena {
public:
    TRecordArena() = default;
    TRecordArena(const TRecordArena&) = delete;
    TRecordArena& operator=(const TRecordArena&) = delete;

    // A zeroed record.
    PMFT_RECORD NewRecord();
    // A zeroed folder block.
    TFolderData* NewFolder();
    // A NUL-terminated copy of name (len units); FilenameLen-style length is the caller's.
    char16_t* CopyName(std::u16string_view name);

    void Reset();
    // Bytes held by the arena's chunks.
    size_t BytesReserved() const { return reserved_; }

private:
    void* Alloc(size_t bytes, size_t align);
    // A chunk of the arena: mapped memory, unmapped when the chunk goes.
    struct Chunk {
        Chunk(std::byte* d, size_t n) : data(d), size(n) {}
        Chunk(Chunk&& o) noexcept : data(o.data), size(o.size) { o.data = nullptr; }
        Chunk& operator=(Chunk&&) = delete;
        ~Chunk();
        std::byte* data;
        size_t size;
    };
    std::vector<Chunk> chunks_;
    std::byte* cur_ = nullptr;
    size_t left_ = 0;
    size_t reserved_ = 0;
};

} // namespace qz

#include "engine/arena.h"

#include <cstring>
#include <new>

namespace qz {

namespace {
constexpr size_t kChunkSize = size_t(2) << 20; // 2 MiB: ~16000 records per chunk
}

void* TRecordArena::Alloc(size_t bytes, size_t align) {
    size_t pad = (align - (reinterpret_cast<uintptr_t>(cur_) & (align - 1))) & (align - 1);
    if (cur_ == nullptr || pad + bytes > left_) {
        size_t size = bytes + align > kChunkSize ? bytes + align : kChunkSize;
        // Uninitialised on purpose: callers initialise what they take, and untouched pages
        // of the last chunk are never made resident.
        Chunk c{std::unique_ptr<std::byte[]>(new std::byte[size]), size};
        cur_ = c.data.get();
        left_ = size;
        reserved_ += size;
        chunks_.push_back(std::move(c));
        pad = (align - (reinterpret_cast<uintptr_t>(cur_) & (align - 1))) & (align - 1);
    }
    std::byte* p = cur_ + pad;
    cur_ = p + bytes;
    left_ -= pad + bytes;
    return p;
}

PMFT_RECORD TRecordArena::NewRecord() {
    void* p = Alloc(sizeof(TMFT_RECORD), alignof(TMFT_RECORD));
    std::memset(p, 0, sizeof(TMFT_RECORD));
    return new (p) TMFT_RECORD;
}

TFolderData* TRecordArena::NewFolder() {
    void* p = Alloc(sizeof(TFolderData), alignof(TFolderData));
    return new (p) TFolderData();
}

char16_t* TRecordArena::CopyName(std::u16string_view name) {
    auto* p =
        static_cast<char16_t*>(Alloc((name.size() + 1) * sizeof(char16_t), alignof(char16_t)));
    if (!name.empty()) std::memcpy(p, name.data(), name.size() * sizeof(char16_t));
    p[name.size()] = 0;
    return p;
}

void TRecordArena::Reset() {
    chunks_.clear();
    cur_ = nullptr;
    left_ = 0;
    reserved_ = 0;
}

} // namespace qz

// The on-disk layout of the NTFS structures the engine reads: little-endian fields at fixed
// offsets, named here once so that every reader (the record decoder and the volume code) can
// be checked against the format. The views only read; the caller makes sure the bytes it asks
// for lie inside its buffer (each view lists how far its fields reach).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qz::ntfs {

// ---------------------------------------------------------------- little-endian fields

inline uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // little-endian host
}
inline uint64_t Le64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// ---------------------------------------------------------------- attribute type codes

constexpr uint32_t kAttrStandardInformation = 0x10;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF; // ends the attributes of a record and an attribute list

// ---------------------------------------------------------------- FILE record header

// The header of one MFT record (BytesPerFileRecordSegment bytes, usually 1024).
struct TFileRecordView {
    static constexpr size_t kUpdateSequenceOffset = 4; // 2 bytes
    static constexpr size_t kUpdateSequenceCount = 6;  // 2 bytes, the sequence number included
    static constexpr size_t kFirstAttribute = 20;      // 2 bytes
    static constexpr size_t kFlags = 22;               // 2 bytes: 0x0001 in use, 0x0002 folder
    static constexpr size_t kBytesAllocated = 28;      // 4 bytes: the record's own size
    static constexpr size_t kBaseReference = 32;       // 8 bytes: 0 for a base record
    static constexpr size_t kHeaderBytes = 48;         // through the record number at 44

    const uint8_t* Bytes;
    bool HasSignature() const { return std::memcmp(Bytes, "FILE", 4) == 0; }
    uint16_t UpdateSequenceOffset() const { return Le16(Bytes + kUpdateSequenceOffset); }
    uint16_t UpdateSequenceCount() const { return Le16(Bytes + kUpdateSequenceCount); }
    uint16_t FirstAttribute() const { return Le16(Bytes + kFirstAttribute); }
    uint16_t Flags() const { return Le16(Bytes + kFlags); }
    uint32_t BytesAllocated() const { return Le32(Bytes + kBytesAllocated); }
    uint64_t BaseReference() const { return Le64(Bytes + kBaseReference); }
};

// Update-sequence fixups protect every 512-byte stride of a record, whatever the sector size.
constexpr size_t kUpdateSequenceStride = 512;

// ---------------------------------------------------------------- attribute header

// One attribute of a record: a common header, then the resident or the non-resident form.
struct TAttributeView {
    static constexpr size_t kType = 0;        // 4 bytes
    static constexpr size_t kLength = 4;      // 4 bytes, the whole attribute
    static constexpr size_t kNonResident = 8; // 1 byte
    static constexpr size_t kNameLength = 9;  // 1 byte, in UTF-16 units; 0 = unnamed
    // Resident form.
    static constexpr size_t kValueLength = 16; // 4 bytes
    static constexpr size_t kValueOffset = 20; // 2 bytes, from the attribute start
    static constexpr size_t kResidentHeaderBytes = 24;
    // Non-resident form.
    static constexpr size_t kLowestVcn = 16;          // 8 bytes: first cluster this piece maps
    static constexpr size_t kMappingPairsOffset = 32; // 2 bytes, from the attribute start
    static constexpr size_t kAllocatedSize = 40;      // 8 bytes
    static constexpr size_t kRealSize = 48;           // 8 bytes
    static constexpr size_t kInitializedSize = 56;    // 8 bytes
    static constexpr size_t kNonResidentHeaderBytes = 64;

    const uint8_t* Bytes;
    uint32_t Type() const { return Le32(Bytes + kType); }
    uint32_t Length() const { return Le32(Bytes + kLength); }
    uint8_t NonResident() const { return Bytes[kNonResident]; }
    uint8_t NameLength() const { return Bytes[kNameLength]; }
    uint32_t ValueLength() const { return Le32(Bytes + kValueLength); }
    uint16_t ValueOffset() const { return Le16(Bytes + kValueOffset); }
    uint64_t LowestVcn() const { return Le64(Bytes + kLowestVcn); }
    uint16_t MappingPairsOffset() const { return Le16(Bytes + kMappingPairsOffset); }
    uint64_t AllocatedSize() const { return Le64(Bytes + kAllocatedSize); }
    uint64_t RealSize() const { return Le64(Bytes + kRealSize); }
    uint64_t InitializedSize() const { return Le64(Bytes + kInitializedSize); }
};

// ---------------------------------------------------------------- attribute values

// $STANDARD_INFORMATION value (FILETIMEs; the change time at 16 is not used).
struct TStandardInformationView {
    static constexpr size_t kCreated = 0;
    static constexpr size_t kModified = 8;
    static constexpr size_t kAccessed = 24;
    static constexpr size_t kFileAttributes = 32; // 4 bytes
    static constexpr size_t kBytesRead = 36;

    const uint8_t* Bytes;
    uint64_t Created() const { return Le64(Bytes + kCreated); }
    uint64_t Modified() const { return Le64(Bytes + kModified); }
    uint64_t Accessed() const { return Le64(Bytes + kAccessed); }
    uint32_t FileAttributes() const { return Le32(Bytes + kFileAttributes); }
};

// $FILE_NAME value.
struct TFileNameView {
    static constexpr size_t kParentReference = 0; // 8 bytes, low 48 bits = parent record
    static constexpr size_t kNameLength = 64;     // 1 byte, in UTF-16 units
    static constexpr size_t kNamespace = 65;      // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    static constexpr size_t kName = 66;           // the name, UTF-16
    static constexpr uint8_t kDosNamespace = 2;

    const uint8_t* Bytes;
    uint64_t ParentReference() const { return Le64(Bytes + kParentReference); }
    uint8_t NameLength() const { return Bytes[kNameLength]; }
    uint8_t Namespace() const { return Bytes[kNamespace]; }
    char16_t NameUnit(size_t i) const { return char16_t(Le16(Bytes + kName + 2 * i)); }
};

// One entry of an $ATTRIBUTE_LIST value.
struct TAttributeListEntryView {
    static constexpr size_t kType = 0;           // 4 bytes
    static constexpr size_t kLength = 4;         // 2 bytes, the whole entry
    static constexpr size_t kNameLength = 6;     // 1 byte
    static constexpr size_t kFileReference = 16; // 8 bytes, of the record holding the attribute
    static constexpr size_t kBytesRead = 24;

    const uint8_t* Bytes;
    uint32_t Type() const { return Le32(Bytes + kType); }
    uint16_t Length() const { return Le16(Bytes + kLength); }
    uint8_t NameLength() const { return Bytes[kNameLength]; }
    uint64_t FileReference() const { return Le64(Bytes + kFileReference); }
};

} // namespace qz::ntfs

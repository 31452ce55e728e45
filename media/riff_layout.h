// Sizes of the RIFF and AVI index structures, shared by the reader, the
// writer, the header probe and repair, so a layout fact lives in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

// Every chunk: a FOURCC and a 32-bit size, then the data, padded to an even
// size (the pad byte is not counted in the size field).
constexpr std::uint64_t kChunkHeaderBytes = 8;
// A list (and a RIFF): a chunk header and the list's type FOURCC.
constexpr std::uint64_t kListHeaderBytes = 12;

// Bytes a chunk body of `size` takes in the file, pad byte included.
constexpr std::uint64_t paddedChunkSize(std::uint64_t size) {
    return size + (size & 1);
}

// Position of the chunk after the one at `pos` whose size field says `size`.
constexpr std::uint64_t nextChunkPos(std::uint64_t pos, std::uint64_t size) {
    return pos + kChunkHeaderBytes + paddedChunkSize(size);
}

// Chunk ids number streams with two decimal digits ("00dc" to "99wb").
constexpr int kMaxStreams = 100;

// 'idx1': one entry per chunk of the first RIFF (id, flags, offset, size).
constexpr std::size_t kIdx1EntryBytes = 16;
// The whole 'idx1' chunk of `entries` entries, header included.
constexpr std::uint64_t idx1ChunkBytes(std::uint64_t entries) {
    return kChunkHeaderBytes + kIdx1EntryBytes * entries;
}

// OpenDML 'indx' super index: a header, then per 'ix##' chunk its 64-bit
// position, its size and the stream duration it covers.
constexpr std::size_t kSuperIndexHeaderBytes = 24;
constexpr std::size_t kSuperIndexEntryBytes = 16;
constexpr std::uint16_t kSuperIndexLongsPerEntry = kSuperIndexEntryBytes / 4;
constexpr std::uint8_t kIndexOfIndexes = 0;

// OpenDML 'ix##' standard index: a header holding the 64-bit base position,
// then per chunk its 32-bit offset from the base and its size (bit 31 set for
// a delta frame).
constexpr std::size_t kStdIndexHeaderBytes = 24;
constexpr std::size_t kStdIndexEntryBytes = 8;
constexpr std::uint16_t kStdIndexLongsPerEntry = kStdIndexEntryBytes / 4;
constexpr std::uint8_t kIndexOfChunks = 1;
// The whole 'ix##' chunk of `entries` entries, header included.
constexpr std::uint64_t stdIndexChunkBytes(std::uint64_t entries) {
    return kChunkHeaderBytes + kStdIndexHeaderBytes + kStdIndexEntryBytes * entries;
}

}  // namespace media

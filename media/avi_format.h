// AVI on-disk vocabulary shared by the reader, the writer and the facade:
// four-character codes, header structures as plain structs, flag values and
// the status codes every AVI operation returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "media/riff_layout.h"
#include "media/sound_format.h"

namespace media {

// ---------------------------------------------------------------- FOURCCs

// A FOURCC as a 32-bit value: first character in the low byte (file order).
constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}
constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return fourcc(s[0], s[1], s[2], s[3]);
}

// Printable form of a FOURCC; non-printable bytes become '.'.
std::string fourccText(std::uint32_t code);

constexpr std::uint32_t kFccRiff = fourcc("RIFF");
constexpr std::uint32_t kFccList = fourcc("LIST");
constexpr std::uint32_t kFccAvi = fourcc("AVI ");
constexpr std::uint32_t kFccAvix = fourcc("AVIX");
constexpr std::uint32_t kFccHdrl = fourcc("hdrl");
constexpr std::uint32_t kFccAvih = fourcc("avih");
constexpr std::uint32_t kFccStrl = fourcc("strl");
constexpr std::uint32_t kFccStrh = fourcc("strh");
constexpr std::uint32_t kFccStrf = fourcc("strf");
constexpr std::uint32_t kFccStrn = fourcc("strn");
constexpr std::uint32_t kFccIndx = fourcc("indx");
constexpr std::uint32_t kFccOdml = fourcc("odml");
constexpr std::uint32_t kFccDmlh = fourcc("dmlh");
constexpr std::uint32_t kFccMovi = fourcc("movi");
constexpr std::uint32_t kFccRec = fourcc("rec ");
constexpr std::uint32_t kFccIdx1 = fourcc("idx1");
constexpr std::uint32_t kFccJunk = fourcc("JUNK");
constexpr std::uint32_t kFccVids = fourcc("vids");
constexpr std::uint32_t kFccAuds = fourcc("auds");
constexpr std::uint32_t kFccMsvc = fourcc("MSVC");

// Chunk id of stream `stream` (0..99) with the two-letter suffix, e.g. "00dc".
constexpr std::uint32_t streamChunkId(int stream, char a, char b) {
    return fourcc(static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), a, b);
}
// Id of the OpenDML standard index chunk of stream `stream`, e.g. "ix01".
constexpr std::uint32_t stdIndexChunkId(int stream) {
    return fourcc('i', 'x', static_cast<char>('0' + stream / 10),
                  static_cast<char>('0' + stream % 10));
}
// Stream number of a chunk id of the form "NNxx", or -1.
int chunkStreamNumber(std::uint32_t chunkId);
// True for the two-letter suffix `ab` in "NNab".
constexpr bool chunkHasSuffix(std::uint32_t chunkId, char a, char b) {
    return ((chunkId >> 16) & 0xFF) == static_cast<std::uint8_t>(a) &&
           (chunkId >> 24) == static_cast<std::uint8_t>(b);
}

// Video 1 is announced under any of these codes; readers must accept all.
bool isVideo1Fourcc(std::uint32_t code);

// --------------------------------------------------------------- Flags

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifMustUseIndex = 0x20;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::uint32_t kAvifTrustCkType = 0x800;

constexpr std::uint32_t kAviifList = 0x1;
constexpr std::uint32_t kAviifKeyFrame = 0x10;
constexpr std::uint32_t kAviifNoTime = 0x100;

// Bit 31 of an OpenDML standard index entry's size marks a delta frame.
constexpr std::uint32_t kOdmlDeltaFrameBit = 0x80000000u;

constexpr std::uint32_t kBiRgb = 0;

// Modes of aviFileOpen.
constexpr std::uint32_t kOpenRead = 0x0;
constexpr std::uint32_t kOpenWrite = 0x1;
constexpr std::uint32_t kOpenCreate = 0x1000;

// AviCompressOptions::flags.
constexpr std::uint32_t kCompressInterleave = 0x1;
constexpr std::uint32_t kCompressDataRate = 0x2;
constexpr std::uint32_t kCompressKeyFrames = 0x4;

// File info flags / caps.
constexpr std::uint32_t kFileCapsCanRead = 0x1;
constexpr std::uint32_t kFileCapsCanWrite = 0x2;

// Sample count / start meaning "a convenient amount" / "append".
constexpr std::int32_t kReadConvenient = -1;
constexpr std::int32_t kAppend = -1;

// ----------------------------------------------------------- Statuses
// Same numbers as the Video for Windows AVIERR_* values, so logs read alike.

constexpr int makeAviError(int n) {
    return static_cast<int>(0x80044000u + static_cast<unsigned>(n));
}
constexpr int kAviOk = 0;
constexpr int kAviErrUnsupported = makeAviError(101);
constexpr int kAviErrBadFormat = makeAviError(102);
constexpr int kAviErrMemory = makeAviError(103);
constexpr int kAviErrInternal = makeAviError(104);
constexpr int kAviErrBadFlags = makeAviError(105);
constexpr int kAviErrBadParam = makeAviError(106);
constexpr int kAviErrBadSize = makeAviError(107);
constexpr int kAviErrBadHandle = makeAviError(108);
constexpr int kAviErrFileRead = makeAviError(109);
constexpr int kAviErrFileWrite = makeAviError(110);
constexpr int kAviErrFileOpen = makeAviError(111);
constexpr int kAviErrCompressor = makeAviError(112);
constexpr int kAviErrNoCompressor = makeAviError(113);
constexpr int kAviErrReadOnly = makeAviError(114);
constexpr int kAviErrNoData = makeAviError(115);
constexpr int kAviErrBufferTooSmall = makeAviError(116);
constexpr int kAviErrCantCompress = makeAviError(117);

// Short English name of a status ("AVIERR_NODATA"-like), for messages.
const char* aviErrorName(int status);

// ----------------------------------------------------------- Structures

// BITMAPINFOHEADER, 40 bytes on disk.
struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};
constexpr std::size_t kBitmapInfoHeaderBytes = 40;

// Serialisation of the two format blocks (little-endian; kBitmapInfoHeaderBytes
// and kWaveFormatExBytes long).
void storeBitmapInfoHeader(const BitmapInfoHeader& h, std::uint8_t* out40);
BitmapInfoHeader loadBitmapInfoHeader(const std::uint8_t* in40);
void storeWaveFormat(const WaveFormatEx& w, std::uint8_t* out18);
// `size` >= 16; cbSize is read only when size >= 18.
WaveFormatEx loadWaveFormat(const std::uint8_t* in, std::size_t size);

// A rectangle as the stream information carries it.
struct AviRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Stream information (AVISTREAMINFO without the name's fixed width).
struct AviStreamInfo {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t flags = 0;
    std::uint32_t caps = 0;
    std::uint16_t priority = 0;
    std::uint16_t language = 0;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t initialFrames = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t quality = 0;
    std::uint32_t sampleSize = 0;
    AviRect frame;
    std::uint32_t editCount = 0;
    std::uint32_t formatChangeCount = 0;
    std::string name;
};

// File information (AVIFILEINFO without the file-type text).
struct AviFileInfo {
    std::uint32_t maxBytesPerSec = 0;
    std::uint32_t flags = 0;
    std::uint32_t caps = 0;
    std::uint32_t streams = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t length = 0;
    std::uint32_t editCount = 0;
};

// Options of a compressing stream (AVICOMPRESSOPTIONS without pointers).
struct AviCompressOptions {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t keyFrameEvery = 0;
    std::uint32_t quality = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint32_t flags = 0;
    std::uint32_t interleaveEvery = 0;
};

// The stream header ('strh') fields as stored, 56 bytes on disk.
struct AviStreamHeader {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t flags = 0;
    std::uint16_t priority = 0;
    std::uint16_t language = 0;
    std::uint32_t initialFrames = 0;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t quality = 0;
    std::uint32_t sampleSize = 0;
    std::int16_t frameLeft = 0;
    std::int16_t frameTop = 0;
    std::int16_t frameRight = 0;
    std::int16_t frameBottom = 0;
};
constexpr std::size_t kStreamHeaderBytes = 56;
// Readers accept a 'strh' without the rectangle.
constexpr std::size_t kMinStreamHeaderBytes = 48;
constexpr std::size_t kMainHeaderBytes = 56;

void storeStreamHeader(const AviStreamHeader& h, std::uint8_t* out56);
// `size` >= 48; missing rectangle fields stay zero.
AviStreamHeader loadStreamHeader(const std::uint8_t* in, std::size_t size);

// Bytes in one row of an uncompressed bottom-up picture (rows are padded to
// a multiple of 4 bytes).
constexpr std::uint64_t dibRowBytes(std::int64_t width, int bitCount) {
    return ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount) + 31) / 32) *
           4;
}
// Bytes of one uncompressed picture of the header's size and depth (the
// frame size of a recording); 0 for an empty picture.
constexpr std::uint64_t dibImageBytes(const BitmapInfoHeader& h) {
    if (h.width <= 0 || h.height == 0)
        return 0;
    const std::int64_t rows = h.height < 0 ? -std::int64_t{h.height} : h.height;
    return dibRowBytes(h.width, h.bitCount) * static_cast<std::uint64_t>(rows);
}

// ----------------------------------------------------------- Little endian

inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(le32(p)) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
}
inline void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace media

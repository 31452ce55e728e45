#include "media/avi_format.h"

#include <cstring>

namespace media {

std::string fourccText(std::uint32_t code) {
    std::string text(4, '.');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (8 * i));
        if (c >= 0x20 && c < 0x7F)
            text[static_cast<std::size_t>(i)] = static_cast<char>(c);
    }
    return text;
}

int chunkStreamNumber(std::uint32_t chunkId) {
    const int tens = static_cast<int>(chunkId & 0xFF) - '0';
    const int ones = static_cast<int>((chunkId >> 8) & 0xFF) - '0';
    if (tens < 0 || tens > 9 || ones < 0 || ones > 9)
        return -1;
    return tens * 10 + ones;
}

bool isVideo1Fourcc(std::uint32_t code) {
    for (const std::uint32_t known : {fourcc("MSVC"), fourcc("msvc"), fourcc("CRAM"),
                                      fourcc("cram"), fourcc("WHAM"), fourcc("wham")}) {
        if (code == known)
            return true;
    }
    return false;
}

const char* aviErrorName(int status) {
    switch (status) {
        case kAviOk:
            return "ok";
        case kAviErrUnsupported:
            return "unsupported";
        case kAviErrBadFormat:
            return "bad format";
        case kAviErrMemory:
            return "out of memory";
        case kAviErrInternal:
            return "internal error";
        case kAviErrBadFlags:
            return "bad flags";
        case kAviErrBadParam:
            return "bad parameter";
        case kAviErrBadSize:
            return "bad size";
        case kAviErrBadHandle:
            return "bad handle";
        case kAviErrFileRead:
            return "file read error";
        case kAviErrFileWrite:
            return "file write error";
        case kAviErrFileOpen:
            return "cannot open file";
        case kAviErrCompressor:
            return "compressor error";
        case kAviErrNoCompressor:
            return "no compressor";
        case kAviErrReadOnly:
            return "read only";
        case kAviErrNoData:
            return "no data";
        case kAviErrBufferTooSmall:
            return "buffer too small";
        case kAviErrCantCompress:
            return "cannot compress";
        default:
            return "unknown error";
    }
}

void storeBitmapInfoHeader(const BitmapInfoHeader& h, std::uint8_t* p) {
    put32(p + 0, h.size);
    put32(p + 4, static_cast<std::uint32_t>(h.width));
    put32(p + 8, static_cast<std::uint32_t>(h.height));
    put16(p + 12, h.planes);
    put16(p + 14, h.bitCount);
    put32(p + 16, h.compression);
    put32(p + 20, h.sizeImage);
    put32(p + 24, static_cast<std::uint32_t>(h.xPelsPerMeter));
    put32(p + 28, static_cast<std::uint32_t>(h.yPelsPerMeter));
    put32(p + 32, h.clrUsed);
    put32(p + 36, h.clrImportant);
}

BitmapInfoHeader loadBitmapInfoHeader(const std::uint8_t* p) {
    BitmapInfoHeader h;
    h.size = le32(p + 0);
    h.width = static_cast<std::int32_t>(le32(p + 4));
    h.height = static_cast<std::int32_t>(le32(p + 8));
    h.planes = le16(p + 12);
    h.bitCount = le16(p + 14);
    h.compression = le32(p + 16);
    h.sizeImage = le32(p + 20);
    h.xPelsPerMeter = static_cast<std::int32_t>(le32(p + 24));
    h.yPelsPerMeter = static_cast<std::int32_t>(le32(p + 28));
    h.clrUsed = le32(p + 32);
    h.clrImportant = le32(p + 36);
    return h;
}

void storeWaveFormat(const WaveFormatEx& w, std::uint8_t* p) {
    put16(p + 0, w.formatTag);
    put16(p + 2, w.channels);
    put32(p + 4, w.samplesPerSec);
    put32(p + 8, w.avgBytesPerSec);
    put16(p + 12, w.blockAlign);
    put16(p + 14, w.bitsPerSample);
    put16(p + 16, w.cbSize);
}

WaveFormatEx loadWaveFormat(const std::uint8_t* p, std::size_t size) {
    WaveFormatEx w;
    w.formatTag = le16(p + 0);
    w.channels = le16(p + 2);
    w.samplesPerSec = le32(p + 4);
    w.avgBytesPerSec = le32(p + 8);
    w.blockAlign = le16(p + 12);
    w.bitsPerSample = le16(p + 14);
    w.cbSize = size >= kWaveFormatExBytes ? le16(p + 16) : 0;
    return w;
}

void storeStreamHeader(const AviStreamHeader& h, std::uint8_t* p) {
    put32(p + 0, h.fccType);
    put32(p + 4, h.fccHandler);
    put32(p + 8, h.flags);
    put16(p + 12, h.priority);
    put16(p + 14, h.language);
    put32(p + 16, h.initialFrames);
    put32(p + 20, h.scale);
    put32(p + 24, h.rate);
    put32(p + 28, h.start);
    put32(p + 32, h.length);
    put32(p + 36, h.suggestedBufferSize);
    put32(p + 40, h.quality);
    put32(p + 44, h.sampleSize);
    put16(p + 48, static_cast<std::uint16_t>(h.frameLeft));
    put16(p + 50, static_cast<std::uint16_t>(h.frameTop));
    put16(p + 52, static_cast<std::uint16_t>(h.frameRight));
    put16(p + 54, static_cast<std::uint16_t>(h.frameBottom));
}

AviStreamHeader loadStreamHeader(const std::uint8_t* in, std::size_t size) {
    std::uint8_t p[kStreamHeaderBytes] = {};
    std::memcpy(p, in, size < kStreamHeaderBytes ? size : kStreamHeaderBytes);
    AviStreamHeader h;
    h.fccType = le32(p + 0);
    h.fccHandler = le32(p + 4);
    h.flags = le32(p + 8);
    h.priority = le16(p + 12);
    h.language = le16(p + 14);
    h.initialFrames = le32(p + 16);
    h.scale = le32(p + 20);
    h.rate = le32(p + 24);
    h.start = le32(p + 28);
    h.length = le32(p + 32);
    h.suggestedBufferSize = le32(p + 36);
    h.quality = le32(p + 40);
    h.sampleSize = le32(p + 44);
    h.frameLeft = static_cast<std::int16_t>(le16(p + 48));
    h.frameTop = static_cast<std::int16_t>(le16(p + 50));
    h.frameRight = static_cast<std::int16_t>(le16(p + 52));
    h.frameBottom = static_cast<std::int16_t>(le16(p + 54));
    return h;
}

}  // namespace media

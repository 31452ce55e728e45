// A stream of an AVI file as the file services hand it out: the read side of
// a file being read, the write side of a file being written, or a compressing
// layer over a write side. The aviStream* calls of avi_file.h dispatch here.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "media/avi_format.h"

namespace media {

class AviFile;
class AviStream;
using AviFilePtr = std::shared_ptr<AviFile>;
using AviStreamPtr = std::shared_ptr<AviStream>;

// The calls report counts through optional out-parameters, clamped to the
// 32-bit range of the interface.
inline void reportCount(std::int32_t* out, std::int32_t value) {
    if (out)
        *out = value;
}
inline std::int32_t saturatedInt32(std::uint64_t value) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(value > kMax ? kMax : value);
}

class AviStream {
  public:
    virtual ~AviStream() = default;
    virtual int info(AviStreamInfo& info) const = 0;
    virtual int format(std::vector<std::uint8_t>& format) const = 0;
    virtual std::int32_t start() const = 0;
    virtual std::int32_t length() const = 0;
    // Number of the stream in its file.
    virtual int streamIndex() const = 0;

    // A stream of a file being read refuses these.
    virtual int setFormat(std::int32_t /*pos*/, const void* /*format*/, std::int32_t /*size*/) {
        return kAviErrReadOnly;
    }
    virtual int write(std::int32_t /*start*/, std::int32_t /*samples*/, const void* /*data*/,
                      std::int32_t /*bytes*/, std::uint32_t /*flags*/, std::int32_t* samplesWritten,
                      std::int32_t* bytesWritten) {
        reportCount(samplesWritten, 0);
        reportCount(bytesWritten, 0);
        return kAviErrReadOnly;
    }
    // A stream of a file being written refuses this.
    virtual int read(std::int32_t /*start*/, std::int32_t /*samples*/, void* /*buffer*/,
                     std::int32_t /*bufferSize*/, std::int32_t* bytes, std::int32_t* samplesRead) {
        reportCount(bytes, 0);
        reportCount(samplesRead, 0);
        return kAviErrUnsupported;
    }
};

// The stream information that a stream header and its format block give
// (type, handler, rates, rectangle); counts and sizes are the caller's.
AviStreamInfo streamInfoOf(const AviStreamHeader& header, const std::vector<std::uint8_t>& format);
// The stream header a stream created with `info` starts from; the length is
// the writer's to count.
AviStreamHeader streamHeaderOf(const AviStreamInfo& info);

}  // namespace media

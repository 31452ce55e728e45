#include "media/avi_read_stream.h"

#include <algorithm>

namespace media {

int AviReadStream::info(AviStreamInfo& info) const {
    const AviReaderStream& s = data();
    info = streamInfoOf(s.header, s.format);
    info.caps = kFileCapsCanRead;
    info.length = s.length();
    info.suggestedBufferSize = s.largestChunk;
    info.sampleSize = s.sampleSize();
    info.name = s.name;
    return kAviOk;
}

int AviReadStream::format(std::vector<std::uint8_t>& out) const {
    out = data().format;
    return out.empty() ? kAviErrNoData : kAviOk;
}

std::size_t AviReadStream::chunkHolding(std::uint64_t byte) const {
    const AviReaderStream& s = data();
    auto it = std::upper_bound(s.chunkByteStart.begin(), s.chunkByteStart.end(), byte);
    std::size_t c = it == s.chunkByteStart.begin()
                        ? 0
                        : static_cast<std::size_t>(it - s.chunkByteStart.begin()) - 1;
    while (c < s.chunks.size() && byte >= s.chunkByteStart[c] + s.chunks[c].size)
        ++c;
    return c;
}

int AviReadStream::copyBytes(std::uint64_t from, std::uint64_t count, std::uint8_t* out) {
    const AviReaderStream& s = data();
    std::size_t c = chunkHolding(from);
    std::uint64_t offset = c < s.chunks.size() ? from - s.chunkByteStart[c] : 0;
    while (count > 0 && c < s.chunks.size()) {
        const std::uint64_t take = std::min<std::uint64_t>(count, s.chunks[c].size - offset);
        const int rc = reader_->readChunkPart(index_, c, static_cast<std::uint32_t>(offset), out,
                                              static_cast<std::size_t>(take));
        if (rc != kAviOk)
            return rc;
        out += take;
        count -= take;
        ++c;
        offset = 0;
    }
    return count == 0 ? kAviOk : kAviErrFileRead;
}

int AviReadStream::readFrame(std::size_t index, void* buffer, std::int32_t bufferSize,
                             std::int32_t* bytes, std::int32_t* samplesRead) {
    const AviChunkRef& c = data().chunks[index];
    if (buffer) {
        if (static_cast<std::uint64_t>(bufferSize) < c.size)
            return kAviErrBufferTooSmall;
        const int rc = reader_->readChunkPart(index_, index, 0, buffer, c.size);
        if (rc != kAviOk)
            return rc;
    }
    reportCount(bytes, saturatedInt32(c.size));
    reportCount(samplesRead, 1);
    return kAviOk;
}

// The samples of a kReadConvenient read at `byte`: the rest of the chunk
// holding it; when less than one sample is left there, the next chunk as well.
std::uint64_t AviReadStream::convenientSamples(std::uint64_t byte, void* buffer,
                                               std::int32_t bufferSize) const {
    const AviReaderStream& s = data();
    const std::uint32_t ss = s.sampleSize();
    std::uint64_t count = 0;
    const std::size_t c = chunkHolding(byte);
    if (c < s.chunks.size()) {
        std::uint64_t rest = s.chunkByteStart[c] + s.chunks[c].size - byte;
        if (rest < ss && c + 1 < s.chunks.size())
            rest += s.chunks[c + 1].size;
        count = rest / ss;
    }
    if (buffer)
        count = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(bufferSize) / ss);
    return count;
}

int AviReadStream::read(std::int32_t start, std::int32_t samples, void* buffer,
                        std::int32_t bufferSize, std::int32_t* bytes, std::int32_t* samplesRead) {
    reportCount(bytes, 0);
    reportCount(samplesRead, 0);
    if (bufferSize < 0 || (samples < 0 && samples != kReadConvenient))
        return kAviErrBadParam;
    const AviReaderStream& s = data();
    const std::int64_t first = s.header.start;
    const std::int64_t len = s.length();
    if (start < first || start > first + len)
        return kAviErrNoData;
    const std::uint64_t pos = static_cast<std::uint64_t>(start - first);
    const std::uint32_t ss = s.sampleSize();
    if (ss == 0) {
        if (pos >= s.chunks.size())
            return kAviErrNoData;
        return readFrame(static_cast<std::size_t>(pos), buffer, bufferSize, bytes, samplesRead);
    }
    if (static_cast<std::int64_t>(pos) == len || samples == 0)
        return kAviOk;

    const std::uint64_t byte = pos * ss;
    std::uint64_t count = samples == kReadConvenient ? convenientSamples(byte, buffer, bufferSize)
                                                     : static_cast<std::uint64_t>(samples);
    count = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(len) - pos);
    const std::uint64_t total = count * ss;
    if (buffer) {
        if (total > static_cast<std::uint64_t>(bufferSize) ||
            (count == 0 && bufferSize < static_cast<std::int64_t>(ss))) {
            return kAviErrBufferTooSmall;
        }
        const int rc = copyBytes(byte, total, static_cast<std::uint8_t*>(buffer));
        if (rc != kAviOk)
            return rc;
    }
    reportCount(bytes, saturatedInt32(total));
    reportCount(samplesRead, saturatedInt32(count));
    return kAviOk;
}

}  // namespace media

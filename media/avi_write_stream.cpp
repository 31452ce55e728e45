#include "media/avi_write_stream.h"

namespace media {

int AviWriteStream::info(AviStreamInfo& info) const {
    const AviStreamHeader& h = writer_->streamHeader(index_);
    info = streamInfoOf(h, writer_->streamFormat(index_));
    info.caps = kFileCapsCanRead | kFileCapsCanWrite;
    info.length = writer_->streamLength(index_);
    info.suggestedBufferSize = writer_->suggestedBufferSize(index_);
    info.sampleSize = h.sampleSize;
    info.name = writer_->streamName(index_);
    return kAviOk;
}

int AviWriteStream::format(std::vector<std::uint8_t>& out) const {
    out = writer_->streamFormat(index_);
    return out.empty() ? kAviErrNoData : kAviOk;
}

int AviWriteStream::setFormat(std::int32_t, const void* format, std::int32_t size) {
    if (size <= 0)
        return kAviErrBadParam;
    return writer_->setFormat(index_, format, static_cast<std::size_t>(size));
}

std::int32_t AviWriteStream::start() const {
    return saturatedInt32(writer_->streamHeader(index_).start);
}

std::int32_t AviWriteStream::length() const {
    return saturatedInt32(writer_->streamLength(index_));
}

int AviWriteStream::appendAt(std::int32_t start, const void* data, std::uint32_t bytes, bool key) {
    AviWriter& w = *writer_;
    const AviStreamHeader& h = w.streamHeader(index_);
    const std::int64_t next = static_cast<std::int64_t>(h.start) + w.streamLength(index_);
    if (start != kAppend && start < next)
        return kAviErrBadParam;
    if (h.sampleSize == 0 && start != kAppend) {
        // A frame beyond the next position: the frames between were dropped.
        for (std::int64_t gap = next; gap < start; ++gap) {
            if (int rc = w.writeChunk(index_, nullptr, 0, false); rc != kAviOk)
                return rc;
        }
    } else if (start != kAppend && start != next) {
        return kAviErrBadParam;
    }
    return w.writeChunk(index_, data, bytes, key);
}

int AviWriteStream::write(std::int32_t start, std::int32_t, const void* data, std::int32_t bytes,
                          std::uint32_t flags, std::int32_t* samplesWritten,
                          std::int32_t* bytesWritten) {
    reportCount(samplesWritten, 0);
    reportCount(bytesWritten, 0);
    if (bytes < 0 || (bytes > 0 && !data))
        return kAviErrBadParam;
    const AviStreamHeader& h = writer_->streamHeader(index_);
    const auto size = static_cast<std::uint32_t>(bytes);
    if (h.sampleSize > 0) {
        // Fixed-size streams count samples from the bytes (a recorder writes a
        // whole 0.4 s buffer as "1 sample"); partial samples would shift every
        // later sample, so they are refused.
        if (size % h.sampleSize != 0)
            return kAviErrBadSize;
        if (size == 0)
            return kAviOk;
    }
    const int rc = appendAt(start, data, size, (flags & kAviifKeyFrame) != 0);
    if (rc != kAviOk)
        return rc;
    reportCount(samplesWritten, h.sampleSize ? saturatedInt32(size / h.sampleSize) : 1);
    reportCount(bytesWritten, bytes);
    return kAviOk;
}

}  // namespace media

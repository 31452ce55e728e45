// The write side of a stream of an AVI file being written: one chunk per
// write, frames counted one per chunk, fixed-size samples (PCM) counted from
// the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/avi_stream.h"
#include "media/avi_writer.h"

namespace media {

class AviWriteStream final : public AviStream {
  public:
    // `writer` is the file's writer; it keeps the file alive.
    AviWriteStream(std::shared_ptr<AviWriter> writer, int index)
        : writer_(std::move(writer)), index_(index) {}

    int info(AviStreamInfo& info) const override;
    int format(std::vector<std::uint8_t>& out) const override;
    int setFormat(std::int32_t pos, const void* format, std::int32_t size) override;
    int write(std::int32_t start, std::int32_t samples, const void* data, std::int32_t bytes,
              std::uint32_t flags, std::int32_t* samplesWritten,
              std::int32_t* bytesWritten) override;
    std::int32_t start() const override;
    std::int32_t length() const override;
    int streamIndex() const override { return index_; }

    AviWriter& writer() const { return *writer_; }
    // Appends one chunk at frame/sample position `start` (kAppend = the end).
    int appendAt(std::int32_t start, const void* data, std::uint32_t bytes, bool key);

  private:
    std::shared_ptr<AviWriter> writer_;
    int index_;
};

}  // namespace media

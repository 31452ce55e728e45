// The read side of a stream of an AVI file opened for reading: frames one by
// one, fixed-size samples (PCM) across chunk boundaries.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/avi_reader.h"
#include "media/avi_stream.h"

namespace media {

class AviReadStream final : public AviStream {
  public:
    // `reader` is the file's reader; it keeps the file alive.
    AviReadStream(std::shared_ptr<AviReader> reader, int index)
        : reader_(std::move(reader)), index_(index) {}

    int info(AviStreamInfo& info) const override;
    int format(std::vector<std::uint8_t>& out) const override;
    int read(std::int32_t start, std::int32_t samples, void* buffer, std::int32_t bufferSize,
             std::int32_t* bytes, std::int32_t* samplesRead) override;
    std::int32_t start() const override { return saturatedInt32(data().header.start); }
    std::int32_t length() const override { return saturatedInt32(data().length()); }
    int streamIndex() const override { return index_; }

    const std::shared_ptr<AviReader>& reader() const { return reader_; }

  private:
    const AviReaderStream& data() const { return reader_->stream(index_); }
    int readFrame(std::size_t index, void* buffer, std::int32_t bufferSize, std::int32_t* bytes,
                  std::int32_t* samplesRead);
    std::uint64_t convenientSamples(std::uint64_t byte, void* buffer,
                                    std::int32_t bufferSize) const;
    int copyBytes(std::uint64_t from, std::uint64_t count, std::uint8_t* out);
    std::size_t chunkHolding(std::uint64_t byte) const;

    std::shared_ptr<AviReader> reader_;
    int index_;
};

}  // namespace media

#include "media/avi_file.h"

#include <algorithm>

#include "media/avi_read_stream.h"
#include "media/avi_write_stream.h"

namespace media {
namespace {

// The file's reader and writer, shared with the file's own lifetime: a stream
// holding one keeps the whole file open.
std::shared_ptr<AviReader> sharedReader(const AviFilePtr& file) {
    return std::shared_ptr<AviReader>(file, file->reader());
}
std::shared_ptr<AviWriter> sharedWriter(const AviFilePtr& file) {
    return std::shared_ptr<AviWriter>(file, file->writer());
}

void fileInfoFromStreams(const std::vector<AviStreamInfo>& streams, AviFileInfo& info) {
    for (const AviStreamInfo& s : streams) {
        const std::uint64_t perSample = s.sampleSize ? s.sampleSize : s.suggestedBufferSize;
        if (s.scale)
            info.maxBytesPerSec += static_cast<std::uint32_t>(
                std::min<std::uint64_t>(perSample * s.rate / s.scale, 0xFFFFFFFFu));
        info.suggestedBufferSize = std::max(info.suggestedBufferSize, s.suggestedBufferSize);
        if (s.sampleSize == 0) {
            info.width = std::max<std::uint32_t>(
                info.width, static_cast<std::uint32_t>(std::max(0, s.frame.right - s.frame.left)));
            info.height = std::max<std::uint32_t>(
                info.height, static_cast<std::uint32_t>(std::max(0, s.frame.bottom - s.frame.top)));
        }
    }
    info.streams = static_cast<std::uint32_t>(streams.size());
    if (!streams.empty()) {
        // The file's time base and length are the first stream's.
        info.scale = streams.front().scale;
        info.rate = streams.front().rate;
        info.length = streams.front().length;
    }
}

}  // namespace

// ------------------------------------------------------------------ file

AviFile::~AviFile() {
    close();
}

int AviFile::close() {
    if (closed_)
        return closeStatus_;
    closed_ = true;
    if (writer_)
        closeStatus_ = writer_->close();
    return closeStatus_;
}

int aviFileOpen(AviFilePtr& file, const std::string& path, std::uint32_t mode) {
    file.reset();
    if (mode & kOpenCreate)
        return aviFileCreate(file, path, AviWriterOptions{});
    if (mode != kOpenRead)
        return kAviErrUnsupported;
    AviFilePtr f(new AviFile());
    f->path_ = path;
    f->reader_ = std::make_unique<AviReader>();
    if (int rc = f->reader_->open(path); rc != kAviOk)
        return rc;
    file = std::move(f);
    return kAviOk;
}

int aviFileCreate(AviFilePtr& file, const std::string& path, const AviWriterOptions& options) {
    file.reset();
    AviFilePtr f(new AviFile());
    f->path_ = path;
    f->writer_ = std::make_unique<AviWriter>();
    if (int rc = f->writer_->create(path, options); rc != kAviOk)
        return rc;
    file = std::move(f);
    return kAviOk;
}

int aviFileInfo(const AviFilePtr& file, AviFileInfo& info) {
    info = AviFileInfo{};
    if (!file)
        return kAviErrBadHandle;
    std::vector<AviStreamInfo> streams;
    if (AviReader* r = file->reader()) {
        for (int i = 0; i < r->streamCount(); ++i) {
            AviStreamInfo si;
            AviReadStream(sharedReader(file), i).info(si);
            streams.push_back(std::move(si));
        }
        info.flags = r->mainFlags();
        info.caps = kFileCapsCanRead;
    } else {
        AviWriter* w = file->writer();
        for (int i = 0; i < w->streamCount(); ++i) {
            AviStreamInfo si;
            AviWriteStream(sharedWriter(file), i).info(si);
            si.suggestedBufferSize = 0;
            streams.push_back(std::move(si));
        }
        info.flags = kAvifHasIndex | kAvifTrustCkType;
        info.caps = kFileCapsCanRead | kFileCapsCanWrite;
    }
    fileInfoFromStreams(streams, info);
    return kAviOk;
}

int aviFileGetStream(const AviFilePtr& file, AviStreamPtr& stream, std::uint32_t fccType,
                     std::int32_t n) {
    stream.reset();
    if (!file)
        return kAviErrBadHandle;
    if (AviReader* r = file->reader()) {
        const int index = r->findStream(fccType, n);
        if (index < 0)
            return kAviErrNoData;
        stream = std::make_shared<AviReadStream>(sharedReader(file), index);
        return kAviOk;
    }
    AviWriter* w = file->writer();
    int seen = 0;
    for (int i = 0; i < w->streamCount(); ++i) {
        if (fccType != 0 && w->streamHeader(i).fccType != fccType)
            continue;
        if (seen++ == n) {
            stream = std::make_shared<AviWriteStream>(sharedWriter(file), i);
            return kAviOk;
        }
    }
    return kAviErrNoData;
}

int aviFileCreateStream(const AviFilePtr& file, AviStreamPtr& stream, const AviStreamInfo& info) {
    stream.reset();
    if (!file)
        return kAviErrBadHandle;
    AviWriter* w = file->writer();
    if (!w)
        return kAviErrReadOnly;
    int index = -1;
    if (int rc = w->addStream(streamHeaderOf(info), info.name, &index); rc != kAviOk)
        return rc;
    stream = std::make_shared<AviWriteStream>(sharedWriter(file), index);
    return kAviOk;
}

int aviFileFlush(const AviFilePtr& file) {
    if (!file)
        return kAviErrBadHandle;
    if (!file->writer())
        return kAviErrReadOnly;
    return file->writer()->flush();
}

int aviFileRelease(AviFilePtr& file) {
    if (!file)
        return kAviOk;
    int status = kAviOk;
    if (file.use_count() == 1)
        status = file->close();
    file.reset();
    return status;
}

// ---------------------------------------------------------------- streams

int aviStreamInfo(const AviStreamPtr& stream, AviStreamInfo& info) {
    info = AviStreamInfo{};
    return stream ? stream->info(info) : kAviErrBadHandle;
}

int aviStreamReadFormat(const AviStreamPtr& stream, std::vector<std::uint8_t>& format) {
    format.clear();
    return stream ? stream->format(format) : kAviErrBadHandle;
}

int aviStreamSetFormat(const AviStreamPtr& stream, std::int32_t pos, const void* format,
                       std::int32_t size) {
    return stream ? stream->setFormat(pos, format, size) : kAviErrBadHandle;
}

int aviStreamWrite(const AviStreamPtr& stream, std::int32_t start, std::int32_t samples,
                   const void* data, std::int32_t bytes, std::uint32_t flags,
                   std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
    if (!stream)
        return kAviErrBadHandle;
    return stream->write(start, samples, data, bytes, flags, samplesWritten, bytesWritten);
}

int aviStreamRead(const AviStreamPtr& stream, std::int32_t start, std::int32_t samples,
                  void* buffer, std::int32_t bufferSize, std::int32_t* bytes,
                  std::int32_t* samplesRead) {
    if (!stream) {
        reportCount(bytes, 0);
        reportCount(samplesRead, 0);
        return kAviErrBadHandle;
    }
    return stream->read(start, samples, buffer, bufferSize, bytes, samplesRead);
}

std::int32_t aviStreamStart(const AviStreamPtr& stream) {
    return stream ? stream->start() : 0;
}
std::int32_t aviStreamLength(const AviStreamPtr& stream) {
    return stream ? stream->length() : 0;
}

int aviStreamRelease(AviStreamPtr& stream) {
    stream.reset();
    return kAviOk;
}

std::unique_ptr<AviGetFrame> aviStreamGetFrameOpen(const AviStreamPtr& stream,
                                                   const BitmapInfoHeader* wanted) {
    // Only the read side of a stream has frames to decode.
    const auto* readStream = dynamic_cast<const AviReadStream*>(stream.get());
    if (!readStream)
        return nullptr;
    return AviGetFrame::open(readStream->reader(), readStream->streamIndex(), wanted);
}

const std::uint8_t* aviStreamGetFrame(AviGetFrame* getFrame, std::int32_t pos) {
    return getFrame ? getFrame->frame(pos) : nullptr;
}

void aviStreamGetFrameClose(std::unique_ptr<AviGetFrame>& getFrame) {
    getFrame.reset();
}

}  // namespace media

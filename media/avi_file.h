// The AVI file services the recorder and the editing engines call, one
// function per step they take (the Video for Windows call each one stands in
// for is named in its comment). Every function returns 0 or a nonzero status
// (the kAviErr* values of avi_format.h); none throws.
//
// Handles are shared pointers. A stream keeps its file alive, a compressing
// stream keeps its target stream alive, a frame decompressor keeps the file's
// reader alive; a file being written is completed (indexes, sizes, lengths)
// when its last handle goes: aviFileRelease() on the last handle returns the
// status of that completion.
//
// Nothing here locks: a writer fed from two threads (frames and sound) must be
// guarded by its owner.
//
// Where they live: the file calls in avi_file.cpp, the read side of a stream
// in avi_read_stream.*, the write side in avi_write_stream.*, the compressing
// layer in avi_compressed_stream.*, the frame decompressor in avi_get_frame.*.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/avi_format.h"
#include "media/avi_get_frame.h"
#include "media/avi_reader.h"
#include "media/avi_stream.h"
#include "media/avi_writer.h"

namespace media {

// An open AVI file: a reader, or a writer. Streams share its reader or writer
// and so keep it open.
class AviFile {
  public:
    ~AviFile();
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    bool isWriting() const { return writer_ != nullptr; }
    AviReader* reader() { return reader_.get(); }
    AviWriter* writer() { return writer_.get(); }
    const std::string& path() const { return path_; }
    // Completes a file being written; later calls return the first result.
    int close();

  private:
    friend int aviFileOpen(AviFilePtr&, const std::string&, std::uint32_t);
    friend int aviFileCreate(AviFilePtr&, const std::string&, const AviWriterOptions&);
    AviFile() = default;

    std::string path_;
    std::unique_ptr<AviReader> reader_;
    std::unique_ptr<AviWriter> writer_;
    bool closed_ = false;
    int closeStatus_ = kAviOk;
};

// AVIFileOpen: mode kOpenRead, or kOpenCreate | kOpenWrite (an existing file is
// replaced). On failure `file` is empty.
int aviFileOpen(AviFilePtr& file, const std::string& path, std::uint32_t mode);
// Creates a file for writing with writer options (segment size, index room).
int aviFileCreate(AviFilePtr& file, const std::string& path, const AviWriterOptions& options);
// AVIFileInfo.
int aviFileInfo(const AviFilePtr& file, AviFileInfo& info);
// AVIFileGetStream: the n-th stream of this type (0 = any); kAviErrNoData and an
// empty handle when there is none.
int aviFileGetStream(const AviFilePtr& file, AviStreamPtr& stream, std::uint32_t fccType,
                     std::int32_t n);
// AVIFileCreateStream: streams are numbered in creation order; refused after
// the first write, or for a zero type, scale or rate.
int aviFileCreateStream(const AviFilePtr& file, AviStreamPtr& stream, const AviStreamInfo& info);
// Makes everything written so far survive a crash of this process; cheap
// enough to call every few seconds.
int aviFileFlush(const AviFilePtr& file);
// AVIFileRelease: drops this handle; the last one completes a written file.
int aviFileRelease(AviFilePtr& file);

// AVIMakeCompressedStream: a stream that encodes the bottom-up DIBs written to
// it with Microsoft Video 1 (options.fccHandler "MSVC"/"CRAM"/...) into
// `source`. kAviErrNoCompressor for any other codec.
//
// Key frames: options.keyFrameEvery > 0 makes a key frame whenever that many
// frames have passed since the last one (the KEYFRAMES flag is not needed, so
// a "key frame every 5" request is honoured); 0 makes every frame a key frame,
// or only the first when the KEYFRAMES flag is set. A write flagged
// kAviifKeyFrame is encoded as a key frame.
int aviMakeCompressedStream(AviStreamPtr& compressed, const AviStreamPtr& source,
                            const AviCompressOptions& options);

// AVIStreamInfo.
int aviStreamInfo(const AviStreamPtr& stream, AviStreamInfo& info);
// AVIStreamReadFormat (whole format block).
int aviStreamReadFormat(const AviStreamPtr& stream, std::vector<std::uint8_t>& format);
// AVIStreamSetFormat. On a compressing stream `format` is the encoder's input
// (BITMAPINFOHEADER, BI_RGB, 16/24/32 bits, bottom-up) and the file gets the
// encoder's output format.
int aviStreamSetFormat(const AviStreamPtr& stream, std::int32_t pos, const void* format,
                       std::int32_t size);
// AVIStreamWrite. start kAppend (-1) appends. Video: one frame per call; a
// start beyond the next frame inserts empty (dropped) frames. Fixed-size
// streams: one chunk of `bytes` bytes (a multiple of the sample size) whose
// length counts bytes / sample size, whatever `samples` says.
int aviStreamWrite(const AviStreamPtr& stream, std::int32_t start, std::int32_t samples,
                   const void* data, std::int32_t bytes, std::uint32_t flags,
                   std::int32_t* samplesWritten = nullptr, std::int32_t* bytesWritten = nullptr);
// AVIStreamRead. Video: one frame. Fixed-size streams: `samples` samples across
// chunks, or kReadConvenient: the rest of the chunk holding `start`. A null
// buffer only reports the counts.
int aviStreamRead(const AviStreamPtr& stream, std::int32_t start, std::int32_t samples,
                  void* buffer, std::int32_t bufferSize, std::int32_t* bytes,
                  std::int32_t* samplesRead);
// AVIStreamStart / AVIStreamLength; 0 for an empty handle.
std::int32_t aviStreamStart(const AviStreamPtr& stream);
std::int32_t aviStreamLength(const AviStreamPtr& stream);
// AVIStreamRelease.
int aviStreamRelease(AviStreamPtr& stream);

// AVIStreamGetFrameOpen: a decompressor giving packed DIBs (40-byte header,
// palette for 8 bits, bottom-up rows). `wanted` may be null (the codec's own
// output: 16-bit 5-5-5 or 8-bit for Video 1; uncompressed RGB as it is) or a
// BI_RGB header of that same depth. Empty when the stream cannot be decoded.
std::unique_ptr<AviGetFrame> aviStreamGetFrameOpen(const AviStreamPtr& stream,
                                                   const BitmapInfoHeader* wanted = nullptr);
// AVIStreamGetFrame: the frame at `pos`, valid until the next call; null when
// there is no frame there.
const std::uint8_t* aviStreamGetFrame(AviGetFrame* getFrame, std::int32_t pos);
// AVIStreamGetFrameClose.
void aviStreamGetFrameClose(std::unique_ptr<AviGetFrame>& getFrame);

}  // namespace media

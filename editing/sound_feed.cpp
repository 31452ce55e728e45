#include "editing/sound_feed.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <limits>

#include "editing/edit_steps.h"

namespace editing {
namespace {

// Source samples read ahead of what the resampler has to give back, so its
// filter delay never leaves a request short: a few milliseconds at any rate.
constexpr std::int64_t kResamplerSlack = 256;
// Unsigned 8-bit PCM is silent at its middle value; every wider size at 0.
constexpr std::uint8_t kSilence8Bit = 0x80;

}  // namespace

// libswresample from the source's PCM to the output format. 24-bit samples
// are widened to 32 bits first: the library has no packed 24-bit format.
struct SoundFeed::Converter {
    SwrContext* context = nullptr;
    std::uint32_t inputRate = 0;
    std::vector<std::uint8_t> widened;
    std::vector<std::uint8_t> converted;  // output samples not yet taken

    ~Converter() { swr_free(&context); }
};

SoundFeed::SoundFeed() = default;
SoundFeed::~SoundFeed() = default;

int SoundFeed::start(const media::AviStreamPtr& stream, const media::WaveFormatEx& format,
                     std::int64_t numerator, std::int64_t denominator, QString& reason) {
    stream_ = stream;
    format_ = format;
    converter_.reset();
    if (!stream_)
        return 0;
    position_ = numerator * format.samplesPerSec / denominator;
    const media::WaveFormatEx own = media::recordingAudioFormat();
    if (format.channels == own.channels && format.samplesPerSec == own.samplesPerSec &&
        format.bitsPerSample == own.bitsPerSample)
        return 0;
    auto converter = std::make_unique<Converter>();
    converter->inputRate = format.samplesPerSec;
    const AVSampleFormat inputFormat = format.bitsPerSample == 8    ? AV_SAMPLE_FMT_U8
                                       : format.bitsPerSample == 16 ? AV_SAMPLE_FMT_S16
                                                                    : AV_SAMPLE_FMT_S32;
    AVChannelLayout inputLayout;
    AVChannelLayout outputLayout;
    av_channel_layout_default(&inputLayout, format.channels);
    av_channel_layout_default(&outputLayout, own.channels);
    int rc = swr_alloc_set_opts2(&converter->context, &outputLayout, AV_SAMPLE_FMT_S16,
                                 static_cast<int>(own.samplesPerSec), &inputLayout, inputFormat,
                                 static_cast<int>(format.samplesPerSec), 0, nullptr);
    if (rc >= 0)
        rc = swr_init(converter->context);
    av_channel_layout_uninit(&inputLayout);
    av_channel_layout_uninit(&outputLayout);
    if (rc < 0) {
        reason = QStringLiteral("The sound converter cannot take %1 Hz, %2 channels, %3 bits.")
                     .arg(format.samplesPerSec)
                     .arg(format.channels)
                     .arg(format.bitsPerSample);
        return kEditErrSoundFormat;
    }
    converter_ = std::move(converter);
    return 0;
}

// `samples` source samples from the current position, silence wherever the
// stream has none.
int SoundFeed::readSource(std::int64_t samples, std::vector<std::uint8_t>& out) {
    const std::size_t blockAlign = format_.blockAlign;
    out.assign(static_cast<std::size_t>(samples) * blockAlign,
               format_.bitsPerSample == 8 ? kSilence8Bit : 0);
    const std::int64_t first = media::aviStreamStart(stream_);
    const std::int64_t end = first + media::aviStreamLength(stream_);
    const std::int64_t from = std::max(position_, first);
    const std::int64_t to = std::min(position_ + samples, end);
    const std::int64_t at = position_;
    position_ += samples;
    if (from >= to || from > std::numeric_limits<std::int32_t>::max())
        return 0;
    const std::size_t offset = static_cast<std::size_t>(from - at) * blockAlign;
    std::int32_t bytes = 0;
    std::int32_t got = 0;
    return media::aviStreamRead(stream_, static_cast<std::int32_t>(from),
                                static_cast<std::int32_t>(to - from), out.data() + offset,
                                static_cast<std::int32_t>(out.size() - offset), &bytes, &got);
}

int SoundFeed::take(std::int64_t samples, std::vector<std::uint8_t>& out) {
    const std::size_t wanted = static_cast<std::size_t>(samples) * media::kSoundSampleBytes;
    if (!stream_) {
        out.assign(wanted, 0);
        return 0;
    }
    if (!converter_)
        return readSource(samples, out);
    Converter& c = *converter_;
    while (c.converted.size() < wanted) {
        const std::int64_t missing =
            static_cast<std::int64_t>(wanted - c.converted.size()) / media::kSoundSampleBytes;
        const std::int64_t count =
            missing * c.inputRate / media::kSoundSampleRate + kResamplerSlack;
        if (int rc = readSource(count, raw_))
            return rc;
        const std::uint8_t* input = raw_.data();
        if (format_.bitsPerSample == 24) {
            c.widened.resize(raw_.size() / 3 * 4);
            for (std::size_t i = 0, o = 0; i + 2 < raw_.size(); i += 3, o += 4) {
                c.widened[o] = 0;
                std::memcpy(&c.widened[o + 1], &raw_[i], 3);
            }
            input = c.widened.data();
        }
        const int room = swr_get_out_samples(c.context, static_cast<int>(count));
        const std::size_t had = c.converted.size();
        c.converted.resize(had + static_cast<std::size_t>(room) * media::kSoundSampleBytes);
        std::uint8_t* output = c.converted.data() + had;
        const int made = swr_convert(c.context, &output, room, &input, static_cast<int>(count));
        if (made < 0)
            return media::kAviErrInternal;
        c.converted.resize(had + static_cast<std::size_t>(made) * media::kSoundSampleBytes);
    }
    // What stays behind is at most one read-ahead, so the buffer stays small.
    const auto split = c.converted.begin() + static_cast<std::ptrdiff_t>(wanted);
    out.assign(c.converted.begin(), split);
    c.converted.erase(c.converted.begin(), split);
    return 0;
}

}  // namespace editing

#include "media/avi_stream.h"

#include <algorithm>

namespace media {

AviStreamInfo streamInfoOf(const AviStreamHeader& h, const std::vector<std::uint8_t>& format) {
    AviStreamInfo info;
    info.fccType = h.fccType;
    info.fccHandler = h.fccHandler;
    info.flags = h.flags;
    info.priority = h.priority;
    info.language = h.language;
    info.scale = h.scale;
    info.rate = h.rate;
    info.start = h.start;
    info.initialFrames = h.initialFrames;
    info.quality = h.quality;
    info.frame = AviRect{h.frameLeft, h.frameTop, h.frameRight, h.frameBottom};
    if (h.fccType == kFccVids && info.frame.right <= info.frame.left &&
        info.frame.bottom <= info.frame.top && format.size() >= kBitmapInfoHeaderBytes) {
        // An empty strh rectangle reads as the picture size.
        const BitmapInfoHeader bih = loadBitmapInfoHeader(format.data());
        info.frame = {0, 0, bih.width, bih.height < 0 ? -bih.height : bih.height};
    }
    return info;
}

AviStreamHeader streamHeaderOf(const AviStreamInfo& info) {
    AviStreamHeader h;
    h.fccType = info.fccType;
    h.fccHandler = info.fccHandler;
    h.flags = info.flags;
    h.priority = info.priority;
    h.language = info.language;
    h.initialFrames = info.initialFrames;
    h.scale = info.scale;
    h.rate = info.rate;
    h.start = info.start;
    h.suggestedBufferSize = info.suggestedBufferSize;
    h.quality = info.quality;
    h.sampleSize = info.sampleSize;
    auto clamp16 = [](std::int32_t v) {
        return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
    };
    h.frameLeft = clamp16(info.frame.left);
    h.frameTop = clamp16(info.frame.top);
    h.frameRight = clamp16(info.frame.right);
    h.frameBottom = clamp16(info.frame.bottom);
    return h;
}

}  // namespace media

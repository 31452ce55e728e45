#include "platform/screen_source.h"

#include <limits>

namespace {

constexpr int kLargestFrameSide = 32767;  // X11 and the AVI rectangle both stop at 16 bits

}  // namespace

const char* screenStatusName(int status) {
    switch (status) {
        case kScreenOk:
            return "ok";
        case kScreenErrNoDisplay:
            return "no X display";
        case kScreenErrNeedsX11:
            return "screen capture needs an X11 session";
        case kScreenErrDisplayLost:
            return "X display connection lost";
        case kScreenErrUnsupportedFormat:
            return "unsupported screen pixel format";
        case kScreenErrBadGeometry:
            return "unusable screen geometry";
        case kScreenErrNotOpen:
            return "screen source not open";
        case kScreenErrBufferTooSmall:
            return "frame buffer too small";
        case kScreenErrGrabFailed:
            return "screen grab failed";
        default:
            return "unknown screen status";
    }
}

bool isUsableGeometry(const ScreenGeometry& geometry) {
    if (geometry.width <= 0 || geometry.height <= 0)
        return false;
    if (geometry.width > kLargestFrameSide || geometry.height > kLargestFrameSide)
        return false;
    if (geometry.planes != 1)
        return false;
    if (geometry.bitsPerPixel != 16 && geometry.bitsPerPixel != 24 && geometry.bitsPerPixel != 32)
        return false;
    return frameBytes(geometry) <= std::numeric_limits<std::uint32_t>::max();
}

std::uint64_t frameRowBytes(const ScreenGeometry& geometry) {
    if (geometry.width <= 0 || geometry.bitsPerPixel <= 0)
        return 0;
    return media::dibRowBytes(geometry.width, geometry.bitsPerPixel);
}

std::uint64_t frameBytes(const ScreenGeometry& geometry) {
    if (geometry.height <= 0)
        return 0;
    return frameRowBytes(geometry) * static_cast<std::uint64_t>(geometry.height);
}

media::BitmapInfoHeader frameFormatHeader(const ScreenGeometry& geometry) {
    media::BitmapInfoHeader header;
    header.width = geometry.width;
    header.height = geometry.height;
    header.planes = static_cast<std::uint16_t>(geometry.planes);
    header.bitCount = static_cast<std::uint16_t>(geometry.bitsPerPixel);
    header.compression = media::kBiRgb;
    header.sizeImage = static_cast<std::uint32_t>(frameBytes(geometry));
    return header;
}

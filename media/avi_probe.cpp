#include "media/avi_probe.h"

#include <algorithm>

#include "media/avi_format.h"
#include "media/binary_file.h"

namespace media {
namespace {

// A header list never holds more chunks than this; a file that claims more is
// not worth walking chunk by chunk in a directory scan.
constexpr int kMaxHeaderChunks = 4096;

class HeaderWalker {
  public:
    HeaderWalker(BinaryFile& file, AviProbe& probe) : file_(file), probe_(probe) {}

    bool walkHdrl(std::uint64_t pos, std::uint64_t end) {
        bool haveAvih = false;
        std::uint8_t h[12];
        while (pos + 8 <= end && budget_-- > 0) {
            if (!file_.readAt(pos, h, 8))
                return haveAvih;
            const std::uint32_t id = le32(h);
            const std::uint64_t size = le32(h + 4);
            const std::uint64_t body = pos + 8;
            const std::uint64_t bodyEnd = std::min(end, body + size);
            if (id == kFccAvih && bodyEnd - body >= 40) {
                std::uint8_t m[40];
                if (!file_.readAt(body, m, sizeof m))
                    return false;
                probe_.mainTotalFrames = le32(m + 16);
                probe_.width = le32(m + 32);
                probe_.height = le32(m + 36);
                haveAvih = true;
            } else if (id == kFccList && bodyEnd - body >= 4) {
                if (!file_.readAt(body, h + 8, 4))
                    return haveAvih;
                if (le32(h + 8) == kFccStrl)
                    walkStrl(body + 4, bodyEnd);
                if (le32(h + 8) == kFccOdml)
                    walkOdml(body + 4, bodyEnd);
            }
            pos = body + size + (size & 1);
        }
        return haveAvih;
    }

  private:
    void walkStrl(std::uint64_t pos, std::uint64_t end) {
        const bool first = probe_.streams++ == 0;
        std::uint8_t h[8];
        while (first && pos + 8 <= end && budget_-- > 0) {
            if (!file_.readAt(pos, h, 8))
                return;
            const std::uint32_t size = le32(h + 4);
            if (le32(h) == kFccStrh && size >= kMinStreamHeaderBytes && end - pos - 8 >= 40) {
                std::uint8_t s[40];
                if (!file_.readAt(pos + 8, s, sizeof s))
                    return;
                probe_.fccType = le32(s);
                probe_.fccHandler = le32(s + 4);
                probe_.scale = le32(s + 20);
                probe_.rate = le32(s + 24);
                probe_.length = le32(s + 32);
                return;
            }
            pos += 8 + std::uint64_t{size} + (size & 1);
        }
    }

    void walkOdml(std::uint64_t pos, std::uint64_t end) {
        std::uint8_t h[12];
        while (pos + 12 <= end && budget_-- > 0) {
            if (!file_.readAt(pos, h, 12))
                return;
            const std::uint32_t size = le32(h + 4);
            if (le32(h) == kFccDmlh && size >= 4) {
                probe_.odmlTotalFrames = le32(h + 8);
                return;
            }
            pos += 8 + std::uint64_t{size} + (size & 1);
        }
    }

    BinaryFile& file_;
    AviProbe& probe_;
    int budget_ = kMaxHeaderChunks;
};

}  // namespace

std::uint32_t AviProbe::durationSeconds() const {
    if (scale == 0)
        return 0;
    const std::uint32_t perSecond = rate / scale;
    return perSecond ? length / perSecond : 0;
}

int aviProbeFile(const std::string& path, AviProbe& probe) {
    probe = AviProbe{};
    BinaryFile file;
    if (!file.open(path, BinaryFile::Mode::Read))
        return kAviErrFileOpen;
    std::uint8_t h[24];
    if (!file.readAt(0, h, sizeof h) || le32(h) != kFccRiff || le32(h + 8) != kFccAvi) {
        return kAviErrBadFormat;
    }
    // The header list is the first chunk of every AVI writer we know of; a
    // JUNK chunk before it is skipped.
    std::uint64_t pos = 12;
    for (int i = 0; i < 8 && pos + 12 <= file.size(); ++i) {
        std::uint8_t c[12];
        if (!file.readAt(pos, c, sizeof c))
            break;
        const std::uint32_t size = le32(c + 4);
        if (le32(c) == kFccList && le32(c + 8) == kFccHdrl && size >= 4) {
            const std::uint64_t end = std::min<std::uint64_t>(file.size(), pos + 8 + size);
            HeaderWalker walker(file, probe);
            // Without the first stream's header there is no time base.
            if (!walker.walkHdrl(pos + 12, end) || probe.fccType == 0)
                return kAviErrBadFormat;
            return kAviOk;
        }
        pos += 8 + std::uint64_t{size} + (size & 1);
    }
    return kAviErrBadFormat;
}

}  // namespace media

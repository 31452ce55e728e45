// Scratch directories, whole files as bytes, and the recorder-shaped recording
// and never-flushed index the media tests start from.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "media/avi_format.h"
#include "tests/support/programs.h"
#include "tests/support/recordings.h"

namespace mediatest {

using namespace testsupport;
namespace fs = std::filesystem;

// A fresh directory per name, under one removed when the test program ends.
inline fs::path scratchDir(const std::string& name) {
    static const struct Root {
        fs::path path = fs::temp_directory_path() / ("tessaly_media_" + std::to_string(::getpid()));
        ~Root() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } root;
    fs::remove_all(root.path / name);
    fs::create_directories(root.path / name);
    return root.path / name;
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
// The first `count` bytes (all by default).
inline void writeFile(const fs::path& path, const Bytes& bytes, std::size_t count = SIZE_MAX) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(std::min(count, bytes.size())));
}
inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return media::le32(b.data() + at);
}

// Where the parts of a file are, found by walking its RIFF structure: lists
// by their type, stream chunks under 0, standard indexes under "ix##", the
// other chunks by their id.
using Layout = std::map<std::uint32_t, std::vector<std::size_t>>;
inline const std::uint32_t kIx = media::fourcc("ix##");

inline void walk(const Bytes& b, std::size_t pos, std::size_t end, Layout& l) {
    for (; pos + 8 <= end;
         pos = static_cast<std::size_t>(media::nextChunkPos(pos, get32(b, pos + 4)))) {
        const std::uint32_t id = get32(b, pos);
        const bool list = id == media::kFccRiff || id == media::kFccList;
        l[list                                ? get32(b, pos + 8)
          : (id & 0xFFFF) == ('i' | 'x' << 8) ? kIx
          : media::chunkStreamNumber(id) >= 0 ? 0
                                              : id]
            .push_back(pos);
        if (list)
            walk(b, pos + 12, std::min<std::size_t>(end, pos + 8 + get32(b, pos + 4)), l);
    }
}

// A Video 1 file with sound made by FFmpeg's encoder from a moving test
// pattern, 64x48 at 5 fps; `options` give its length and key frame spacing.
inline void ffmpegVideo1File(const fs::path& file, const std::string& options) {
    std::string log;
    ASSERT_EQ(runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -f lavfi -i "
                         "sine=r=44100 -ac 2 -c:v msvideo1 -pix_fmt rgb555le -c:a pcm_s16le " +
                             options + " '" + file.string() + "' 2>&1",
                         log),
              0)
        << log;
}

// Zeroes the entry counts of the OpenDML super indexes found before `end`, as
// in a file whose writer never flushed; returns how many it found.
inline int clearSuperIndexes(Bytes& b, std::size_t end) {
    int cleared = 0;
    for (std::size_t at = 12; at + 16 <= end && at + 16 <= b.size(); at += 2) {
        if (get32(b, at) == media::kFccIndx && ++cleared)
            media::put32(b.data() + at + 12, 0);
    }
    return cleared;
}

}  // namespace mediatest

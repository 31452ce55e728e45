// Recordings killed between flushes, cut short or damaged: our reader keeps
// every complete chunk, and FFmpeg reads what was flushed. `tessaly-avi info`
// describes such files and refuses others. `tessaly-avi
// repair` either refuses and leaves a file byte for byte as it was, or
// rewrites the file itself (same inode, mode, owner and hard links, never
// through a link planted beside it) so that our reader finds the same chunks
// with no problem left, FFmpeg finds no fewer packets with no more decoding
// errors, and the file grows by no more than fresh headers and indexes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "media/riff_layout.h"
#include "tests/media/media_test_files.h"

using namespace media;
using namespace mediatest;

namespace {

// Per stream, every chunk our reader finds, in order, and its problems.
struct Found {
    std::vector<std::vector<Bytes>> chunks;
    std::vector<std::string> problems;
    std::uint64_t payload = 0;  // bytes of those chunks with their headers
};
Found chunksOf(const fs::path& path) {
    AviReader r;
    Found f;
    if (r.open(path.string()) != kAviOk)
        return f;
    f.problems = r.problems();
    for (int s = 0; s < r.streamCount(); ++s) {
        f.chunks.emplace_back(r.stream(s).chunks.size());
        for (std::size_t c = 0; c < r.stream(s).chunks.size(); ++c) {
            EXPECT_EQ(r.readChunk(s, c, f.chunks.back()[c]), kAviOk);
            f.payload += kChunkHeaderBytes + paddedChunkSize(r.stream(s).chunks[c].size);
        }
    }
    return f;
}

// Our reader's chunks are the first ones of the whole file, at least
// `minVideo` and `minAudio` of them (`exactly` as many); the last sound block
// may be cut short, to whole samples. The whole file's sound is the blocks written.
void expectPrefixOf(const Found& f, const Found& whole, const RecordingResult& written,
                    std::size_t minVideo, std::size_t minAudio, bool exactly = false) {
    ASSERT_EQ(f.chunks.size(), 2u);
    ASSERT_EQ(whole.chunks[1], written.audioChunks);
    const std::vector<Bytes>&v = f.chunks[0], &a = f.chunks[1];
    EXPECT_TRUE(v.size() >= minVideo && a.size() >= minAudio &&
                (!exactly || (v.size() == minVideo && a.size() == minAudio)))
        << v.size() << " " << a.size();
    ASSERT_TRUE(v.size() <= whole.chunks[0].size() && a.size() <= written.audioChunks.size());
    EXPECT_TRUE(std::equal(v.begin(), v.end(), whole.chunks[0].begin()));
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_TRUE(a[i].size() % kSoundSampleBytes == 0 &&
                    (i + 1 == a.size() || a[i].size() == kAudioChunkBytes) &&
                    std::equal(a[i].begin(), a[i].end(), written.audioChunks[i].begin()))
            << "sound block " << i;
    }
}

// Noisy Video 1 frames (large chunks) with sound, as the recorder writes them.
RecordingShape recorderShape(int width, int height, int frames, std::uint64_t segmentLimit) {
    return {frames, 5, 1, width, height, true, 5, true, segmentLimit, true};
}

}  // namespace

TEST(AviRecovery, KilledBetweenFlushesKeepsEveryFlushedChunk) {
    if (!haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg not installed";
    const fs::path dir = scratchDir("killed");
    constexpr int kFlushEvery = 10;
    constexpr int kFrames = 90;
    // Frames flushed (and half as many sound blocks) when the copy was made.
    std::vector<std::pair<std::size_t, fs::path>> snapshots;
    std::size_t flushedFrames = 0;
    const auto written = writeRecording(
        dir / "rec.avi", recorderShape(160, 120, kFrames, 512 * 1024),
        [&](const AviFilePtr& file, int f) {
            if ((f + 1) % kFlushEvery == 0) {
                ASSERT_EQ(aviFileFlush(file), kAviOk);
                flushedFrames = f + 1;
            }
            // The copy sees what the operating system has, as after a kill:
            // bytes still in the writer's stdio buffer are lost.
            if (f == 3 || f == 13 || f == 36 || f == 77) {
                const fs::path copy = dir / ("killed" + std::to_string(f) + ".avi");
                fs::copy_file(dir / "rec.avi", copy, fs::copy_options::overwrite_existing);
                snapshots.push_back({flushedFrames, copy});
            }
        });
    ASSERT_EQ(written.status, kAviOk);
    ASSERT_GE(written.segments, 3);
    const Found whole = chunksOf(dir / "rec.avi");
    const std::size_t frameBytes = 160 * 120 * 2;
    const Bytes full = ffmpegDecode(dir / "rec.avi", "rgb555le");
    ASSERT_EQ(full.size(), frameBytes * kFrames);
    for (const auto& [flushed, path] : snapshots) {
        SCOPED_TRACE(path.filename().string());
        expectPrefixOf(chunksOf(path), whole, written, flushed, flushed / 2);
        AviReader r;
        ASSERT_EQ(r.open(path.string()), kAviOk);
        // The header was rewritten at the flush: lengths are known without the index.
        EXPECT_TRUE(!flushed || (r.stream(0).header.length == flushed &&
                                 r.indexKind() == AviIndexKind::OpenDml));
        const Bytes part = ffmpegDecode(path, "rgb555le");
        ASSERT_TRUE(part.size() >= frameBytes * flushed && part.size() <= full.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin()));
    }
}

// Cut short in the headers, in a chunk's header, in the middle of a frame, of
// a sound block (whole samples are kept) and of an index, at a chunk's end
// and between RIFF segments: every chunk complete before the cut is kept.
TEST(AviRecovery, CutShortKeepsEveryCompleteChunk) {
    const fs::path dir = scratchDir("cut");
    const auto written = writeRecording(dir / "rec.avi", recorderShape(64, 48, 40, 128 * 1024));
    ASSERT_EQ(written.status, kAviOk);
    const Found wholeChunks = chunksOf(dir / "rec.avi");
    const Bytes b = readFile(dir / "rec.avi");
    Layout l;
    walk(b, 0, b.size(), l);
    AviReader whole;
    ASSERT_EQ(whole.open((dir / "rec.avi").string()), kAviOk);
    ASSERT_TRUE(!l[kIx].empty() && l[fourcc("AVIX")].size() >= 1);
    const AviChunkRef &v = whole.stream(0).chunks[7], &a = whole.stream(1).chunks[3];
    for (const std::uint64_t cut :
         {std::uint64_t{100}, v.dataPos - 5, v.dataPos + v.size / 2, v.dataPos + v.size,
          a.dataPos + 1001, l[kIx][0] + 40, std::uint64_t{l[fourcc("AVIX")][0]}}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        writeFile(dir / "cut.avi", b, cut);
        const Found f = chunksOf(dir / "cut.avi");
        std::size_t complete[2] = {0, 0};
        for (int s = 0; s < 2; ++s) {
            for (const AviChunkRef& c : whole.stream(s).chunks)
                complete[s] += c.dataPos + (s ? kSoundSampleBytes : c.size) <= cut;
        }
        if (!complete[0]) {  // inside the headers: a status, or a file without chunks
            EXPECT_TRUE(f.chunks.empty() || f.chunks[0].empty());
            continue;
        }
        expectPrefixOf(f, wholeChunks, written, complete[0], complete[1], true);
    }
}

namespace {

const std::string kTool = std::string(TESSALY_BIN_DIR) + "/tessaly-avi";

// A damage: changes the bytes, or says it does not apply to this file.
using Damage = std::function<bool(Bytes&, Layout&)>;

// Sets the 32-bit value `offset` bytes into the `nth` part under `key`.
Damage set32(std::uint32_t key, std::size_t nth, std::size_t offset, std::uint32_t value) {
    return [=](Bytes& b, Layout& l) {
        if (l[key].size() > nth)
            put32(b.data() + l[key][nth] + offset, value);
        return l[key].size() > nth;
    };
}
// One damage per class: an index entry lost or repeated, a count or size
// beyond the file, a header field out of range or a stream type garbled, and
// the file cut short.
const std::pair<const char*, Damage> kDamages[] = {
    {"zero the first ix entry", set32(kIx, 0, 32, 0)},
    {"zero the first idx1 entry", set32(kFccIdx1, 0, 8, 0)},
    {"second idx1 entry a copy of the first",
     [](Bytes& b, Layout& l) {
         const std::size_t e = l[kFccIdx1].empty() ? 0 : l[kFccIdx1][0] + kChunkHeaderBytes;
         return e && (std::copy_n(&b[e], kIdx1EntryBytes, &b[e + kIdx1EntryBytes]), true);
     }},
    {"huge ix entry count", set32(kIx, 0, 12, 0x7FFFFFFF)},
    {"huge super index entry count", set32(kFccIndx, 0, 12, 0xFFFFFFF0u)},
    {"huge idx1 size", set32(kFccIdx1, 0, 4, 0xFFFFFFF0u)},
    {"huge movi list size", set32(kFccMovi, 0, 4, 0x7FFFFFF0)},
    {"huge size of the third chunk", set32(0, 2, 4, 0x7FFFFFF0)},
    {"frame height -2147483648", set32(kFccStrf, 0, 16, 0x80000000u)},
    {"bit flipped in the sound stream header's id",
     [](Bytes& b, Layout& l) {
         return l[kFccStrh].size() >= 2 && (b[l[kFccStrh][1] + 2] ^= 32, true);
     }},
    {"cut in the middle", [](Bytes& b, Layout&) { return b.resize(b.size() / 2), true; }},
};

// Packets ffprobe reads per kind of stream, and the errors FFmpeg's decoders
// report (decoding every frame, -count_frames, makes them report).
struct Oracle {
    int video = 0, audio = 0, errors = 0;
};
Oracle askFfmpeg(const fs::path& file) {
    std::string out;
    runCommand(
        "ffprobe -v error -count_packets -count_frames -show_entries "
        "stream=codec_type,nb_read_packets -of csv=p=0 '" +
            file.string() + "' 2>&1",
        out);
    Oracle o;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const bool video = line.starts_with("video,"), audio = line.starts_with("audio,");
        (video ? o.video : audio ? o.audio : o.errors) += video || audio ? std::atoi(&line[6]) : 1;
    }
    return o;
}

// Inode, mode and owner.
using FileIdentity = std::tuple<ino_t, mode_t, uid_t>;
FileIdentity identityOf(const fs::path& path) {
    struct stat s {};
    EXPECT_EQ(::lstat(path.c_str(), &s), 0) << path;
    return {s.st_ino, s.st_mode, s.st_uid};
}

// Room for the headers repair writes afresh: a super index reserved per
// stream, the first chunk's alignment, the lists and the index chunk headers.
constexpr std::uint64_t kFreshHeaderBytes = 16 * 1024;
constexpr uid_t kNobody = 65534;
const char* const kPlanted[] = {"rec.avi.repair-tmp", ".rec.avi.repair-tmp", "rec.avi.tmp",
                                "rec.avi~"};

// How the file is named: the argument a symbolic link to it, the file owned
// by another user with mode 0600 (when run as root), or a second hard link.
enum class Naming { Plain, ViaLink, ForeignOwner, HardLink };

struct RepairCase {
    std::string name;
    Bytes bytes;
    Naming naming = Naming::Plain;
    int exit = -1;          // -1: repaired or refused, either is sound
    std::string says = "";  // on stdout or stderr
};

void repairAndCheck(const fs::path& dir, const RepairCase& c) {
    SCOPED_TRACE(c.name);
    const fs::path elsewhere = dir / "elsewhere", file = dir / "rec.avi";
    fs::create_directories(elsewhere);
    writeFile(file, c.bytes);
    if (c.naming == Naming::ForeignOwner && ::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }
    if (c.naming == Naming::HardLink)
        fs::create_hard_link(file, dir / "second-name.avi");
    // Links planted where a temporary might go; their targets, and the place
    // a dangling one points at, must stay as they are.
    const Bytes victim = {'k', 'e', 'e', 'p'};
    for (const char* planted : kPlanted) {
        writeFile(elsewhere / planted, victim);
        fs::create_symlink(elsewhere / planted, dir / planted);
    }
    fs::create_symlink(elsewhere / "absent", dir / "rec.avi.new");
    const bool viaLink = c.naming == Naming::ViaLink;
    const fs::path argument = viaLink ? dir / "link.avi" : file;
    if (viaLink)
        fs::create_symlink("rec.avi", argument);
    const FileIdentity identity = identityOf(file);
    const Found found = chunksOf(file);
    const Oracle ffBefore = askFfmpeg(file);
    const auto entriesBefore = std::distance(fs::directory_iterator(dir), {});

    std::string out;
    const int exit = runCommand(kTool + " repair '" + argument.string() + "' 2>&1", out);
    SCOPED_TRACE(out);
    EXPECT_TRUE(c.exit < 0 || exit == c.exit) << exit;
    EXPECT_NE(out.find(c.says), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), entriesBefore)
        << "a temporary stayed";
    for (const char* planted : kPlanted) {
        EXPECT_TRUE(fs::is_symlink(dir / planted)) << planted;
        EXPECT_EQ(readFile(elsewhere / planted), victim) << planted;
    }
    EXPECT_FALSE(fs::exists(elsewhere / "absent"));
    EXPECT_EQ(fs::is_symlink(argument), viaLink);
    EXPECT_EQ(identityOf(file), identity) << "inode, mode or owner changed";
    const Bytes after = readFile(file);
    EXPECT_TRUE(c.naming != Naming::HardLink || readFile(dir / "second-name.avi") == after);
    if (exit != 0 || out.find("nothing to repair") != std::string::npos) {
        EXPECT_EQ(after, c.bytes) << "a file that was not repaired changed";
        return;
    }
    const Found kept = chunksOf(file);
    EXPECT_FALSE(found.problems.empty());
    EXPECT_TRUE(kept.problems.empty()) << kept.problems.front();
    EXPECT_EQ(kept.chunks, found.chunks);
    const Oracle ffAfter = askFfmpeg(file);
    EXPECT_TRUE(ffAfter.video >= ffBefore.video && ffAfter.audio >= ffBefore.audio &&
                ffAfter.errors <= ffBefore.errors);
    std::uint64_t chunks = 0;
    for (const auto& stream : found.chunks)
        chunks += stream.size();
    EXPECT_LE(after.size(),
              found.payload + chunks * (kIdx1EntryBytes + kStdIndexEntryBytes) +
                  found.chunks.size() * kDefaultSuperIndexEntries * kSuperIndexEntryBytes +
                  kFreshHeaderBytes);
}

// A recording whose writer was killed a few frames after its last flush: the
// frames since then lie past the index.
Bytes killedRecording(const fs::path& dir) {
    Bytes killed;
    const auto written =
        writeRecording(dir / "live.avi", recorderShape(64, 48, 30, kDefaultSegmentLimit),
                       [&](const AviFilePtr& file, int f) {
                           EXPECT_TRUE(f != 9 || aviFileFlush(file) == kAviOk);
                           if (f == 16)
                               killed = readFile(dir / "live.avi");
                       });
    EXPECT_EQ(written.status, kAviOk);
    return killed;
}

}  // namespace

// Every damage on our recording with sound, the same in several RIFFs and
// FFmpeg's own file; a killed recording named in each way; files repair
// refuses.
TEST(AviRepair, EveryDamageIsRepairedInPlaceOrLeftAsItWas) {
    if (!haveTool("ffprobe") || !haveTool("ffmpeg") || !fs::exists(kTool))
        GTEST_SKIP() << "FFmpeg or tessaly-avi missing";
    const fs::path dir = scratchDir("repair");
    const Bytes killed = killedRecording(dir);
    ASSERT_FALSE(killed.empty());
    ASSERT_EQ(
        writeRecording(dir / "own.avi", recorderShape(64, 48, 36, kDefaultSegmentLimit)).status,
        kAviOk);
    ASSERT_EQ(writeRecording(dir / "riffs.avi", recorderShape(64, 48, 36, 256 * 1024)).status,
              kAviOk);
    ffmpegVideo1File(dir / "ffmpeg.avi", "-t 6 -g 10 -keyint_min 10");
    std::vector<RepairCase> cases = {
        {"killed, via a link", killed, Naming::ViaLink, 0, "following the link to"},
        {"killed, foreign owner", killed, Naming::ForeignOwner, 0, ": repaired; stream 0:"},
        {"killed, hard link", killed, Naming::HardLink, 0, ": repaired"},
        {"complete", readFile(dir / "own.avi"), Naming::HardLink, 0, "nothing to repair"},
        {"bytes that are no RIFF", makeAudio(50000, 7), Naming::ForeignOwner, 1, "left unchanged"},
    };
    for (const char* name : {"own.avi", "riffs.avi", "ffmpeg.avi"}) {
        const Bytes b = readFile(dir / name);
        Layout l;
        walk(b, 0, b.size(), l);
        ASSERT_TRUE(!l[kFccStrl].empty() && !l[kFccMovi].empty() && l[0].size() >= 3) << name;
        for (const auto& [what, damage] : kDamages) {
            Bytes damaged = b;
            if (damage(damaged, l))
                cases.push_back({std::string(name) + ": " + what, damaged});
        }
    }
    // Two workers, each case in a directory of its own.
    std::vector<std::thread> workers;
    for (std::size_t w = 0; w < 2; ++w) {
        workers.emplace_back([&, w] {
            for (std::size_t i = w; i < cases.size(); i += 2)
                repairAndCheck(dir / ("case" + std::to_string(i)), cases[i]);
        });
    }
    for (std::thread& t : workers)
        t.join();
}

// What info says of a recording with sound, one that was never closed (the
// index and lengths as before any flush), wild frame sizes, and a text file;
// "-" marks what must not be said.
TEST(AviTool, InfoDescribesFilesAndRefusesOthers) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tessaly-avi not built";
    const fs::path dir = scratchDir("tool");
    ASSERT_EQ(writeRecording(dir / "rec.avi", {10, 5, 1, 32, 16, true, 5, true}).status, kAviOk);
    const Bytes b = readFile(dir / "rec.avi");
    Layout l;
    walk(b, 0, b.size(), l);
    const std::size_t fifthFrame = l[0].at(6);  // after frames 0, 1, sound, 2, 3, sound
    Bytes unfinished(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(fifthFrame + 8 +
                                                                        get32(b, fifthFrame + 4)));
    ASSERT_EQ(clearSuperIndexes(unfinished, l[kFccMovi].at(0)), 2);
    Bytes hugeHeight = b;
    put32(hugeHeight.data() + l[kFccStrf][0] + 16, 0x80000000u);
    // A name in Latin-1 bytes, not UTF-8: printed as it is, in JSON as
    // valid UTF-8 with its exact bytes in hex.
    const std::string latin1 = "rec-\xff\xe9.avi";
    std::string hex;
    for (const char c : (dir / latin1).string())
        hex += "0123456789abcdef"[(c >> 4) & 15], hex += "0123456789abcdef"[c & 15];
    const struct {
        Bytes bytes;
        const char* options;
        int exit;
        std::vector<std::string> says;
        std::string name = "file.avi";
    } cases[] = {
        {b,
         "",
         0,
         {"stream 0: video MSVC 32x16 16 bpp, 5/1 fps, 10 frames (2.000 s), 2 key frames",
          "stream 1: audio PCM 2 ch 44100 Hz 16 bit, 88200 samples (2.000 s), 5 chunks",
          "index: OpenDML", "duration: 2 s", "problems: none"}},
        {unfinished,
         "--json",
         0,
         {"\"ok\":true", "\"index\":\"scan\"", "no index: recovered by scanning", "\"length\":5,"}},
        {hugeHeight, "", 0, {"implausible frame size", "-problems: none"}},
        {{'n', 'o', 'p', 'e'}, "--json", 1, {"\"ok\":false"}},
        {b, "", 0, {(dir / latin1).string() + "\n"}, latin1},
        {b, "--json", 0, {"rec-\uFFFD\uFFFD.avi", "\"fileBytesHex\":\"" + hex + "\""}, latin1}};
    for (const auto& c : cases) {
        writeFile(dir / c.name, c.bytes);
        std::string out;
        EXPECT_EQ(
            runCommand(kTool + " info " + c.options + " '" + (dir / c.name).string() + "' 2>&1",
                       out),
            c.exit);
        for (const std::string& text : c.says) {
            const bool absent = text[0] == '-';
            EXPECT_EQ(out.find(text.substr(absent)) == std::string::npos, absent)
                << text << " in " << out;
        }
    }
}

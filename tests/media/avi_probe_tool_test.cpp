// The header-only probe used by directory listings, and the tessaly-avi tool.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/avi_probe.h"
#include "media/avi_reader.h"
#include "tests/media/avi_test_support.h"

using namespace media;
using namespace avitest;

TEST(AviProbe, DurationFromTheHeaderAlone) {
    const fs::path dir = scratchDir("probe");
    ASSERT_EQ(writeRecording(dir / "rec.avi", 32, 16, 27, true).status, kAviOk);
    AviProbe p;
    ASSERT_EQ(aviProbeFile((dir / "rec.avi").string(), p), kAviOk);
    EXPECT_EQ(p.streams, 2u);
    EXPECT_EQ(p.fccType, kFccVids);
    EXPECT_EQ(p.fccHandler, kFccMsvc);
    EXPECT_EQ(p.rate, 5u);
    EXPECT_EQ(p.scale, 1u);
    EXPECT_EQ(p.length, 27u);
    EXPECT_EQ(p.width, 32u);
    EXPECT_EQ(p.height, 16u);
    EXPECT_EQ(p.durationSeconds(), 5u);

    // Only the header is read: a file whose movi data and index are gone
    // still gives its duration.
    Bytes b = readFile(dir / "rec.avi");
    AviReader r;
    ASSERT_EQ(r.open((dir / "rec.avi").string()), kAviOk);
    const std::size_t moviData = static_cast<std::size_t>(r.stream(0).chunks.front().dataPos - 8);
    writeFile(dir / "header-only.avi", b, moviData);
    ASSERT_EQ(aviProbeFile((dir / "header-only.avi").string(), p), kAviOk);
    EXPECT_EQ(p.durationSeconds(), 5u);

    // rate / scale of 0 has no duration; garbage is a status.
    p.rate = 1;
    p.scale = 2;
    EXPECT_EQ(p.durationSeconds(), 0u);
    writeFile(dir / "junk.avi", Bytes(100, 0x41));
    EXPECT_EQ(aviProbeFile((dir / "junk.avi").string(), p), kAviErrBadFormat);
    EXPECT_EQ(aviProbeFile((dir / "missing.avi").string(), p), kAviErrFileOpen);
    // Cut before the first stream header: no time base, a status.
    writeFile(dir / "cut.avi", b, 120);
    EXPECT_EQ(aviProbeFile((dir / "cut.avi").string(), p), kAviErrBadFormat);
    for (std::size_t cut = 0; cut < 400; ++cut) {
        writeFile(dir / "cut.avi", b, cut);
        aviProbeFile((dir / "cut.avi").string(), p);  // never crashes
    }
}

TEST(AviProbe, ReadsFfmpegHeaders) {
    if (!haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg not installed";
    const fs::path dir = scratchDir("probe-ff");
    std::string log;
    ASSERT_EQ(runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10 -t 3 -c:v "
                         "msvideo1 -pix_fmt rgb555le '" +
                             (dir / "ff.avi").string() + "' 2>&1",
                         log),
              0);
    AviProbe p;
    ASSERT_EQ(aviProbeFile((dir / "ff.avi").string(), p), kAviOk);
    EXPECT_EQ(p.length, 30u);
    EXPECT_EQ(p.rate / p.scale, 10u);
    EXPECT_EQ(p.durationSeconds(), 3u);
}

namespace {

std::size_t offsetOf(const Bytes& b, std::uint32_t fcc) {
    for (std::size_t at = 0; at + 4 <= b.size(); ++at) {
        if (get32(b, at) == fcc)
            return at;
    }
    ADD_FAILURE() << "chunk not found";
    return 0;
}

}  // namespace

TEST(AviProbe, DurationScopeReadsOnlyTheFirstStream) {
    const fs::path dir = scratchDir("probe-scope");
    ASSERT_EQ(writeRecording(dir / "rec.avi", 32, 16, 27, true).status, kAviOk);
    AviProbe whole;
    AviProbe brief;
    ASSERT_EQ(aviProbeFile((dir / "rec.avi").string(), whole), kAviOk);
    ASSERT_EQ(aviProbeFile((dir / "rec.avi").string(), brief, AviProbeScope::Duration), kAviOk);
    EXPECT_EQ(whole.streams, 2u);
    EXPECT_EQ(whole.odmlTotalFrames, 27u);
    EXPECT_EQ(brief.streams, 1u);
    EXPECT_EQ(brief.width, 32u);
    EXPECT_EQ(brief.fccHandler, kFccMsvc);
    EXPECT_EQ(brief.length, 27u);
    EXPECT_FALSE(brief.secondSegmentFollows);
    EXPECT_EQ(brief.durationSeconds(), 5u);
}

TEST(AviProbe, OpenDmlTotalCountsOnlyWhenASecondSegmentFollows) {
    const fs::path dir = scratchDir("probe-odml");
    AviWriterOptions options;
    options.segmentLimit = 256 * 1024;  // so that 20 s of sound span segments
    ASSERT_EQ(writeRecording(dir / "long.avi", 64, 64, 100, true, 0, options).status, kAviOk);
    Bytes b = readFile(dir / "long.avi");
    // A writer that leaves the first segment's count in the stream header.
    const std::size_t lengthAt = offsetOf(b, kFccStrh) + 8 + 32;
    AviProbe p;
    ASSERT_EQ(aviProbeFile((dir / "long.avi").string(), p), kAviOk);
    ASSERT_LT(p.mainTotalFrames, 100u);
    put32(b.data() + lengthAt, p.mainTotalFrames);
    writeFile(dir / "first-count.avi", b);
    for (const AviProbeScope scope : {AviProbeScope::WholeHeader, AviProbeScope::Duration}) {
        ASSERT_EQ(aviProbeFile((dir / "first-count.avi").string(), p, scope), kAviOk);
        EXPECT_TRUE(p.secondSegmentFollows);
        EXPECT_EQ(p.length, p.mainTotalFrames);
        EXPECT_EQ(p.odmlTotalFrames, 100u);
        EXPECT_EQ(p.durationSeconds(), 20u);
    }

    // One segment with bytes after its RIFF, as a recording killed after a
    // flush leaves it: the stream header's length is the whole.
    ASSERT_EQ(writeRecording(dir / "short.avi", 64, 64, 25, false).status, kAviOk);
    Bytes one = readFile(dir / "short.avi");
    put32(one.data() + offsetOf(one, kFccDmlh) + 8, 500);
    Bytes tail(64, 0);
    put32(tail.data(), fourcc("00dc"));
    put32(tail.data() + 4, 56);
    one.insert(one.end(), tail.begin(), tail.end());
    writeFile(dir / "crashed.avi", one);
    ASSERT_EQ(aviProbeFile((dir / "crashed.avi").string(), p), kAviOk);
    EXPECT_FALSE(p.secondSegmentFollows);
    EXPECT_EQ(p.durationSeconds(), 5u);
    // The same bytes as the start of a second segment.
    put32(one.data() + one.size() - 64, kFccRiff);
    put32(one.data() + one.size() - 56, kFccAvix);
    writeFile(dir / "segment.avi", one);
    ASSERT_EQ(aviProbeFile((dir / "segment.avi").string(), p), kAviOk);
    EXPECT_TRUE(p.secondSegmentFollows);
    EXPECT_EQ(p.durationSeconds(), 100u);
}

TEST(AviProbe, RefusesWhatIsNotARegularFileWithoutWaiting) {
    const fs::path dir = scratchDir("probe-special");
    AviProbe p;
    EXPECT_EQ(aviProbeFile(dir.string(), p), kAviErrFileOpen);
    ASSERT_EQ(::mkfifo((dir / "f.avi").c_str(), 0600), 0);
    EXPECT_EQ(aviProbeFile((dir / "f.avi").string(), p), kAviErrFileOpen);
    EXPECT_EQ(aviProbeFile(std::string(), p), kAviErrFileOpen);
}

namespace {

const std::string kTool = std::string(TESSALY_BIN_DIR) + "/tessaly-avi";

std::string quoted(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args)
        line += " '" + a + "'";
    return line;
}

}  // namespace

TEST(AviTool, InfoDescribesFilesAndRefusesOthers) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tessaly-avi not built";
    const fs::path dir = scratchDir("tool");
    ASSERT_EQ(writeRecording(dir / "rec.avi", 32, 16, 10, true).status, kAviOk);
    std::string out;
    ASSERT_EQ(runCommand(kTool + " info '" + (dir / "rec.avi").string() + "'", out), 0);
    EXPECT_NE(
        out.find("stream 0: video MSVC 32x16 16 bpp, 5/1 fps, 10 frames (2.000 s), 2 key frames"),
        std::string::npos)
        << out;
    EXPECT_NE(
        out.find("stream 1: audio PCM 2 ch 44100 Hz 16 bit, 88200 samples (2.000 s), 5 chunks"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("index: OpenDML"), std::string::npos) << out;
    EXPECT_NE(out.find("duration: 2 s"), std::string::npos) << out;
    EXPECT_NE(out.find("problems: none"), std::string::npos) << out;

    // A recording that was never closed: the problems say what was done.
    Bytes b = readFile(dir / "rec.avi");
    AviReader r;
    ASSERT_EQ(r.open((dir / "rec.avi").string()), kAviOk);
    const std::size_t moviData = static_cast<std::size_t>(r.stream(0).chunks.front().dataPos - 8);
    Bytes unfinished(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(moviData));
    const std::size_t end =
        static_cast<std::size_t>(r.stream(0).chunks[4].dataPos + r.stream(0).chunks[4].size);
    unfinished.insert(unfinished.end(), b.begin() + static_cast<std::ptrdiff_t>(moviData),
                      b.begin() + static_cast<std::ptrdiff_t>(end));
    // The index and the lengths as they were before any flush.
    for (std::size_t at = 12; at + 16 < moviData; at += 2) {
        if (get32(unfinished, at) == kFccIndx)
            put32(unfinished.data() + at + 12, 0);
    }
    writeFile(dir / "unfinished.avi", unfinished);
    ASSERT_EQ(runCommand(kTool + " info --json '" + (dir / "unfinished.avi").string() + "'", out),
              0);
    EXPECT_NE(out.find("\"ok\":true"), std::string::npos) << out;
    EXPECT_NE(out.find("\"index\":\"scan\""), std::string::npos) << out;
    EXPECT_NE(out.find("no index: recovered by scanning"), std::string::npos) << out;
    EXPECT_NE(out.find("\"length\":5,"), std::string::npos) << out;

    writeFile(dir / "text.avi", Bytes{'n', 'o', 'p', 'e'});
    EXPECT_EQ(runCommand(kTool + " info '" + (dir / "text.avi").string() + "' 2>&1", out), 1);
    EXPECT_NE(out.find("cannot read"), std::string::npos) << out;
    EXPECT_EQ(
        runCommand(kTool + " info --json '" + (dir / "text.avi").string() + "' 2>/dev/null", out),
        1);
    EXPECT_NE(out.find("\"ok\":false"), std::string::npos) << out;
}

TEST(AviTool, CommandLineMisuseIsNamedAndEndsWithStatusTwo) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tessaly-avi not built";
    const fs::path dir = scratchDir("tool-args");
    const std::string file = (dir / "rec.avi").string();
    ASSERT_EQ(writeRecording(file, 32, 16, 5, false).status, kAviOk);
    struct Case {
        std::vector<std::string> args;
        std::string named;  // what stderr must name
    };
    // None of these gets as far as the screen, the sound server or a file.
    const Case cases[] = {
        {{}, "COMMAND"},
        {{"frobnicate"}, "frobnicate"},
        {{"--bogus", "info", file}, "bogus"},
        {{"info"}, "FILE"},
        {{"info", "--jsn", file}, "jsn"},
        {{"repair"}, "FILE"},
        {{"repair", "--in-place", file}, "in-place"},
        {{"record", "--bogus"}, "bogus"},
        {{"record", "somewhere"}, "somewhere"},
        {{"record", "--dir", ""}, "--dir"},
        {{"record", "--seconds"}, "--seconds"},
        {{"record", "--seconds", "abc"}, "abc"},
        {{"record", "--seconds", "-1"}, "-1"},
        {{"record", "--seconds", "0"}, "--seconds '0'"},
        {{"record", "--seconds", "nan"}, "nan"},
        {{"record", "--seconds", "1e300"}, "1e300"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(runCommand(kTool + quoted(c.args) + " 2>&1 >/dev/null", err), 2)
            << quoted(c.args);
        EXPECT_NE(err.find(c.named), std::string::npos) << quoted(c.args) << ": " << err;
    }

    const Case helps[] = {
        {{"--help"}, "repair"},
        {{"info", "--help"}, "--json"},
        {{"record", "--help"}, "--list-audio"},
        {{"record", "-h"}, "--audio"},
        {{"repair", "--help"}, "FILE..."},
    };
    for (const Case& c : helps) {
        std::string out;
        EXPECT_EQ(runCommand(kTool + quoted(c.args), out), 0) << quoted(c.args);
        EXPECT_NE(out.find(c.named), std::string::npos) << quoted(c.args) << ": " << out;
    }
}

TEST(AviTool, NamesThatAreNotUtf8ReachTheFileAndTheOutput) {
    if (!fs::exists(kTool) || !haveTool("python3"))
        GTEST_SKIP() << "tessaly-avi or python3 missing";
    const fs::path dir = scratchDir("tool-bytes");
    const std::string raw = (dir / "rec-\xff\xe9.avi").string();  // Latin-1, not UTF-8
    ASSERT_EQ(writeRecording(raw, 32, 16, 5, false).status, kAviOk);

    std::string out;
    ASSERT_EQ(runCommand(kTool + quoted({"info", raw}), out), 0) << out;
    EXPECT_EQ(out.substr(0, out.find('\n')), raw);

    // Strict UTF-8, a readable "file", and the exact bytes back from the hex.
    const std::string check =
        "python3 -c 'import json, sys; r = json.loads(sys.stdin.buffer.read().decode()); "
        "sys.stdout.buffer.write(r[0][\"file\"].encode() + b\"|\" + "
        "bytes.fromhex(r[0][\"fileBytesHex\"]))'";
    ASSERT_EQ(runCommand(kTool + quoted({"info", "--json", raw}) + " | " + check, out), 0);
    EXPECT_EQ(out, (dir / "rec-\uFFFD\uFFFD.avi").string() + "|" + raw);

    ASSERT_EQ(runCommand(kTool + quoted({"repair", raw}), out), 0) << out;
    EXPECT_EQ(out.substr(0, raw.size() + 19), raw + ": nothing to repair");
}

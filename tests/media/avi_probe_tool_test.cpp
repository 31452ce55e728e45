// The tessaly-avi tool: what info says, its command line, and names in any bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/avi_reader.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

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
        {{"cut"}, "FILE"},
        {{"cut", file, "--end", "3"}, "--start"},
        {{"cut", file, "--start", "1"}, "--end"},
        {{"cut", file, "--start", "1.5", "--end", "3"}, "1.5"},
        {{"cut", file, "--start", "-1", "--end", "3"}, "-1"},
        {{"cut", file, file, "--start", "1", "--end", "3"}, "one FILE"},
        {{"cut", file, "--start", "0", "--end", "3", "--out", ""}, "--out"},
        {{"merge"}, "FILE"},
        {{"merge", "--bogus", file}, "bogus"},
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
        {{"cut", "--help"}, "--start S --end E"},
        {{"merge", "--help"}, "--out DIR"},
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

    // The cut of such a file lands beside it under its exact bytes.
    const std::string cut = (dir / "Cut_rec-\xff\xe9.avi").string();
    ASSERT_EQ(runCommand(kTool + quoted({"cut", raw, "--start", "0", "--end", "1"}), out), 0);
    EXPECT_EQ(out, cut + "\n");
    EXPECT_TRUE(fs::exists(cut));
}

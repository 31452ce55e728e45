// tessaly-avi repair on real damaged files: it rewrites the file itself (same
// inode, mode, owner, hard links), never writes through a link planted in the
// directory, keeps every chunk a reader finds, never inflates a file, and
// leaves what it cannot repair byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "media/avi_reader.h"
#include "media/riff_layout.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

namespace {

const std::string kTool = std::string(TESSALY_BIN_DIR) + "/tessaly-avi";
constexpr uid_t kNobody = 65534;

// A recording whose writer was killed a few frames after its last flush: the
// frames since then lie past the index.
Bytes killedRecording(const fs::path& dir) {
    AviWriter writer;
    Bytes killed;
    const fs::path live = dir / "live.avi";
    const auto written = writeWithWriter(
        live, 64, 48, 30, AviWriterOptions{},
        [&](int f) {
            if (f == 9) {
                EXPECT_EQ(writer.flush(), kAviOk);
            }
            if (f == 16)
                killed = readFile(live);
        },
        &writer);
    EXPECT_EQ(written.status, kAviOk);
    return killed;
}

// A complete file in which every index entry of the video stream points at
// its first frame, a large one among tiny ones.
Bytes everyEntryOnOneChunk(const fs::path& dir) {
    const fs::path path = dir / "dup.avi";
    AviWriter w;
    EXPECT_EQ(w.create(path.string()), kAviOk);
    AviStreamHeader h;
    h.fccType = kFccVids;
    h.scale = 1;
    h.rate = 5;
    int v = -1;
    EXPECT_EQ(w.addStream(h, "", &v), kAviOk);
    Bytes frame(100000);
    std::mt19937 noise(7);
    for (auto& b : frame)
        b = static_cast<std::uint8_t>(noise());
    EXPECT_EQ(w.writeChunk(v, frame.data(), static_cast<std::uint32_t>(frame.size()), true),
              kAviOk);
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(w.writeChunk(v, frame.data(), 4, false), kAviOk);
    EXPECT_EQ(w.close(), kAviOk);
    Bytes b = readFile(path);
    for (std::size_t at = 0; at + 8 <= b.size(); at += 2) {
        if (get32(b, at) == fourcc("ix00")) {
            const std::size_t first = at + kChunkHeaderBytes + kStdIndexHeaderBytes;
            for (std::size_t e = first; e + kStdIndexEntryBytes <= at + 8 + get32(b, at + 4);
                 e += kStdIndexEntryBytes)
                std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(first), kStdIndexEntryBytes,
                            b.begin() + static_cast<std::ptrdiff_t>(e));
        } else if (get32(b, at) == fourcc("idx1")) {
            const std::size_t first = at + kChunkHeaderBytes;
            for (std::size_t e = first; e + kIdx1EntryBytes <= b.size(); e += kIdx1EntryBytes)
                std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(first), kIdx1EntryBytes,
                            b.begin() + static_cast<std::ptrdiff_t>(e));
        }
    }
    return b;
}

enum class Content { Killed, Complete, RandomBytes, RiffNotAvi, Missing, OneChunkIndexedOften };

struct Case {
    const char* name;
    Content content;
    bool viaLink = false;       // the argument is a symbolic link to the file
    bool foreignOwner = false;  // mode 0600, owned by another user (when run as root)
    bool hardLink = false;      // a second name for the file
    int exit = 0;
    const char* says = "";  // on stdout or stderr
};

struct FileIdentity {
    ino_t inode = 0;
    mode_t mode = 0;
    uid_t owner = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOf(const fs::path& path) {
    struct stat s {};
    EXPECT_EQ(::lstat(path.c_str(), &s), 0) << path;
    return {s.st_ino, s.st_mode, s.st_uid};
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Per stream, every chunk the reader finds, in order.
std::vector<std::vector<Bytes>> chunksOf(const fs::path& path, std::vector<std::string>* problems) {
    AviReader r;
    std::vector<std::vector<Bytes>> out;
    if (r.open(path.string()) != kAviOk)
        return out;
    if (problems)
        *problems = r.problems();
    for (int s = 0; s < r.streamCount(); ++s) {
        out.emplace_back();
        for (std::size_t c = 0; c < r.stream(s).chunks.size(); ++c) {
            out.back().emplace_back();
            EXPECT_EQ(r.readChunk(s, c, out.back().back()), kAviOk);
        }
    }
    return out;
}

}  // namespace

TEST(AviRepair, RewritesTheFileItselfOrLeavesItAsItWas) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tessaly-avi not built";
    const fs::path base = scratchDir("repair");
    const Bytes killed = killedRecording(base);
    ASSERT_FALSE(killed.empty());
    const auto complete = writeRecording(base / "complete.avi", 64, 48, 12, true);
    ASSERT_EQ(complete.status, kAviOk);
    Bytes riffNotAvi = {'R', 'I', 'F', 'F', 200, 0, 0, 0, 'W', 'A', 'V', 'E'};
    riffNotAvi.resize(208, 0x11);
    Bytes random(50000);
    std::mt19937 noise(11);
    for (auto& b : random)
        b = static_cast<std::uint8_t>(noise());
    const bool root = ::geteuid() == 0;

    const Case cases[] = {
        {"killed", Content::Killed, false, false, false, 0, ": repaired; stream 0:"},
        {"killed, via a link", Content::Killed, true, false, false, 0, "following the link to"},
        {"killed, foreign owner", Content::Killed, false, true, false, 0, ": repaired"},
        {"killed, hard link", Content::Killed, false, false, true, 0, ": repaired"},
        {"complete", Content::Complete, false, false, true, 0, "nothing to repair"},
        {"random bytes", Content::RandomBytes, false, false, false, 1, "left unchanged"},
        {"RIFF, not AVI", Content::RiffNotAvi, false, true, false, 1, "left unchanged"},
        {"dangling link", Content::Missing, true, false, false, 1, "points at nothing"},
        {"one chunk indexed often", Content::OneChunkIndexedOften, false, false, false, -1, ""},
    };
    int caseNumber = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = base / std::to_string(caseNumber++);
        const fs::path elsewhere = dir / "elsewhere";
        fs::create_directories(elsewhere);
        const fs::path file = dir / "rec.avi";
        switch (c.content) {
            case Content::Killed:
                writeFile(file, killed);
                break;
            case Content::Complete:
                fs::copy_file(base / "complete.avi", file);
                break;
            case Content::RandomBytes:
                writeFile(file, random);
                break;
            case Content::RiffNotAvi:
                writeFile(file, riffNotAvi);
                break;
            case Content::OneChunkIndexedOften:
                writeFile(file, everyEntryOnOneChunk(elsewhere));
                fs::remove(elsewhere / "dup.avi");
                break;
            case Content::Missing:
                break;
        }
        if (c.foreignOwner && root) {
            ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
            fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        }
        if (c.hardLink)
            fs::create_hard_link(file, dir / "second-name.avi");
        // Links planted where a temporary might go: the old fixed name, and
        // names like it. Their targets, and the place a dangling one points
        // at, must stay as they are.
        const Bytes victim = {'k', 'e', 'e', 'p'};
        for (const char* planted :
             {"rec.avi.repair-tmp", ".rec.avi.repair-tmp", "rec.avi.tmp", "rec.avi~"}) {
            writeFile(elsewhere / planted, victim);
            fs::create_symlink(elsewhere / planted, dir / planted);
        }
        fs::create_symlink(elsewhere / "absent", dir / "rec.avi.new");
        const fs::path argument = c.viaLink ? dir / "link.avi" : file;
        if (c.viaLink)
            fs::create_symlink("rec.avi", argument);

        const bool exists = fs::exists(file);
        const Bytes before = exists ? readFile(file) : Bytes{};
        const FileIdentity identity = exists ? identityOf(file) : FileIdentity{};
        std::vector<std::string> problemsBefore;
        const auto found = chunksOf(file, &problemsBefore);
        const auto namesBefore = namesIn(dir);

        std::string out;
        const int exit = runCommand(kTool + " repair '" + argument.string() + "' 2>&1", out);
        if (c.exit >= 0) {
            EXPECT_EQ(exit, c.exit) << out;
        }
        EXPECT_NE(out.find(c.says), std::string::npos) << out;

        EXPECT_EQ(namesIn(dir), namesBefore) << "a temporary stayed, or a name was replaced";
        for (const char* planted :
             {"rec.avi.repair-tmp", ".rec.avi.repair-tmp", "rec.avi.tmp", "rec.avi~"}) {
            EXPECT_TRUE(fs::is_symlink(dir / planted)) << planted;
            EXPECT_EQ(readFile(elsewhere / planted), victim) << planted;
        }
        EXPECT_FALSE(fs::exists(elsewhere / "absent"));
        if (c.viaLink) {
            EXPECT_TRUE(fs::is_symlink(argument));
        }
        if (!exists)
            continue;
        EXPECT_EQ(identityOf(file), identity) << "inode, mode or owner changed";
        if (c.hardLink) {
            EXPECT_EQ(identityOf(dir / "second-name.avi"), identity);
            EXPECT_EQ(readFile(dir / "second-name.avi"), readFile(file));
        }
        const Bytes after = readFile(file);
        if (exit != 0 || c.content == Content::Complete) {
            EXPECT_EQ(after, before) << "a file that was not repaired changed";
            continue;
        }
        // Repaired: it reads back clean, with every chunk found before and the
        // same bytes in each, and it grew by no more than an index and header.
        std::vector<std::string> problemsAfter;
        const auto kept = chunksOf(file, &problemsAfter);
        EXPECT_FALSE(problemsBefore.empty());
        EXPECT_TRUE(problemsAfter.empty()) << problemsAfter.front();
        ASSERT_EQ(kept.size(), found.size());
        std::size_t chunks = 0;
        for (std::size_t s = 0; s < found.size(); ++s) {
            chunks += kept[s].size();
            if (c.content == Content::Killed) {
                EXPECT_EQ(kept[s], found[s]) << "stream " << s;
            }
        }
        const std::size_t indexPerChunk = kIdx1EntryBytes + kStdIndexEntryBytes;
        EXPECT_LE(after.size(), before.size() + indexPerChunk * chunks + 4096);
    }
}

// Damaged recordings through the real `tessaly-avi repair`: for every damage,
// repair either refuses and leaves the file as it was, or FFmpeg finds at
// least as many video and sound packets afterwards, decodes it with no more
// errors, and the file has not grown beyond its fresh headers and indexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <thread>

#include "media/avi_reader.h"
#include "media/riff_layout.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

namespace {

const std::string kTool = std::string(TESSALY_BIN_DIR) + "/tessaly-avi";

// Where the parts of a file are, found by walking its RIFF structure.
struct Layout {
    std::vector<std::size_t> strl, strh, strf, indx, movi, ix;
    std::size_t hdrl = 0, idx1 = 0;
    std::vector<std::size_t> chunks;  // headers of stream chunks, in file order
};

void walk(const Bytes& b, std::size_t pos, std::size_t end, Layout& l) {
    while (pos + 8 <= end) {
        const std::uint32_t id = get32(b, pos);
        const std::uint32_t size = get32(b, pos + 4);
        const std::size_t bodyEnd = std::min<std::size_t>(end, pos + 8 + size);
        if (id == kFccRiff || id == kFccList) {
            const std::uint32_t type = get32(b, pos + 8);
            if (type == kFccHdrl)
                l.hdrl = pos;
            if (type == kFccStrl)
                l.strl.push_back(pos);
            if (type == kFccMovi)
                l.movi.push_back(pos);
            walk(b, pos + 12, bodyEnd, l);
        } else if (id == kFccStrh) {
            l.strh.push_back(pos);
        } else if (id == kFccStrf) {
            l.strf.push_back(pos);
        } else if (id == kFccIndx) {
            l.indx.push_back(pos);
        } else if (id == kFccIdx1) {
            l.idx1 = pos;
        } else if (chunkHasSuffix(id, 'i', 'x') || (id & 0xFFFF) == ('i' | 'x' << 8)) {
            l.ix.push_back(pos);
        } else if (chunkStreamNumber(id) >= 0) {
            l.chunks.push_back(pos);
        }
        pos = static_cast<std::size_t>(nextChunkPos(pos, size));
    }
}

Layout layoutOf(const Bytes& b) {
    Layout l;
    walk(b, 0, b.size(), l);
    return l;
}

void flip(Bytes& b, std::size_t at, int bit) {
    b[at] = static_cast<std::uint8_t>(b[at] ^ (1u << bit));
}

// A damage: changes the bytes, or says it does not apply to this file.
using Damage = std::function<bool(Bytes&, const Layout&)>;
struct NamedDamage {
    std::string name;
    Damage apply;
};

std::size_t idx1Entries(const Bytes& b, const Layout& l) {
    return l.idx1 ? get32(b, l.idx1 + 4) / kIdx1EntryBytes : 0;
}
std::size_t idx1Entry(const Layout& l, std::size_t n) {
    return l.idx1 + kChunkHeaderBytes + kIdx1EntryBytes * n;
}
std::size_t ixEntry(const Layout& l, std::size_t chunk, std::size_t n) {
    return l.ix[chunk] + kChunkHeaderBytes + kStdIndexHeaderBytes + kStdIndexEntryBytes * n;
}

// Sets the 32-bit value `offset` bytes into the part `where` finds (0: none).
Damage set32(std::function<std::size_t(const Layout&)> where, std::size_t offset,
             std::uint32_t value) {
    return [=](Bytes& b, const Layout& l) {
        const std::size_t at = where(l);
        if (!at)
            return false;
        put32(b.data() + at + offset, value);
        return true;
    };
}
Damage zeroBytes(std::function<std::size_t(const Layout&)> where, std::size_t count) {
    return [=](Bytes& b, const Layout& l) {
        const std::size_t at = where(l);
        if (at)
            std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), count, 0);
        return at != 0;
    };
}
std::size_t first(const std::vector<std::size_t>& parts) {
    return parts.empty() ? 0 : parts.front();
}

std::vector<NamedDamage> namedDamages() {
    auto truncate = [](double fraction) {
        return [fraction](Bytes& b, const Layout&) {
            b.resize(static_cast<std::size_t>(static_cast<double>(b.size()) * fraction));
            return true;
        };
    };
    // Copies entry `from` over entries [begin, end) of an index.
    auto copyEntries = [](Bytes& b, std::size_t from, std::size_t begin, std::size_t end,
                          std::size_t entryBytes) {
        for (std::size_t e = begin; e < end; e += entryBytes)
            std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(from), entryBytes,
                        b.begin() + static_cast<std::ptrdiff_t>(e));
    };
    return {
        {"zero the first ix entry",
         zeroBytes([](const Layout& l) { return l.ix.empty() ? 0 : ixEntry(l, 0, 0); }, 8)},
        {"zero the first idx1 entry",
         zeroBytes([](const Layout& l) { return l.idx1 ? idx1Entry(l, 0) : 0; }, 16)},
        {"duplicate idx1 entries",
         [=](Bytes& b, const Layout& l) {
             if (idx1Entries(b, l) < 8)
                 return false;
             copyEntries(b, idx1Entry(l, 2), idx1Entry(l, 3), idx1Entry(l, 6), kIdx1EntryBytes);
             return true;
         }},
        {"every idx1 entry at the first chunk",
         [=](Bytes& b, const Layout& l) {
             if (!l.idx1)
                 return false;
             copyEntries(b, idx1Entry(l, 0), idx1Entry(l, 1), idx1Entry(l, idx1Entries(b, l)),
                         kIdx1EntryBytes);
             return true;
         }},
        {"every ix entry at its first chunk",
         [=](Bytes& b, const Layout& l) {
             for (std::size_t c = 0; c < l.ix.size(); ++c)
                 copyEntries(b, ixEntry(l, c, 0), ixEntry(l, c, 1),
                             ixEntry(l, c, get32(b, l.ix[c] + 12)), kStdIndexEntryBytes);
             return !l.ix.empty();
         }},
        {"ix entries pointing into the index chunks",
         [](Bytes& b, const Layout& l) {
             if (l.ix.size() < 2)
                 return false;
             // Each standard index's entries point at the other one's entries.
             for (std::size_t c = 0; c < 2; ++c) {
                 const std::uint64_t base = le64(b.data() + l.ix[c] + 8 + 12);
                 const std::uint32_t n = get32(b, l.ix[c] + 12);
                 for (std::uint32_t e = 0; e < n; ++e) {
                     const std::size_t target = ixEntry(l, 1 - c, e) + 8;
                     if (target >= l.ix[1 - c] && target >= base)
                         put32(b.data() + ixEntry(l, c, e),
                               static_cast<std::uint32_t>(target - base));
                 }
             }
             return true;
         }},
        {"idx1 entries pointing into the index",
         [](Bytes& b, const Layout& l) {
             if (!l.idx1 || l.movi.empty())
                 return false;
             const std::size_t target = l.ix.empty() ? l.idx1 : l.ix.front();
             for (std::size_t n = 1; n < idx1Entries(b, l); n += 2)
                 put32(b.data() + idx1Entry(l, n) + 8,
                       static_cast<std::uint32_t>(target + 8 + 8 * n - l.movi.front() - 8));
             return true;
         }},
        {"huge ix entry count", set32([](const Layout& l) { return first(l.ix); }, 12, 0x7FFFFFFF)},
        {"huge super index entry count",
         set32([](const Layout& l) { return first(l.indx); }, 12, 0xFFFFFFF0u)},
        {"huge idx1 size", set32([](const Layout& l) { return l.idx1; }, 4, 0xFFFFFFF0u)},
        {"huge first stream list size",
         set32([](const Layout& l) { return first(l.strl); }, 4, 0x7FFFFFF0)},
        {"huge header list size", set32([](const Layout& l) { return l.hdrl; }, 4, 0x7FFFFFF0)},
        {"huge movi list size",
         set32([](const Layout& l) { return first(l.movi); }, 4, 0x7FFFFFF0)},
        {"huge size of the third chunk",
         set32([](const Layout& l) { return l.chunks[2]; }, 4, 0x7FFFFFF0)},
        {"frame height -2147483648",
         set32([](const Layout& l) { return first(l.strf); }, 16, 0x80000000u)},
        {"bit flipped in the first stream list size",
         [](Bytes& b, const Layout& l) {
             flip(b, l.strl[0] + 4, 3);
             return true;
         }},
        {"bit flipped in the sound stream header's id",
         [](Bytes& b, const Layout& l) {
             if (l.strh.size() < 2)
                 return false;
             flip(b, l.strh[1] + 2, 5);
             return true;
         }},
        {"cut at a third", truncate(1.0 / 3)},
        {"cut in the middle", truncate(0.5)},
        {"cut before the end", truncate(0.97)},
    };
}

// Packets FFmpeg reads per kind of stream, and the errors its decoders report.
struct Oracle {
    int video = 0;
    int audio = 0;
    int errors = 0;
};

Oracle askFfmpeg(const fs::path& file) {
    Oracle o;
    std::string out;
    // Decoding every frame (-count_frames) makes the decoders report errors.
    runCommand(
        "ffprobe -v error -count_packets -count_frames -show_entries "
        "stream=codec_type,nb_read_packets -of csv=p=0 '" +
            file.string() + "' 2>'" + file.string() + ".err'",
        out);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto comma = line.find(',');
        if (comma == std::string::npos || comma + 1 >= line.size() ||
            !std::isdigit(static_cast<unsigned char>(line[comma + 1]))) {
            continue;
        }
        const int n = std::stoi(line.substr(comma + 1));
        if (line.compare(0, comma, "video") == 0)
            o.video += n;
        if (line.compare(0, comma, "audio") == 0)
            o.audio += n;
    }
    const Bytes err = readFile(file.string() + ".err");
    o.errors = static_cast<int>(std::count(err.begin(), err.end(), '\n'));
    return o;
}

// Headers and indexes repair writes afresh (a reserved super index per
// stream, alignment of the first chunk): a repaired file may exceed the
// damaged one by this much, never by a multiple of it.
constexpr std::size_t kRepairOverheadBytes = 256 * 1024;

struct Outcome {
    std::string what;
    bool refused = false;
    bool unchanged = true;
    Oracle before, after;
    std::size_t bytesBefore = 0, bytesAfter = 0;
    std::string log;
};

Outcome repairAndCompare(const fs::path& dir, const std::string& what, const Bytes& damaged) {
    Outcome o;
    o.what = what;
    const fs::path file = dir / "damaged.avi";
    writeFile(file, damaged);
    o.bytesBefore = damaged.size();
    o.before = askFfmpeg(file);
    const int rc = runCommand(kTool + " repair '" + file.string() + "' 2>&1", o.log);
    o.refused = rc != 0;
    const Bytes now = readFile(file);
    o.unchanged = now == damaged;
    o.bytesAfter = now.size();
    if (!o.refused)
        o.after = askFfmpeg(file);
    return o;
}

void expectNoWorse(const Outcome& o) {
    SCOPED_TRACE(o.what + ": " + o.log);
    if (o.refused) {
        EXPECT_TRUE(o.unchanged) << "refused, but the file changed";
        return;
    }
    EXPECT_GE(o.after.video, o.before.video);
    EXPECT_GE(o.after.audio, o.before.audio);
    EXPECT_LE(o.after.errors, o.before.errors);
    EXPECT_LE(o.bytesAfter, o.bytesBefore + kRepairOverheadBytes);
}

// The named damages, then seeded random bit flips, of one file; the cases run
// on two threads, each in its own directory.
void damageAndRepair(const fs::path& dir, const fs::path& original, std::uint32_t seed) {
    const Bytes b = readFile(original);
    const Layout l = layoutOf(b);
    ASSERT_FALSE(l.strl.empty());
    ASSERT_FALSE(l.movi.empty());
    ASSERT_GE(l.chunks.size(), 3u);
    std::vector<std::pair<std::string, Bytes>> cases;
    for (const NamedDamage& d : namedDamages()) {
        Bytes damaged = b;
        if (d.apply(damaged, l))
            cases.emplace_back(d.name, std::move(damaged));
    }
    // Few enough to keep the test short; the seed makes a failure repeatable.
    constexpr int kRandomCases = 8;
    constexpr int kMaxFlipsPerCase = 4;
    for (int c = 0; c < kRandomCases; ++c) {
        Bytes damaged = b;
        std::string name = "random flips (seed " + std::to_string(seed) + ") at";
        const int flips = 1 + static_cast<int>(seed % kMaxFlipsPerCase);
        for (int f = 0; f < flips; ++f) {
            seed = seed * 1664525u + 1013904223u;
            // Half the flips land in the headers, where one bit does the most harm.
            const std::size_t span = (seed & 0x100) ? l.movi.front() + 64 : b.size();
            const std::size_t at = (seed >> 9) % span;
            flip(damaged, at, static_cast<int>(seed >> 28) & 7);
            name += " " + std::to_string(at);
        }
        cases.emplace_back(name, std::move(damaged));
    }

    constexpr int kWorkers = 2;
    std::vector<Outcome> outcomes(cases.size());
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            const fs::path own = dir / ("worker" + std::to_string(w));
            fs::create_directories(own);
            for (std::size_t i = static_cast<std::size_t>(w); i < cases.size(); i += kWorkers)
                outcomes[i] = repairAndCompare(own, cases[i].first, cases[i].second);
        });
    }
    for (std::thread& t : workers)
        t.join();
    for (const Outcome& o : outcomes)
        expectNoWorse(o);
}

}  // namespace

// Our recording with sound, the same in several RIFFs, and FFmpeg's own file.
TEST(AviDamage, RepairIsNeverWorse) {
    if (!haveTool("ffprobe") || !haveTool("ffmpeg") || !fs::exists(kTool))
        GTEST_SKIP() << "FFmpeg or tessaly-avi missing";
    const fs::path dir = scratchDir("damage");
    ASSERT_EQ(writeRecording(dir / "own.avi", 64, 48, 36, true).status, kAviOk);
    ASSERT_EQ(writeRecording(dir / "riffs.avi", 64, 48, 36, true, 256 * 1024).status, kAviOk);
    AviReader r;
    ASSERT_EQ(r.open((dir / "riffs.avi").string()), kAviOk);
    ASSERT_GE(r.segmentCount(), 3);
    std::string log;
    ASSERT_EQ(runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -f lavfi -i "
                         "sine=r=44100 -ac 2 -t 6 -c:v msvideo1 -g 10 -keyint_min 10 "
                         "-c:a pcm_s16le '" +
                             (dir / "ffmpeg.avi").string() + "' 2>&1",
                         log),
              0)
        << log;
    const std::pair<const char*, std::uint32_t> files[] = {
        {"own.avi", 2026}, {"riffs.avi", 77}, {"ffmpeg.avi", 4242}};
    for (const auto& [name, seed] : files) {
        SCOPED_TRACE(name);
        const fs::path own = dir / (std::string(name) + ".cases");
        fs::create_directories(own);
        damageAndRepair(own, dir / name, seed);
    }
}

// However wild a header value, the reader reports it and nothing overflows;
// the tool says what it found instead of "problems: none".
TEST(AviDamage, InfoReportsAnImplausibleFrameSize) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tessaly-avi missing";
    const fs::path dir = scratchDir("damage-info");
    ASSERT_EQ(writeRecording(dir / "rec.avi", 32, 16, 4, true).status, kAviOk);
    const Bytes b = readFile(dir / "rec.avi");
    const Layout l = layoutOf(b);
    for (const std::uint32_t height : {0x80000000u, 0u, 0x7FFFFFFFu}) {
        Bytes damaged = b;
        put32(damaged.data() + l.strf[0] + 8 + 8, height);
        writeFile(dir / "odd.avi", damaged);
        std::string out;
        EXPECT_EQ(runCommand(kTool + " info '" + (dir / "odd.avi").string() + "' 2>&1", out), 0);
        EXPECT_NE(out.find("implausible frame size"), std::string::npos) << out;
        EXPECT_EQ(out.find("problems: none"), std::string::npos) << out;
    }
}

// The cutter and the merger on real recordings: which frames and how much
// sound land in the output (read back by FFmpeg), the report sequences, the
// names, and what is left on disk after a refusal, a failure or a give-up.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "edit_test_support.h"
#include "tests/support/scoped_tmpfs.h"

using namespace edittest;

namespace {

constexpr int kSamplesPerFrame = kSampleRate / 5;
// Clicks must land this close to where their frames went (10 ms; a video
// frame is 200 ms).
constexpr std::int64_t kClickTolerance = kSampleRate / 100;

// Where the clicks of a 5 fps source (one at each whole second of its own
// sound, which covers `soundFrames`) land when its frames from `first` on are
// written from output frame `at` on, `count` of them.
void expectClicks(std::vector<std::int64_t>& expected, int first, int count, int at,
                  int soundFrames) {
    for (int second = 0; second * 5 < soundFrames; ++second) {
        const int frame = second * 5;
        if (frame >= first && frame < first + count)
            expected.push_back(std::int64_t{frame - first + at} * kSamplesPerFrame);
    }
}

void expectClicksNear(const Decoded& d, const std::vector<std::int64_t>& expected) {
    ASSERT_EQ(d.clicks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(d.clicks[i], expected[i], kClickTolerance) << "click " << i;
}

std::vector<int> numbersFrom(int first, int count) {
    std::vector<int> n;
    for (int i = 0; i < count; ++i)
        n.push_back(first + i);
    return n;
}

class EditJobs : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveFfmpeg())
            GTEST_SKIP() << "FFmpeg is the oracle of these tests";
        editing::isEditCancelled = false;
    }
    QString source(const char* name, const SourceShape& shape) {
        const QString path = in_.filePath(QLatin1String(name));
        EXPECT_EQ(writeSource(path, shape), 0);
        return path;
    }
    QString ffmpegSource(const char* name, const QStringList& codecArgs) {
        const QString path = in_.filePath(QLatin1String(name));
        int rc = 0;
        run(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                        QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("testsrc=size=64x48:rate=5"), QStringLiteral("-f"),
                        QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("aevalsrc='if(lt(mod(t,1),0.002),0.8,0)':s=48000"),
                        QStringLiteral("-t"), QStringLiteral("6")} +
                codecArgs + QStringList{path},
            &rc);
        EXPECT_EQ(rc, 0) << codecArgs.join(QLatin1Char(' ')).toStdString();
        return path;
    }
    QTemporaryDir in_;
    QTemporaryDir out_;
};

const QStringList kVideo1 = {QStringLiteral("-c:v"), QStringLiteral("msvideo1"),
                             QStringLiteral("-pix_fmt"), QStringLiteral("rgb555le")};

TEST_F(EditJobs, CutWritesTheRangeWithItsOwnSoundAndAFreeName) {
    struct Case {
        qint64 start, end;
        bool sound;
        QStringList existing;
        int first, count;
        const char* name;
    };
    const Case cases[] = {
        {2, 5, true, {}, 9, 15, "Cut_a.avi"},
        {0, 3, true, {"Cut_a.avi", "Cut_a(1).avi"}, 0, 14, "Cut_a(2).avi"},
        {1, 4, false, {}, 4, 15, "Cut_a.avi"},
        {6, 60, true, {}, 29, 11, "Cut_a.avi"},  // the end lies past the recording's
    };
    for (const Case& c : cases) {
        QTemporaryDir in;
        QTemporaryDir out;
        const QString a = in.filePath(QStringLiteral("a.avi"));
        ASSERT_EQ(writeSource(a, {.frames = 40, .firstNumber = 0, .sound = c.sound}), 0);
        for (const QString& name : c.existing) {
            QFile taken(out.filePath(name));
            ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
        }
        Reports reports;
        const editing::EditOutcome o =
            editing::cutRecording({a, c.start, c.end, out.path()}, reports.fn());
        SCOPED_TRACE(c.name);
        ASSERT_EQ(o.status, 0) << o.reason.toStdString();
        EXPECT_EQ(o.target, out.filePath(QLatin1String(c.name)));
        const Decoded d = decode(o.target);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.frameRate, QStringLiteral("5/1"));
        EXPECT_EQ(d.numbers, numbersFrom(c.first, c.count));
        EXPECT_EQ(d.keyFrames.front(), 0);
        for (std::size_t k = 1; k < d.keyFrames.size(); ++k)
            EXPECT_EQ(d.keyFrames[k] - d.keyFrames[k - 1], 5);
        EXPECT_EQ(int(d.keyFrames.size()), (c.count + 4) / 5);
        EXPECT_EQ(d.hasSound, c.sound);
        if (c.sound) {
            EXPECT_EQ(d.soundSamples, std::int64_t{c.count} * kSamplesPerFrame);
            std::vector<std::int64_t> expected;
            expectClicks(expected, c.first, c.count, 0, 40);
            expectClicksNear(d, expected);
        }
        ASSERT_FALSE(reports.all.empty());
        EXPECT_EQ(reports.all.back().target, o.target);
        EXPECT_EQ(reports.all.back().currentSource, a);
    }
}

TEST_F(EditJobs, CutReportsEachFrameThenOneHundred) {
    const QString a = source("a.avi", {.frames = 40});
    Reports reports;
    editing::cutRecording({a, 2, 5, out_.path()}, reports.fn());
    EXPECT_EQ(reports.percents(),
              (std::vector<int>{0, 6, 13, 20, 26, 33, 40, 46, 53, 60, 66, 73, 80, 86, 93, 100}));
}

TEST_F(EditJobs, RefusalsNameTheFileAndWriteNothing) {
    const QString a = source("a.avi", {.frames = 40});
    const QString small = source("small.avi", {.frames = 10, .width = 32});
    const QString mjpeg =
        ffmpegSource("mjpeg.avi", {QStringLiteral("-c:v"), QStringLiteral("mjpeg")});
    const QString adpcm = ffmpegSource(
        "adpcm.avi", kVideo1 + QStringList{QStringLiteral("-c:a"), QStringLiteral("adpcm_ms")});
    const QString tenFps = in_.filePath(QStringLiteral("ten.avi"));
    run(QStringLiteral("ffmpeg"),
        QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), a,
                    QStringLiteral("-r"), QStringLiteral("10"), QStringLiteral("-an")} +
            kVideo1 + QStringList{tenFps});
    QFile text(in_.filePath(QStringLiteral("text.avi")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not a recording") > 0);
    text.close();
    const QString missing = in_.filePath(QStringLiteral("missing.avi"));

    struct Case {
        QStringList sources;  // one: a cut from 1 s to `end`; more: a merge
        qint64 end;
        QString blamed;  // the file the reason must name
        const char* says;
    };
    const Case cases[] = {
        {{a}, 1, QString(), "The end time must be after the start time."},
        {{a}, 0, QString(), "The end time must be after the start time."},
        {{mjpeg}, 3, mjpeg, "cannot be decoded"},
        {{adpcm}, 3, adpcm, "not PCM"},
        {{text.fileName()}, 3, text.fileName(), "cannot be read"},
        {{a, missing}, 0, missing, "does not exist"},
        {{a, text.fileName()}, 0, text.fileName(), "cannot be read"},
        {{a, small}, 0, small, "same frame size and frame rate"},
        {{a, tenFps}, 0, tenFps, "same frame size and frame rate"},
        {{a, a, adpcm}, 0, adpcm, "not PCM"},
        {{a, mjpeg}, 0, mjpeg, "cannot be decoded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sources.join(QLatin1Char(' ')).toStdString());
        Reports reports;
        const editing::EditOutcome o =
            c.sources.size() == 1
                ? editing::cutRecording({c.sources[0], 1, c.end, out_.path()}, reports.fn())
                : editing::mergeRecordings({c.sources, out_.path()}, reports.fn());
        EXPECT_NE(o.status, 0);
        EXPECT_TRUE(o.reason.contains(QLatin1String(c.says))) << o.reason.toStdString();
        EXPECT_TRUE(o.reason.contains(c.blamed)) << o.reason.toStdString();
        EXPECT_TRUE(filesIn(out_.path()).isEmpty());
        ASSERT_EQ(reports.all.size(), 1u);
        EXPECT_EQ(reports.all[0].percent, 100);
        EXPECT_EQ(reports.all[0].status, o.status);
        EXPECT_TRUE(reports.all[0].target.isEmpty());
    }
}

TEST_F(EditJobs, MergeJoinsInOrderWithEachSourcesOwnLengthOfSound) {
    // b's sound stops after 20 of its 45 frames; the rest of its picture is
    // silent and the next join would still be in step.
    const QString a = source("a.avi", {.frames = 30, .firstNumber = 0});
    const QString b = source("b.avi", {.frames = 45, .firstNumber = 100, .soundFrames = 20});
    const QString c = source("c.avi", {.frames = 10, .firstNumber = 200, .sound = false});
    const QString d = source("d.avi", {.frames = 12, .firstNumber = 300});
    // The names of this second and the next two are taken: the merge must
    // leave those files alone.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 3; ++s) {
        QFile taken(
            out_.filePath(now.addSecs(s).toString(QStringLiteral("'Merge'yyyyMMddHHmmss'.avi'"))));
        ASSERT_TRUE(taken.open(QIODevice::WriteOnly) && taken.write("mine") == 4);
    }
    Reports reports;
    const editing::EditOutcome o =
        editing::mergeRecordings({{a, b, c, d}, out_.path()}, reports.fn());
    ASSERT_EQ(o.status, 0) << o.reason.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("/Merge\\d{14}\\(1\\)\\.avi$"))
                    .match(o.target)
                    .hasMatch())
        << o.target.toStdString();
    EXPECT_EQ(filesIn(out_.path()).size(), 4);
    for (const QString& name : filesIn(out_.path())) {
        if (out_.filePath(name) != o.target) {
            EXPECT_EQ(QFileInfo(out_.filePath(name)).size(), 4);
        }
    }

    const Decoded m = decode(o.target);
    ASSERT_TRUE(m.ok);
    std::vector<int> numbers = numbersFrom(0, 30);
    for (int first : {100, 200, 300}) {
        const std::vector<int> more = numbersFrom(first, first == 100   ? 45
                                                         : first == 200 ? 10
                                                                        : 12);
        numbers.insert(numbers.end(), more.begin(), more.end());
    }
    EXPECT_EQ(m.numbers, numbers);
    EXPECT_EQ(m.soundSamples, std::int64_t{97} * kSamplesPerFrame);
    std::vector<std::int64_t> expected;
    expectClicks(expected, 0, 30, 0, 30);
    expectClicks(expected, 0, 45, 30, 20);
    expectClicks(expected, 0, 12, 85, 12);
    expectClicksNear(m, expected);

    ASSERT_EQ(reports.all.size(), 98u);
    EXPECT_EQ(reports.all[0].percent, 0);
    EXPECT_EQ(reports.all[3].percent, 3);
    EXPECT_EQ(reports.all[96].percent, 98);
    EXPECT_EQ(reports.all[29].currentSource, a);
    EXPECT_EQ(reports.all[30].currentSource, b);
    EXPECT_EQ(reports.all[97].percent, 100);
    EXPECT_EQ(reports.all[97].target, o.target);
}

TEST_F(EditJobs, UncompressedSourcesDecodeFrameForFrame) {
    const QString a = source("a.avi", {.frames = 30});
    for (const char* pixels : {"bgr24", "pal8", "rgb555le"}) {
        SCOPED_TRACE(pixels);
        const QString raw = in_.filePath(QLatin1String(pixels) + QStringLiteral(".avi"));
        int rc = 0;
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), a,
             QStringLiteral("-c:v"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
             QLatin1String(pixels), QStringLiteral("-c:a"), QStringLiteral("copy"), raw},
            &rc);
        ASSERT_EQ(rc, 0);
        const editing::EditOutcome o = editing::cutRecording({raw, 2, 5, out_.path()}, nullptr);
        ASSERT_EQ(o.status, 0) << o.reason.toStdString();
        EXPECT_EQ(decode(o.target).numbers, numbersFrom(9, 15));
    }
}

TEST_F(EditJobs, PcmInOtherFormatsIsConvertedInStep) {
    const QString a = source("a.avi", {.frames = 30});
    struct Case {
        const char* name;
        QStringList sound;
    };
    const Case cases[] = {
        {"u8.avi", {"-c:a", "pcm_u8", "-ar", "22050", "-ac", "1"}},
        {"s24.avi", {"-c:a", "pcm_s24le", "-ar", "48000", "-ac", "2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString f = ffmpegSource(c.name, kVideo1 + c.sound);
        const editing::EditOutcome cut = editing::cutRecording({f, 2, 5, out_.path()}, nullptr);
        ASSERT_EQ(cut.status, 0) << cut.reason.toStdString();
        const Decoded d = decode(cut.target);
        EXPECT_EQ(d.soundSamples, 15 * kSamplesPerFrame);
        std::vector<std::int64_t> expected;
        expectClicks(expected, 9, 15, 0, 30);
        expectClicksNear(d, expected);

        const editing::EditOutcome merged =
            editing::mergeRecordings({{a, f}, out_.path()}, nullptr);
        ASSERT_EQ(merged.status, 0) << merged.reason.toStdString();
        const Decoded m = decode(merged.target);
        EXPECT_EQ(m.soundSamples, 60 * kSamplesPerFrame);
        expected.clear();
        expectClicks(expected, 0, 30, 0, 30);
        expectClicks(expected, 0, 30, 30, 30);
        expectClicksNear(m, expected);
        QFile::remove(merged.target);
    }
}

TEST_F(EditJobs, FailureAndGiveUpKeepAPartialCutAndNoMerge) {
    ScopedTmpfs drive("size=2m");
    if (!drive.mounted())
        GTEST_SKIP() << "no tmpfs: " << drive.error().toStdString();
    const QString a = source("a.avi", {.frames = 30});
    const QString b = source("b.avi", {.frames = 20, .firstNumber = 100});
    const QString big = source("big.avi", {.frames = 100, .firstNumber = 200});
    struct Case {
        QStringList sources;  // one: a cut of the whole; more: a merge
        int giveUpAfter;      // frames; 0: never (the drive fills up)
        int first;            // first frame number of the partial cut
    };
    const Case cases[] = {
        {{big}, 40, 200},
        {{big}, 0, 200},
        {{a, b, big}, 10, 0},
        {{a, b, big}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sources.size() * 100 + c.giveUpAfter);
        editing::isEditCancelled = false;
        Reports reports;
        auto report = [&](const editing::EditReport& r) {
            reports.all.push_back(r);
            if (r.framesDone == c.giveUpAfter)
                editing::isEditCancelled = true;
        };
        const bool cut = c.sources.size() == 1;
        const editing::EditOutcome o =
            cut ? editing::cutRecording({c.sources[0], 0, 20, drive.path()}, report)
                : editing::mergeRecordings({c.sources, drive.path()}, report);
        EXPECT_EQ(o.cancelled, c.giveUpAfter > 0);
        if (c.giveUpAfter > 0) {
            EXPECT_EQ(o.status, 0);
        } else {
            EXPECT_TRUE(o.status != 0 && o.reason.contains(QLatin1String("full")))
                << o.reason.toStdString();
        }
        EXPECT_EQ(reports.all.back().percent, 100);
        EXPECT_EQ(reports.all.back().status, o.status);
        EXPECT_EQ(reports.all.back().currentSource, c.sources.last());
        if (!cut) {
            EXPECT_TRUE(filesIn(drive.path()).isEmpty());
            continue;
        }
        const Decoded d = decode(o.target);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(std::int64_t(d.numbers.size()), o.framesWritten);
        if (c.giveUpAfter > 0) {
            EXPECT_EQ(d.numbers.size(), std::size_t(c.giveUpAfter));
        }
        EXPECT_GT(d.numbers.size(), 0u);
        EXPECT_EQ(d.numbers, numbersFrom(c.first, int(d.numbers.size())));
        EXPECT_NEAR(d.soundSamples, std::int64_t(d.numbers.size()) * kSamplesPerFrame,
                    kSamplesPerFrame);
        QFile::remove(o.target);
    }
}

TEST_F(EditJobs, AVanishedOutputDirectoryEndsTheJobWithItsReason) {
    const QString a = source("a.avi", {.frames = 30});
    for (bool cut : {true, false}) {
        SCOPED_TRACE(cut ? "cut" : "merge");
        const QString dir = out_.filePath(QStringLiteral("vanishing"));
        ASSERT_TRUE(QDir().mkpath(dir));
        Reports reports;
        auto report = [&](const editing::EditReport& r) {
            reports.all.push_back(r);
            if (r.framesDone == 5)
                QDir(dir).removeRecursively();
        };
        const editing::EditOutcome o = cut ? editing::cutRecording({a, 0, 6, dir}, report)
                                           : editing::mergeRecordings({{a, a}, dir}, report);
        EXPECT_NE(o.status, 0);
        EXPECT_TRUE(o.reason.contains(QLatin1String("was deleted"))) << o.reason.toStdString();
        EXPECT_EQ(reports.all.size(), 6u);
        EXPECT_EQ(reports.all.back().percent, 100);
        EXPECT_EQ(reports.all.back().status, o.status);
    }
}

}  // namespace

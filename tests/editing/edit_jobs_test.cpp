// The cutter and the merger on real recordings: which frames and how much
// sound land in the output (read back by FFmpeg), the report sequences, the
// names, and what is left on disk after a refusal, a failure or a give-up.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "edit_test_support.h"
#include "tests/support/programs.h"
#include "tests/support/scoped_tmpfs.h"

using namespace edittest;

namespace {

class EditJobs : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::haveTool("ffmpeg"))
            GTEST_SKIP() << "FFmpeg is the oracle of these tests";
        editing::isEditCancelled = false;
    }
    QString source(const char* name, const SourceShape& shape) {
        const QString path = in_.filePath(QLatin1String(name));
        EXPECT_EQ(writeSource(path, shape), 0);
        return path;
    }
    // `from` turned by FFmpeg with `args` into a file named `name`.
    QString converted(const QString& from, const char* name, const char* args) {
        const QString path = in_.filePath(QLatin1String(name));
        EXPECT_TRUE(ffmpeg(QStringLiteral("-i '%1' %2 '%3'").arg(from, args, path))) << args;
        return path;
    }
    QTemporaryDir in_;
    QTemporaryDir out_;
};

// Sources other than the recorder's own (uncompressed pictures, other PCM
// formats, made by FFmpeg from a recorder source) are converted in step.
TEST_F(EditJobs, CutWritesTheRangeWithItsOwnSoundAndAFreeName) {
    struct Case {
        qint64 start, end;
        bool sound;
        const char* conversion;  // FFmpeg's arguments from a recorder source; null: none
        QStringList existing;
        int first, count;
        const char* name;
    };
    const Case cases[] = {
        {2, 5, true, nullptr, {}, 9, 15, "Cut_a.avi"},
        {0, 3, true, nullptr, {"Cut_a.avi", "Cut_a(1).avi"}, 0, 14, "Cut_a(2).avi"},
        {1, 4, false, nullptr, {}, 4, 15, "Cut_a.avi"},
        {6, 60, true, nullptr, {}, 29, 11, "Cut_a.avi"},  // the end lies past the recording's
        {2, 5, true, "-c:v rawvideo -pix_fmt bgr24 -c:a copy", {}, 9, 15, "Cut_a.avi"},
        {2, 5, true, "-c:v rawvideo -pix_fmt pal8 -c:a copy", {}, 9, 15, "Cut_a.avi"},
        {2, 5, true, "-c:v rawvideo -pix_fmt rgb555le -c:a copy", {}, 9, 15, "Cut_a.avi"},
        {2, 5, true, "-c:v copy -c:a pcm_u8 -ar 22050 -ac 1", {}, 9, 15, "Cut_a.avi"},
        {2, 5, true, "-c:v copy -c:a pcm_s24le -ar 48000", {}, 9, 15, "Cut_a.avi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.conversion ? c.conversion : c.name);
        QTemporaryDir in;
        QTemporaryDir out;
        const QString a = in.filePath(QStringLiteral("a.avi"));
        const QString recorded = c.conversion ? in.filePath(QStringLiteral("src.avi")) : a;
        ASSERT_EQ(writeSource(recorded, {.frames = 40, .sound = c.sound}), 0);
        if (c.conversion) {
            ASSERT_TRUE(ffmpeg(QStringLiteral("-i '%1' %2 '%3'").arg(recorded, c.conversion, a)));
        }
        for (const QString& name : c.existing) {
            QFile taken(out.filePath(name));
            ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
        }
        Reports reports;
        const editing::EditOutcome o =
            editing::cutRecording({a, c.start, c.end, out.path()}, reports.fn());
        ASSERT_EQ(o.status, 0) << o.reason.toStdString();
        EXPECT_EQ(o.target, out.filePath(QLatin1String(c.name)));
        const Decoded d = decode(o.target);
        EXPECT_EQ(d.frameRate, "5/1");
        EXPECT_EQ(d.numbers, numbersFrom(c.first, c.count));
        std::vector<int> keys;
        for (int k = 0; k < c.count; k += 5)
            keys.push_back(k);
        EXPECT_EQ(d.keyFrames, keys);
        EXPECT_EQ(d.hasSound, c.sound);
        if (c.sound) {
            EXPECT_EQ(d.soundSamples, std::int64_t{c.count} * kSamplesPerFrame);
            std::vector<std::int64_t> expected;
            expectClicks(expected, c.first, c.count, 0, 40);
            expectClicksNear(d, expected);
        }
        // One report before the first frame and after each, the last at 100
        // with the output's name.
        ASSERT_EQ(reports.all.size(), std::size_t(c.count + 1));
        EXPECT_EQ(reports.all[1].percent, 100 / c.count);
        EXPECT_EQ(reports.all.back().percent, 100);
        EXPECT_EQ(reports.all.back().target, o.target);
        EXPECT_EQ(reports.all.back().currentSource, a);
    }
}

TEST_F(EditJobs, RefusalsNameTheFileAndWriteNothing) {
    const QString a = source("a.avi", {.frames = 40});
    const QString small = source("small.avi", {.frames = 10, .width = 32});
    const QString mjpeg = converted(a, "mjpeg.avi", "-c:v mjpeg");
    const QString adpcm = converted(a, "adpcm.avi", "-c:v copy -c:a adpcm_ms");
    const QString tenFps = converted(a, "ten.avi", "-r 10 -an -c:v msvideo1 -pix_fmt rgb555le");
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
        {{mjpeg}, 3, mjpeg, "cannot be decoded"},
        {{adpcm}, 3, adpcm, "not PCM"},
        {{text.fileName()}, 3, text.fileName(), "cannot be read"},
        {{a, missing}, 0, missing, "does not exist"},
        {{a, text.fileName()}, 0, text.fileName(), "cannot be read"},
        {{a, small}, 0, small, "same frame size and frame rate"},
        {{a, tenFps}, 0, tenFps, "same frame size and frame rate"},
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
    // silent and the next join must still be in step.
    const QString a = source("a.avi", {.frames = 30, .firstNumber = 0});
    const QString b = source("b.avi", {.frames = 45, .firstNumber = 100, .soundFrames = 20});
    const QString c = source("c.avi", {.frames = 10, .firstNumber = 200, .sound = false});
    const QString d = source("d.avi", {.frames = 12, .firstNumber = 300});
    Reports reports;
    const editing::EditOutcome o =
        editing::mergeRecordings({{a, b, c, d}, out_.path()}, reports.fn());
    ASSERT_EQ(o.status, 0) << o.reason.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("/Merge\\d{14}\\.avi$")).match(o.target).hasMatch())
        << o.target.toStdString();

    const Decoded m = decode(o.target);
    std::vector<int> numbers;
    for (auto [first, count] : {std::pair{0, 30}, {100, 45}, {200, 10}, {300, 12}}) {
        const std::vector<int> more = numbersFrom(first, count);
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
    EXPECT_EQ(reports.all[3].percent, 3);
    EXPECT_EQ(reports.all[96].percent, 98);
    EXPECT_EQ(reports.all[29].currentSource, a);
    EXPECT_EQ(reports.all[30].currentSource, b);
    EXPECT_EQ(reports.all[97].percent, 100);
    EXPECT_EQ(reports.all[97].target, o.target);
}

// A give-up keeps the part of a cut written so far and no merge; a full
// drive or a deleted output directory ends the job with its reason.
TEST_F(EditJobs, FailureAndGiveUpKeepAPartialCutAndNoMerge) {
    ScopedTmpfs drive("size=2m");
    if (!drive.mounted())
        GTEST_SKIP() << "no tmpfs: " << drive.error().toStdString();
    const QString a = source("a.avi", {.frames = 30});
    const QString b = source("b.avi", {.frames = 20, .firstNumber = 100});
    const QString big = source("big.avi", {.frames = 100, .firstNumber = 200});
    enum class End { GiveUp, DriveFull, DirectoryDeleted };
    struct Case {
        QStringList sources;  // one: a cut of the first 20 s; more: a merge
        End end;
        int after;  // frames done before the give-up or the deletion
        int first;  // first frame number of the partial cut
    };
    const Case cases[] = {
        {{big}, End::GiveUp, 40, 200},      {{big}, End::DriveFull, 0, 200},
        {{a, b, big}, End::GiveUp, 10, 0},  {{a, b, big}, End::DriveFull, 0, 0},
        {{a}, End::DirectoryDeleted, 5, 0}, {{a, a}, End::DirectoryDeleted, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sources.size() * 100 + int(c.end) * 10);
        editing::isEditCancelled = false;
        const QString dir = c.end == End::DirectoryDeleted
                                ? out_.filePath(QStringLiteral("vanishing"))
                                : drive.path();
        ASSERT_TRUE(QDir().mkpath(dir));
        Reports reports;
        auto report = [&](const editing::EditReport& r) {
            reports.all.push_back(r);
            if (r.framesDone == c.after && c.end == End::GiveUp)
                editing::isEditCancelled = true;
            if (r.framesDone == c.after && c.end == End::DirectoryDeleted)
                QDir(dir).removeRecursively();
        };
        const bool cut = c.sources.size() == 1;
        const editing::EditOutcome o =
            cut ? editing::cutRecording({c.sources[0], 0, 20, dir}, report)
                : editing::mergeRecordings({c.sources, dir}, report);
        EXPECT_EQ(o.cancelled, c.end == End::GiveUp);
        const char* reason = c.end == End::DriveFull ? "full" : "was deleted";
        EXPECT_TRUE(c.end == End::GiveUp
                        ? o.status == 0
                        : o.status != 0 && o.reason.contains(QLatin1String(reason)))
            << o.reason.toStdString();
        EXPECT_EQ(reports.all.back().percent, 100);
        EXPECT_EQ(reports.all.back().status, o.status);
        EXPECT_EQ(reports.all.back().currentSource, c.sources.last());
        if (c.end == End::DirectoryDeleted) {
            EXPECT_EQ(reports.all.size(), 6u);  // nothing after the failed frame
            continue;
        }
        if (!cut) {
            EXPECT_TRUE(filesIn(dir).isEmpty());
            continue;
        }
        const Decoded d = decode(o.target);
        EXPECT_EQ(std::int64_t(d.numbers.size()), o.framesWritten);
        if (c.end == End::GiveUp) {
            EXPECT_EQ(d.numbers.size(), std::size_t(c.after));
        }
        EXPECT_GT(d.numbers.size(), 0u);
        EXPECT_EQ(d.numbers, numbersFrom(c.first, int(d.numbers.size())));
        EXPECT_NEAR(d.soundSamples, std::int64_t(d.numbers.size()) * kSamplesPerFrame,
                    kSamplesPerFrame);
        QFile::remove(o.target);
    }
}

}  // namespace

#include "media/avi_repair.h"

#include <unordered_set>

#include "media/avi_reader.h"
#include "media/avi_repair_file.h"
#include "media/avi_writer.h"
#include "media/riff_layout.h"

namespace media {
namespace {

// Room for what a complete file holds besides its streams: the RIFF and hdrl
// lists, avih, the OpenDML list and dmlh, the movi list and the padding that
// aligns the first chunk to 2048 bytes come to about 2.5 KiB.
constexpr std::uint64_t kMainHeaderAllowance = 4096;

struct PlannedChunk {
    int stream = 0;
    std::size_t index = 0;
};

// What goes into the repaired file: each chunk the reader found, once (an
// index may list one chunk many times), streams interleaved in file order so
// the sound stays beside its pictures.
struct CopyPlan {
    std::vector<PlannedChunk> chunks;
    std::vector<std::uint32_t> perStream;
    std::uint64_t chunkBytes = 0;  // headers and padding included
};

CopyPlan planCopy(const AviReader& reader) {
    const auto streams = static_cast<std::size_t>(reader.streamCount());
    CopyPlan plan;
    plan.perStream.assign(streams, 0);
    std::vector<std::size_t> next(streams, 0);
    std::unordered_set<std::uint64_t> copied;
    for (;;) {
        int pick = -1;
        std::uint64_t pickPos = 0;
        for (std::size_t i = 0; i < streams; ++i) {
            const auto& chunks = reader.stream(static_cast<int>(i)).chunks;
            if (next[i] < chunks.size() && (pick < 0 || chunks[next[i]].dataPos < pickPos)) {
                pick = static_cast<int>(i);
                pickPos = chunks[next[i]].dataPos;
            }
        }
        if (pick < 0)
            return plan;
        const std::size_t n = next[static_cast<std::size_t>(pick)]++;
        if (!copied.insert(pickPos).second)
            continue;
        plan.chunks.push_back({pick, n});
        ++plan.perStream[static_cast<std::size_t>(pick)];
        plan.chunkBytes += kChunkHeaderBytes + paddedChunkSize(reader.stream(pick).chunks[n].size);
    }
}

// The largest file the writer can make of the plan: the chunks, the header
// block (whose super indexes are reserved in full), idx1 and the ix## windows.
std::uint64_t repairedSizeBound(const AviReader& reader, const CopyPlan& plan) {
    const std::uint64_t segments = plan.chunkBytes / kDefaultSegmentLimit + 1;
    std::uint64_t bound = kMainHeaderAllowance + plan.chunkBytes +
                          idx1ChunkBytes(plan.chunks.size()) + segments * 2 * kListHeaderBytes;
    for (int i = 0; i < reader.streamCount(); ++i) {
        const AviReaderStream& s = reader.stream(i);
        const std::uint64_t chunks = plan.perStream[static_cast<std::size_t>(i)];
        bound += kListHeaderBytes + kChunkHeaderBytes + kStreamHeaderBytes + kChunkHeaderBytes +
                 paddedChunkSize(s.format.size()) + kChunkHeaderBytes +
                 paddedChunkSize(s.name.size() + 1) + kChunkHeaderBytes + kSuperIndexHeaderBytes +
                 std::uint64_t{kSuperIndexEntryBytes} * kDefaultSuperIndexEntries;
        const std::uint64_t windows = chunks / kStdIndexEntries + 1 + segments;
        bound += windows * stdIndexChunkBytes(0) + chunks * kStdIndexEntryBytes;
    }
    return bound;
}

int copyStreams(const AviReader& reader, AviWriter& writer) {
    for (int i = 0; i < reader.streamCount(); ++i) {
        const AviReaderStream& s = reader.stream(i);
        int index = -1;
        if (int rc = writer.addStream(s.header, s.name, &index); rc != kAviOk)
            return rc;
        if (!s.format.empty()) {
            if (int rc = writer.setFormat(index, s.format.data(), s.format.size()); rc != kAviOk)
                return rc;
        }
    }
    return kAviOk;
}

int writeRepaired(AviReader& reader, const CopyPlan& plan, const std::string& path) {
    AviWriter writer;
    int status = writer.create(path);
    if (status == kAviOk)
        status = copyStreams(reader, writer);
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < plan.chunks.size() && status == kAviOk; ++i) {
        const PlannedChunk& c = plan.chunks[i];
        status = reader.readChunk(c.stream, c.index, data);
        if (status == kAviOk) {
            status =
                writer.writeChunk(c.stream, data.data(), static_cast<std::uint32_t>(data.size()),
                                  reader.stream(c.stream).chunks[c.index].key);
        }
    }
    const int closed = writer.close();
    return status != kAviOk ? status : closed;
}

int leaveAsItWas(AviRepairReport& report, int status, std::string reason) {
    report.outcome = AviRepairOutcome::LeftAsItWas;
    report.reason = std::move(reason);
    return status;
}

// Reads the repaired copy back: it must read without problems, hold every
// chunk that was found and stay within the size bound.
int checkRepaired(const std::string& path, const CopyPlan& plan, std::uint64_t bound,
                  AviRepairReport& report, std::uint64_t& size) {
    AviReader check;
    if (int rc = check.open(path); rc != kAviOk)
        return leaveAsItWas(report, rc, "the repaired copy cannot be read back");
    if (!check.problems().empty())
        return leaveAsItWas(report, kAviErrInternal,
                            "the repaired copy reads back with a problem: " + check.problems()[0]);
    if (check.streamCount() != static_cast<int>(plan.perStream.size()))
        return leaveAsItWas(report, kAviErrInternal, "the repaired copy lost a stream");
    for (int i = 0; i < check.streamCount(); ++i) {
        if (check.stream(i).chunks.size() < plan.perStream[static_cast<std::size_t>(i)]) {
            return leaveAsItWas(report, kAviErrInternal,
                                "the repaired copy holds fewer chunks of stream " +
                                    std::to_string(i) + " than were found");
        }
    }
    if (check.fileSize() > bound) {
        return leaveAsItWas(report, kAviErrInternal,
                            "the repaired copy would take " + std::to_string(check.fileSize()) +
                                " bytes, more than its chunks and index need (" +
                                std::to_string(bound) + ")");
    }
    size = check.fileSize();
    for (std::size_t i = 0; i < report.chunksPerStream.size(); ++i)
        report.chunksPerStream[i] =
            static_cast<std::uint32_t>(check.stream(static_cast<int>(i)).chunks.size());
    return kAviOk;
}

// Copies the checked copy over the original. A failure part-way keeps the
// copy, so what the recording held is never lost.
int rewriteOriginal(const repair::OriginalFile& original, repair::Temporary& temporary,
                    std::uint64_t size, AviRepairReport& report) {
    bool touched = false;
    std::string reason;
    if (repair::rewriteInPlace(original, temporary.fd(), size, reason, touched)) {
        report.outcome = AviRepairOutcome::Repaired;
        return kAviOk;
    }
    if (!touched)
        return leaveAsItWas(report, kAviErrFileWrite, reason);
    temporary.keep();
    const std::string directory = original.resolved.substr(0, original.resolved.find_last_of('/'));
    report.keptCopy = directory + "/" + temporary.name();
    report.outcome = AviRepairOutcome::RewriteFailed;
    report.reason =
        reason + "; the file may be damaged, the repaired copy is kept as " + report.keptCopy;
    return kAviErrFileWrite;
}

}  // namespace

int repairAviFile(const std::string& path, AviRepairReport& report) {
    report = AviRepairReport{};
    repair::OriginalFile original;
    if (!repair::openOriginal(path, original, report.reason))
        return kAviErrFileOpen;
    if (original.viaLink)
        report.linkTarget = original.resolved;

    AviReader reader;
    const int opened = reader.open(repair::descriptorPath(original.file.get()));
    report.problems = reader.problems();
    if (opened != kAviOk) {
        return leaveAsItWas(report, opened, "not an AVI file that can be read");
    }
    report.recoveredChunks = reader.recoveredChunks();
    for (int i = 0; i < reader.streamCount(); ++i)
        report.streamTypes.push_back(reader.stream(i).header.fccType);
    const CopyPlan plan = planCopy(reader);
    report.chunksPerStream = plan.perStream;

    if (report.problems.empty()) {
        report.outcome = AviRepairOutcome::NothingToRepair;
        return kAviOk;
    }
    if (plan.chunks.empty())
        return leaveAsItWas(report, kAviErrNoData, "no frame or sound block in it can be read");
    // Chunks are separate stretches of the file; more chunk bytes than the file
    // has (a pad byte may be cut off the last one) means an index that lists
    // overlapping chunks, and copying them would only inflate the file.
    if (plan.chunkBytes > reader.fileSize() + 1) {
        return leaveAsItWas(report, kAviErrBadFormat,
                            "its index lists " + std::to_string(plan.chunkBytes) +
                                " bytes of chunks in a file of " +
                                std::to_string(reader.fileSize()));
    }
    if (!repair::openForRewrite(original, report.reason))
        return kAviErrFileOpen;

    repair::Temporary temporary;
    if (!temporary.create(original.directory.get(), report.reason))
        return kAviErrFileWrite;
    const std::string copyPath = repair::descriptorPath(temporary.fd());
    if (int rc = writeRepaired(reader, plan, copyPath); rc != kAviOk) {
        return leaveAsItWas(report, rc, "the repaired copy could not be written");
    }
    std::uint64_t size = 0;
    if (int rc = checkRepaired(copyPath, plan, repairedSizeBound(reader, plan), report, size);
        rc != kAviOk)
        return rc;
    return rewriteOriginal(original, temporary, size, report);
}

}  // namespace media

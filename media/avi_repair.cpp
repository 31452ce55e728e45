#include "media/avi_repair.h"

#include <cstdio>

#include "media/avi_reader.h"
#include "media/avi_writer.h"

namespace media {
namespace {

int copyStreams(AviReader& reader, AviWriter& writer) {
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

// Chunks in file order, so that the sound stays interleaved with the video
// as it was recorded.
int copyChunks(AviReader& reader, AviWriter& writer, AviRepairReport& report) {
    const int streams = reader.streamCount();
    std::vector<std::size_t> next(static_cast<std::size_t>(streams), 0);
    report.chunksPerStream.assign(static_cast<std::size_t>(streams), 0);
    std::vector<std::uint8_t> data;
    for (;;) {
        int pick = -1;
        std::uint64_t pickPos = 0;
        for (int i = 0; i < streams; ++i) {
            const auto& chunks = reader.stream(i).chunks;
            const std::size_t n = next[static_cast<std::size_t>(i)];
            if (n < chunks.size() && (pick < 0 || chunks[n].dataPos < pickPos)) {
                pick = i;
                pickPos = chunks[n].dataPos;
            }
        }
        if (pick < 0)
            return kAviOk;
        const std::size_t n = next[static_cast<std::size_t>(pick)]++;
        const AviChunkRef& ref = reader.stream(pick).chunks[n];
        if (int rc = reader.readChunk(pick, n, data); rc != kAviOk)
            return rc;
        if (int rc = writer.writeChunk(pick, data.data(), static_cast<std::uint32_t>(data.size()),
                                       ref.key);
            rc != kAviOk)
            return rc;
        ++report.chunksPerStream[static_cast<std::size_t>(pick)];
    }
}

}  // namespace

int repairAviFile(const std::string& path, AviRepairReport& report) {
    report = AviRepairReport{};
    AviReader reader;
    if (int rc = reader.open(path); rc != kAviOk) {
        report.problems = reader.problems();
        return rc;
    }
    report.problems = reader.problems();
    report.recoveredChunks = reader.recoveredChunks();

    const std::string temporary = path + ".repair-tmp";
    int status = kAviOk;
    {
        AviWriter writer;
        status = writer.create(temporary);
        if (status == kAviOk)
            status = copyStreams(reader, writer);
        if (status == kAviOk)
            status = copyChunks(reader, writer, report);
        const int closed = writer.close();
        if (status == kAviOk)
            status = closed;
    }
    if (status == kAviOk && std::rename(temporary.c_str(), path.c_str()) != 0)
        status = kAviErrFileWrite;
    if (status != kAviOk)
        std::remove(temporary.c_str());
    return status;
}

}  // namespace media

#include "files/formats/Binary.h"

#include <algorithm>
#include <vector>

namespace kovfiles {

bool ReadBinaryFile(TFileIn& in, TDataSink& sink) {
    const std::uint32_t start = sink.FileStart();
    if (sink.FileEnd() < start || !in.Seek(start)) return false;
    std::uint64_t wanted = std::min<std::uint64_t>(sink.Length(), std::uint64_t{sink.FileEnd()} - start + 1);
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(wanted, 1 << 20));
    std::uint64_t done = 0;
    while (done < wanted) {
        std::size_t n = in.Read(chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), wanted - done)));
        if (n == 0) break;
        sink.Put(start + done, chunk.data(), n);
        done += n;
    }
    return done > 0 && !in.Failed();
}

bool WriteBinaryFile(TFileOut& out, const TDataSource& source) {
    if (source.segments.empty()) return true;
    std::uint64_t cursor = source.segments.front().address;
    for (const TSegment& s : source.segments) {
        std::uint64_t gap = s.address > cursor ? s.address - cursor : 0;
        while (gap > 0) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(gap, 1 << 16));
            char* p = out.Reserve(n);
            std::fill(p, p + n, static_cast<char>(source.gapFill));
            out.Commit(n);
            gap -= n;
        }
        out.Write(s.data, static_cast<std::size_t>(s.size));
        cursor = std::uint64_t{s.address} + s.size;
    }
    return !out.Failed();
}

}  // namespace kovfiles

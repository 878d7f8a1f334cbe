#include "files/formats/Binary.h"

#include <algorithm>
#include <vector>

namespace kovfiles {

bool ReadBinaryFile(TFileIn& in, TDataSink& sink) {
    const std::uint32_t start = sink.FileStart();
    if (sink.FileEnd() < start || !in.Seek(start)) return false;
    std::uint64_t wanted = std::min<std::uint64_t>(sink.Length(), std::uint64_t{sink.FileEnd()} - start + 1);
    // Room is asked for no further than the file goes (a sink may have to grow for it).
    if (const std::uint64_t size = in.Size(); size > start) wanted = std::min(wanted, size - start);
    constexpr std::uint64_t Piece = 1 << 20;
    std::vector<std::uint8_t> chunk;   // only for a sink that cannot be read into
    std::uint64_t done = 0;
    while (done < wanted) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(Piece, wanted - done));
        std::size_t n = 0;
        if (std::uint8_t* direct = sink.Direct(start + done, want)) {
            n = in.Read(direct, want);
            sink.Commit(start + done, n);
        } else {
            if (chunk.empty()) chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, Piece)));
            n = in.Read(chunk.data(), want);
            sink.Put(start + done, chunk.data(), n);
        }
        if (n == 0) break;
        done += n;
    }
    return done > 0 && !in.Failed();
}

std::optional<TSegment> BinaryInPlace(TFileIn& in, std::uint32_t fileStart, std::uint32_t fileEnd) {
    if (!in.IsMapped()) return std::nullopt;
    TSegment segment{fileStart, nullptr, 0};
    if (fileEnd < fileStart || !in.Seek(fileStart)) return segment;
    const std::string_view rest = in.Peek();
    segment.data = reinterpret_cast<const std::uint8_t*>(rest.data());
    segment.size = std::min<std::uint64_t>({(std::uint64_t{1} << 32) - fileStart, std::uint64_t{fileEnd} - fileStart + 1,
                                            rest.size()});
    return segment;
}

bool WriteBinaryFile(TFileOut& out, const TDataSource& source) {
    if (source.segments.empty()) return true;
    const TSegment& last = source.segments.back();
    out.Expect(std::uint64_t{last.address} + last.size - source.segments.front().address);
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

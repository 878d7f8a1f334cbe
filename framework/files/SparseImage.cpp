#include "files/SparseImage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

namespace kovfiles {

std::uint64_t TSparseImage::ByteCount() const {
    std::uint64_t n = 0;
    for (const TImageBlock& b : blocks) n += b.bytes.size();
    return n;
}

TDataSource TSparseImage::Source(std::uint8_t gapFill) const {
    TDataSource s;
    s.gapFill = gapFill;
    for (const TImageBlock& b : blocks)
        if (!b.bytes.empty()) s.segments.push_back({b.address, b.bytes.data(), b.bytes.size()});
    s.fileStart = s.FirstAddress();
    return s;
}

TImageSink::TImageSink(TSparseImage& image, std::uint32_t fileStart, std::uint32_t fileEnd)
    : TDataSink(fileStart, fileEnd, 0), Image_(image) {}

TImageSink::~TImageSink() { Finish(); }

void TImageSink::Reserve(std::uint64_t bytes) {
    bytes = std::min<std::uint64_t>(bytes, std::uint64_t{1} << 32);
    if (bytes <= Arena_.capacity()) return;
    Arena_.reserve(static_cast<std::size_t>(bytes));
    // Large pages where the system offers them on request.
    constexpr std::uintptr_t Huge = 2 << 20;
    auto first = (reinterpret_cast<std::uintptr_t>(Arena_.data()) + Huge - 1) & ~(Huge - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(Arena_.data()) + Arena_.capacity()) & ~(Huge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void TImageSink::Store(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    Finished_ = false;
    if (Dense_) {
        if (offset + count > DenseBytes_.size()) DenseBytes_.resize(offset + count, FillValue_);
        std::copy(data, data + count, DenseBytes_.begin() + static_cast<std::ptrdiff_t>(offset));
        return;
    }
    const std::uint64_t address = FileStart() + offset;
    if (!Pieces_.empty()) {
        Piece& last = Pieces_.back();
        if (last.address + last.size == address && last.at + last.size == Arena_.size()) {
            Arena_.insert(Arena_.end(), data, data + count);
            last.size += count;
            return;
        }
    }
    Pieces_.push_back({address, Arena_.size(), count});
    Arena_.insert(Arena_.end(), data, data + count);
}

void TImageSink::Fill(std::uint8_t value) {
    // Everything stored so far lies in the destination range, so it all takes the value.
    std::uint64_t extent = DenseBytes_.size();
    for (const Piece& p : Pieces_) extent = std::max(extent, p.address + p.size - FileStart());
    Pieces_.clear();
    Arena_.clear();
    Dense_ = true;
    FillValue_ = value;
    DenseBytes_.assign(extent, value);
    Finished_ = false;
}

void TImageSink::MergePieces() {
    auto& blocks = Image_.blocks;
    blocks.clear();
    bool ordered = true;
    for (std::size_t i = 1; i < Pieces_.size() && ordered; ++i)
        ordered = Pieces_[i - 1].address + Pieces_[i - 1].size <= Pieces_[i].address;
    if (ordered) {
        if (Pieces_.size() == 1 && Pieces_[0].at == 0 && Pieces_[0].size == Arena_.size()) {
            blocks.push_back({static_cast<std::uint32_t>(Pieces_[0].address), std::move(Arena_)});
            return;
        }
        for (const Piece& p : Pieces_) {
            auto first = Arena_.begin() + static_cast<std::ptrdiff_t>(p.at);
            if (!blocks.empty() && std::uint64_t{blocks.back().address} + blocks.back().bytes.size() == p.address)
                blocks.back().bytes.insert(blocks.back().bytes.end(), first, first + static_cast<std::ptrdiff_t>(p.size));
            else
                blocks.push_back({static_cast<std::uint32_t>(p.address), std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(p.size))});
        }
        return;
    }
    // Out of order or overlapping: lay out the union of the ranges, then copy the pieces in the
    // order they came so that later bytes win.
    std::vector<Piece> sorted = Pieces_;
    std::sort(sorted.begin(), sorted.end(), [](const Piece& a, const Piece& b) { return a.address < b.address; });
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;   // [first, end)
    for (const Piece& p : sorted) {
        if (!ranges.empty() && p.address <= ranges.back().second)
            ranges.back().second = std::max(ranges.back().second, p.address + p.size);
        else
            ranges.emplace_back(p.address, p.address + p.size);
    }
    for (const auto& r : ranges)
        blocks.push_back({static_cast<std::uint32_t>(r.first), std::vector<std::uint8_t>(r.second - r.first)});
    for (const Piece& p : Pieces_) {
        auto it = std::upper_bound(blocks.begin(), blocks.end(), p.address,
                                   [](std::uint64_t a, const TImageBlock& b) { return a < b.address; });
        TImageBlock& b = *(it - 1);
        std::copy_n(Arena_.begin() + static_cast<std::ptrdiff_t>(p.at), p.size,
                    b.bytes.begin() + static_cast<std::ptrdiff_t>(p.address - b.address));
    }
}

void TImageSink::Finish() {
    if (Finished_) return;
    Finished_ = true;
    if (Dense_) {
        Image_.blocks.clear();
        Image_.blocks.push_back({FileStart(), DenseBytes_});
        return;
    }
    MergePieces();
    Pieces_.clear();
    Arena_.clear();
}

}  // namespace kovfiles

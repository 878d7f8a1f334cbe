#include "files/SparseImage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <new>
#include <utility>

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

TImageSink::~TImageSink() {
    // Callers that must know whether the image is whole call Finish() themselves.
    try {
        Finish();
    } catch (const std::bad_alloc&) {
    }
}

void TImageSink::Track() {
    Tracking_ = false;
    if (Dense_) {
        SetDirect(DenseBytes_.data(), FileStart(), ~std::uint64_t{0}, FileStart() + DenseBytes_.size());
        return;
    }
    if (Pieces_.empty()) {
        ClearDirect();
        return;
    }
    const Piece& last = Pieces_.back();
    SetDirect(Arena_.data() + last.at, last.address, last.address + last.size,
              last.address + (Arena_.size() - last.at));
    Tracking_ = true;
}

void TImageSink::Sync() {
    if (!Tracking_ || Pieces_.empty()) return;
    Piece& last = Pieces_.back();
    if (DirectNext() > last.address + last.size) last.size = DirectNext() - last.address;
    Used_ = last.at + last.size;
}

void TImageSink::Reserve(std::uint64_t bytes) {
    bytes = std::min<std::uint64_t>(bytes, std::uint64_t{1} << 32);
    if (bytes <= Arena_.capacity()) return;
    Sync();
    // Only a hint: without the room at once the arena grows as the data comes.
    try {
        Arena_.reserve(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return;
    }
    // Large pages where the system offers them on request.
    constexpr std::uintptr_t Huge = 2 << 20;
    auto first = (reinterpret_cast<std::uintptr_t>(Arena_.data()) + Huge - 1) & ~(Huge - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(Arena_.data()) + Arena_.capacity()) & ~(Huge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    Track();
}

std::uint8_t* TImageSink::Room(std::uint64_t address, std::size_t count) {
    Finished_ = false;
    Sync();
    if (Dense_) {
        const std::uint64_t end = address + count - FileStart();
        if (end > DenseBytes_.size()) DenseBytes_.resize(end, FillValue_);
        return DenseBytes_.data() + (address - FileStart());
    }
    if (Pieces_.empty() || address < Pieces_.back().address ||
        address > Pieces_.back().address + Pieces_.back().size) {
        if (!Pieces_.empty() && Pieces_.back().size == 0)
            Pieces_.back().address = address;
        else
            Pieces_.push_back({address, Used_, 0});
    }
    Piece& last = Pieces_.back();
    const std::uint64_t needed = last.at + (address + count - last.address);
    if (needed > Arena_.size()) {
        // Room is added a step at a time so that a large reservation is not cleared all at once.
        constexpr std::uint64_t Step = 1 << 20;
        std::uint64_t size = std::max<std::uint64_t>(needed, Arena_.size() + Step);
        if (needed <= Arena_.capacity()) size = std::min<std::uint64_t>(size, Arena_.capacity());
        Arena_.resize(static_cast<std::size_t>(size));
    }
    return Arena_.data() + last.at + (address - last.address);
}

bool TImageSink::Extend(std::uint64_t address, std::size_t count) {
    Room(address, count);
    Track();
    return true;
}

void TImageSink::Store(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    // Stores by offset may lie past the file end, outside the direct range: copied here.
    const std::uint64_t address = FileStart() + offset;
    std::memcpy(Room(address, count), data, count);
    if (!Dense_) {
        Piece& last = Pieces_.back();
        last.size = std::max(last.size, address + count - last.address);
        Used_ = last.at + last.size;
    }
    Track();
}

void TImageSink::Fill(std::uint8_t value) {
    Sync();
    // Everything stored so far lies in the destination range, so it all takes the value.
    std::uint64_t extent = DenseBytes_.size();
    for (const Piece& p : Pieces_) extent = std::max(extent, p.address + p.size - FileStart());
    Pieces_.clear();
    Arena_.clear();
    Used_ = 0;
    Dense_ = true;
    FillValue_ = value;
    DenseBytes_.assign(extent, value);
    Finished_ = false;
    Track();
}

void TImageSink::MergePieces() {
    auto& blocks = Image_.blocks;
    blocks.clear();
    std::erase_if(Pieces_, [](const Piece& p) { return p.size == 0; });
    bool ordered = true;
    for (std::size_t i = 1; i < Pieces_.size() && ordered; ++i)
        ordered = Pieces_[i - 1].address + Pieces_[i - 1].size <= Pieces_[i].address;
    if (ordered) {
        if (Pieces_.size() == 1 && Pieces_[0].at == 0) {
            Arena_.resize(static_cast<std::size_t>(Pieces_[0].size));
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
    Sync();
    // Later stores go the general way, which marks the image as changed again.
    ClearDirect();
    Tracking_ = false;
    if (Finished_) return;
    Finished_ = true;
    if (Dense_) {
        Image_.blocks.clear();
        // Moved, not copied: a dense image may be as large as the largest device.
        Image_.blocks.push_back({FileStart(), std::move(DenseBytes_)});
        DenseBytes_.clear();
        return;
    }
    MergePieces();
    Pieces_.clear();
    Arena_.clear();
    Used_ = 0;
}

}  // namespace kovfiles

#pragma once
// An image that keeps the file addresses of its data without allocating the space between them:
// what kov-cli converts through. Readers write it through TImageSink, writers read Source().
#include <cstdint>
#include <vector>

#include "files/FileFormat.h"

namespace kovfiles {

struct TImageBlock {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

class TSparseImage {
public:
    // Ascending, neither overlapping nor touching.
    std::vector<TImageBlock> blocks;

    std::uint64_t ByteCount() const;
    // The image as a writer's source; gaps in binary output hold `gapFill`.
    TDataSource Source(std::uint8_t gapFill = 0xFF) const;
};

// Collects what a reader stores: pieces as they come (cheap appends), merged into the image's
// blocks by Finish(), where a later byte at the same address wins. After Fill() the image is one
// block from the file start on, and stores beyond its end extend it through the fill value.
class TImageSink : public TDataSink {
public:
    TImageSink(TSparseImage& image, std::uint32_t fileStart = 0, std::uint32_t fileEnd = 0xFFFFFFFF);
    ~TImageSink() override;
    void Fill(std::uint8_t value) override;
    // Builds the image's blocks (also done by the destructor).
    void Finish();
    // Expects about `bytes` bytes (the input file's size is a good bound): reserves them at once
    // so that a large load neither copies nor faults page by page while it grows.
    void Reserve(std::uint64_t bytes);

protected:
    void Store(std::uint64_t offset, const std::uint8_t* data, std::size_t count) override;
    bool Extend(std::uint64_t address, std::size_t count) override;

private:
    struct Piece {
        std::uint64_t address;
        std::uint64_t at;      // offset in Arena_
        std::uint64_t size;
    };
    void MergePieces();
    // Makes [address, address + count) part of the last piece (or of the dense bytes) with room
    // behind it, and returns where its first byte goes.
    std::uint8_t* Room(std::uint64_t address, std::size_t count);
    // The direct range is the last piece and the arena room after it (or the dense bytes), so
    // records that continue it are copied in place; Sync() takes over what was stored there.
    void Track();
    void Sync();

    TSparseImage& Image_;
    std::vector<Piece> Pieces_;
    std::vector<std::uint8_t> Arena_;   // bytes from Used_ on are room, not data
    std::uint64_t Used_ = 0;
    bool Tracking_ = false;          // the direct range is the last piece
    bool Dense_ = false;             // after Fill: one block from the file start
    std::uint8_t FillValue_ = 0;
    std::vector<std::uint8_t> DenseBytes_;
    bool Finished_ = false;
};

}  // namespace kovfiles

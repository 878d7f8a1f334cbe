// Stores that the sinks copy in place must land exactly where the general way puts them, and
// nowhere else: random store sequences against a plain byte map.
#include <map>
#include <random>

#include "FilesTestSupport.h"
#include "files/SparseImage.h"

using namespace kovfiles;

namespace {

// What a sink should hold: one byte per address, later stores winning, Fill as the image does it.
class ByteModel {
public:
    ByteModel(std::uint32_t fileStart, std::uint32_t fileEnd, std::uint64_t length)
        : Start_(fileStart), End_(fileEnd), Length_(length ? length : (std::uint64_t{1} << 32) - fileStart) {}

    void Put(std::uint64_t address, const std::uint8_t* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t a = address + i;
            if (a < Start_ || a > End_ || a - Start_ >= Length_) continue;
            StoreAt(a - Start_, data[i]);
            ++loaded;
        }
    }
    void PutAt(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            if (offset + i < Length_) StoreAt(offset + i, data[i]);
    }
    void Fill(std::uint8_t value) {
        std::uint64_t extent = Dense_ ? DenseSize_ : 0;
        if (!Bytes_.empty()) extent = std::max(extent, Bytes_.rbegin()->first + 1);
        for (std::uint64_t o = 0; o < extent; ++o) Bytes_[o] = value;
        Dense_ = true;
        FillValue_ = value;
        DenseSize_ = extent;
    }

    // The blocks an image of these bytes has.
    std::vector<TImageBlock> Blocks() const {
        std::vector<TImageBlock> blocks;
        for (const auto& [offset, value] : Bytes_) {
            const std::uint64_t address = Start_ + offset;
            if (blocks.empty() || blocks.back().address + blocks.back().bytes.size() != address)
                blocks.push_back({static_cast<std::uint32_t>(address), {}});
            blocks.back().bytes.push_back(value);
        }
        return blocks;
    }
    std::uint8_t At(std::uint64_t offset, std::uint8_t otherwise) const {
        auto it = Bytes_.find(offset);
        return it == Bytes_.end() ? otherwise : it->second;
    }

    std::uint64_t loaded = 0;

private:
    void StoreAt(std::uint64_t offset, std::uint8_t value) {
        if (Dense_ && offset >= DenseSize_) {
            for (std::uint64_t o = DenseSize_; o < offset; ++o) Bytes_[o] = FillValue_;
            DenseSize_ = offset + 1;
        }
        Bytes_[offset] = value;
    }

    std::uint64_t Start_, End_, Length_;
    std::map<std::uint64_t, std::uint8_t> Bytes_;
    bool Dense_ = false;
    std::uint8_t FillValue_ = 0;
    std::uint64_t DenseSize_ = 0;
};

// Random stores near a few places, so that they continue, overlap and cross the window's edges.
template <class Sink>
void StoreRandomly(std::mt19937& rng, Sink& sink, ByteModel& model, std::uint32_t fileStart, int operations,
                   bool withFill) {
    // After a fill the image is one block from the file start: no stores near the top of the
    // address space then.
    const std::uint64_t bases[] = {fileStart, std::uint64_t{fileStart} + 5000, fileStart > 64 ? fileStart - 64u : 0u,
                                   withFill ? std::uint64_t{fileStart} + 9000 : 0xFFFFFF00u};
    std::uint64_t cursor = fileStart;
    std::vector<std::uint8_t> data(600);
    for (int op = 0; op < operations; ++op) {
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        const std::size_t count = rng() % 5 == 0 ? rng() % 600 : rng() % 40;
        const int kind = static_cast<int>(rng() % 20);
        std::uint64_t address = kind < 10 ? cursor : bases[rng() % 4] + rng() % 300;
        if (kind < 10 && rng() % 4 == 0) address -= std::min<std::uint64_t>(address, rng() % 30);   // overlap
        if (kind < 14) {
            sink.Put(address, data.data(), count);
            model.Put(address, data.data(), count);
        } else if (kind < 17) {
            const std::uint64_t offset = address - std::min<std::uint64_t>(address, fileStart);
            sink.PutAt(offset, data.data(), count);
            model.PutAt(offset, data.data(), count);
        } else if (kind < 19 || !withFill) {
            if (std::uint8_t* room = sink.Direct(address, count)) {
                const std::size_t used = count ? rng() % (count + 1) : 0;
                std::copy_n(data.begin(), used, room);
                sink.Commit(address, used);
                model.Put(address, data.data(), used);
            }
        } else {
            const std::uint8_t value = static_cast<std::uint8_t>(rng());
            sink.Fill(value);
            model.Fill(value);
        }
        cursor = address + count;
    }
}

// File pointers for a round: sometimes from 0, sometimes up to the last address.
std::pair<std::uint32_t, std::uint32_t> RandomWindow(std::mt19937& rng, std::uint32_t seed, std::uint32_t span) {
    const std::uint32_t fileStart = seed % 3 == 0 ? 0 : 0x1000 + rng() % 0x1000;
    const std::uint32_t fileEnd = seed % 4 == 0 ? 0xFFFFFFFF : fileStart + span + rng() % 5000;
    return {fileStart, fileEnd};
}

}  // namespace

class FastPathSinksTest : public FilesTest {};

TEST_F(FastPathSinksTest, ImageSinkHoldsWhatAByteMapHolds) {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const auto [fileStart, fileEnd] = RandomWindow(rng, seed, 3000);
        TSparseImage image;
        ByteModel model(fileStart, fileEnd, 0);
        std::uint64_t loaded = 0;
        {
            TImageSink sink(image, fileStart, fileEnd);
            if (seed % 2) sink.Reserve(rng() % 20000);
            StoreRandomly(rng, sink, model, fileStart, 200, seed % 5 == 0);
            loaded = sink.Loaded();
        }
        EXPECT_EQ(loaded, model.loaded);
        const auto expected = model.Blocks();
        ASSERT_EQ(image.blocks.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(image.blocks[i].address, expected[i].address) << "block " << i;
            EXPECT_TRUE(image.blocks[i].bytes == expected[i].bytes) << "block " << i;
        }
    }
}

TEST_F(FastPathSinksTest, MemorySinkHoldsWhatAByteMapHoldsAndWritesNothingOutsideItsWindow) {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const auto [fileStart, fileEnd] = RandomWindow(rng, seed, 1000);
        const std::uint64_t length = 1 + rng() % 6000;
        std::vector<std::uint8_t> memory(length + 64, 0xA5);
        ByteModel model(fileStart, fileEnd, length);
        TMemorySink sink(memory.data() + 32, length, fileStart, fileEnd);
        StoreRandomly(rng, sink, model, fileStart, 300, false);
        EXPECT_EQ(sink.Loaded(), model.loaded);
        for (std::uint64_t i = 0; i < memory.size(); ++i) {
            const std::uint8_t expected = i < 32 || i >= 32 + length ? 0xA5 : model.At(i - 32, 0xA5);
            ASSERT_EQ(memory[i], expected) << "byte " << i;
        }
    }
}

TEST_F(FastPathSinksTest, DirectRoomIsOnlyGivenInsideTheWindow) {
    std::vector<std::uint8_t> memory(0x100, 0);
    TMemorySink sink(memory.data(), memory.size(), 0x1000, 0x107F);
    EXPECT_EQ(sink.Direct(0x1000, 0x80), memory.data());
    EXPECT_EQ(sink.Direct(0x1010, 0x10), memory.data() + 0x10);
    EXPECT_EQ(sink.Direct(0x0FFF, 2), nullptr);    // below the file start
    EXPECT_EQ(sink.Direct(0x1070, 0x11), nullptr);  // past the file end
    EXPECT_EQ(sink.Direct(0x1000, 0), nullptr);
    sink.Commit(0x1070, 0x20);                      // a range that was never given counts nothing
    EXPECT_EQ(sink.Loaded(), 0u);

    // A destination of no bytes takes none (it is not "as far as addresses go").
    std::uint8_t guard[4] = {1, 2, 3, 4};
    TMemorySink empty(guard, 0);
    empty.Put(0, Bytes({9, 9}).data(), 2);
    empty.PutAt(0, Bytes({9}).data(), 1);
    empty.Fill(0);
    EXPECT_EQ(empty.Loaded(), 0u);
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.Direct(0, 1), nullptr);
    EXPECT_EQ(guard[0] + guard[1] + guard[2] + guard[3], 10);
}

#pragma once
// Helpers shared by the JEDEC, POF and BIT tests: a session with the file type settings loaded as
// at start-up, and loads into a destination with guard bytes on both sides.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "KovTest.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "files/FileFormat.h"
#include "files/FileTypeSettings.h"
#include "files/FileTypes.h"

namespace jedectest {

constexpr std::size_t Guard = 64;
constexpr std::uint8_t GuardByte = 0xA5;

struct TLoadResult {
    bool ok = false;
    std::uint64_t loaded = 0;
    std::vector<std::uint8_t> memory;   // guard, destination, guard

    std::uint8_t* data() { return memory.data() + Guard; }
    std::uint8_t at(std::size_t offset) const { return memory[Guard + offset]; }
    std::vector<std::uint8_t> bytes(std::size_t first, std::size_t count) const {
        return {memory.begin() + static_cast<long>(Guard + first), memory.begin() + static_cast<long>(Guard + first + count)};
    }
    bool GuardsIntact() const {
        for (std::size_t i = 0; i < Guard; ++i) {
            if (memory[i] != GuardByte || memory[memory.size() - 1 - i] != GuardByte) return false;
        }
        return true;
    }
};

// Loads `fileBytes` with the reader of `type` into a destination of `length` bytes preset to
// `preset`.
inline TLoadResult LoadBytes(const TempDir& dir, int type, const std::string& fileBytes, std::size_t length,
                             std::uint8_t preset = 0x77) {
    TLoadResult result;
    result.memory.assign(length + 2 * Guard, GuardByte);
    std::fill_n(result.data(), length, preset);
    const auto path = dir / "input.bin";
    // Rewriting a truncated file makes some file systems flush it on close; a new file is cheap.
    std::filesystem::remove(path);
    WriteFile(path, fileBytes);
    kovfiles::TFileIn in;
    EXPECT_TRUE(in.Open(path.string()));
    kovfiles::TMemorySink sink(result.data(), length);
    result.ok = kovfiles::ReadFileOfType(type, in, sink);
    result.loaded = sink.Loaded();
    return result;
}

class FormatFixture : public GlobalsFixture {
protected:
    void SetUp() override {
        GlobalsFixture::SetUp();
        kovfiles::LoadFileTypeSettings(*GlobalConfig);
        GlobalLog->SetLevel(7);
    }
    void Set(const char* format, const char* key, const std::string& value) {
        GlobalConfig->SetString("FileType", format, key, value);
    }
    // Lines of the log that contain `fragment`.
    int LogCount(const std::string& fragment) const {
        int n = 0;
        for (const std::string& line : LogLines()) n += line.find(fragment) != std::string::npos;
        return n;
    }
};

}  // namespace jedectest

#pragma once
// Helpers for the file format tests: load text or bytes through a format's reader into a
// window of memory, save a window through a writer, and read what it wrote.
#include <cstdint>
#include <string>
#include <vector>

#include "KovTest.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "files/FileTypes.h"

struct LoadResult {
    bool ok = false;
    std::uint64_t loaded = 0;
    std::vector<std::uint8_t> dest;
};

class FilesTest : public GlobalsFixture {
protected:
    // Reads `content` as `type` into `length` bytes preset to `preset`.
    LoadResult Load(int type, const std::string& content, std::uint64_t length = 64, std::uint32_t fileStart = 0,
                    std::uint32_t fileEnd = 0xFFFFFFFF, std::uint8_t preset = 0xEE) {
        WriteFile(temp / "in.dat", content);
        LoadResult r;
        r.dest.assign(length, preset);
        kovfiles::TFileIn in;
        EXPECT_TRUE(in.Open((temp / "in.dat").string()));
        kovfiles::TMemorySink sink(r.dest.data(), length, fileStart, fileEnd);
        r.ok = kovfiles::ReadFileOfType(type, in, sink);
        r.loaded = sink.Loaded();
        return r;
    }

    // Writes `bytes` as `type` with the first at file address `fileStart`; returns the file's text.
    std::string Save(int type, const std::vector<std::uint8_t>& bytes, std::uint32_t fileStart = 0,
                     std::uint32_t fileEnd = 0xFFFFFFFF, bool* ok = nullptr) {
        kovfiles::TFileOut out;
        EXPECT_TRUE(out.Open((temp / "out.dat").string()));
        bool written = kovfiles::WriteFileOfType(
            type, out, kovfiles::TDataSource::Window(bytes.data(), bytes.size(), fileStart, fileEnd));
        if (ok) *ok = written;
        return ReadFile(temp / "out.dat");
    }

    void Set(const std::string& format, const std::string& key, const std::string& value) {
        GlobalConfig->SetString("FileType", format, key, value);
    }
    void UnixEol(bool on) { GlobalConfig->SetBool("File", "UnixEOL", on); }

    int CountLog(const std::string& fragment) const {
        int n = 0;
        for (const auto& line : LogLines())
            if (line.find(fragment) != std::string::npos) ++n;
        return n;
    }
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> v;
    for (int x : values) v.push_back(static_cast<std::uint8_t>(x));
    return v;
}

inline std::vector<std::uint8_t> Counting(std::size_t n, int first = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + static_cast<int>(i));
    return v;
}

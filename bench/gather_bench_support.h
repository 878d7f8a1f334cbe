// Shared by the device-image and checksum benchmarks: a throw-away installation with the global
// objects, the in-memory bench device library selected as the current device, and timing.
#pragma once
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/Globals.h"
#include "plugins/DevDLL.h"

namespace bench {

class Installation {
public:
    Installation() {
        root_ = std::filesystem::temp_directory_path() / ("kov-bench-" + std::to_string(::getpid()));
        for (const char* folder : {"framework", "devs", "prog", "sessions", "help"})
            std::filesystem::create_directories(root_ / folder);
        InitializeGlobals({(root_ / "framework" / "kov").string(), {}});
    }
    ~Installation() {
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        FinalizeGlobals();
        std::filesystem::remove_all(root_);
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

private:
    std::filesystem::path root_;
};

// The bench device library, configured and selected as the current device.
class BenchDevice {
public:
    BenchDevice(int bits, std::uint32_t words) {
        const std::string path = std::string(KOV_BENCH_PLUGIN_DIR) + "/gather_bench_device.so";
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) Fail(dlerror());
        auto configure = reinterpret_cast<int (*)(int, std::uint32_t)>(dlsym(handle_, "gather_bench_configure"));
        chip_ = reinterpret_cast<const unsigned char* (*)()>(dlsym(handle_, "gather_bench_chip"));
        if (!configure || !chip_ || !configure(bits, words)) Fail("cannot configure the bench device");
        delete GlobalDevDLL;
        GlobalDevDLL = new TDevDLL(path, nullptr);
        if (!GlobalDevDLL->SelectDevice("BENCH", "Bench", "DIP", 40, bits)) Fail("the bench device was refused");
    }
    ~BenchDevice() {
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        dlclose(handle_);
    }
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;

    const unsigned char* Chip() const { return chip_(); }
    static void Fail(const char* why) {
        std::fprintf(stderr, "benchmark setup failed: %s\n", why);
        std::exit(1);
    }

private:
    void* handle_ = nullptr;
    const unsigned char* (*chip_)() = nullptr;
};

// Best of `runs` wall-clock times in seconds: the machine is shared, the best run is the one
// least disturbed by others.
template <class F>
double Best(int runs, F&& body) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        body();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

inline double GiBps(double bytes, double seconds) {
    return bytes / seconds / (1024.0 * 1024.0 * 1024.0);
}

}  // namespace bench

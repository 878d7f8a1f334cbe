#pragma once
#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "KovTest.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "libs/kt_control.h"

inline std::string KtPath(const std::string& name) {
    return std::string(KOV_TEST_PLUGIN_DIR) + "/" + name + ".so";
}

// Keeps a contract-test library open while a test runs. The host's dlopen of the same file gets
// the same loaded copy, so the test sets the library's answers and reads what it was handed.
template <class Control>
class KtLibrary {
public:
    explicit KtLibrary(const std::string& name) : path(KtPath(name)) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) throw std::runtime_error(dlerror());
        reinterpret_cast<void (*)()>(dlsym(handle_, "kt_reset"))();
        control = reinterpret_cast<Control* (*)()>(dlsym(handle_, "kt_control"))();
    }
    ~KtLibrary() { dlclose(handle_); }
    KtLibrary(const KtLibrary&) = delete;
    KtLibrary& operator=(const KtLibrary&) = delete;

    std::string path;
    Control* control = nullptr;

private:
    void* handle_ = nullptr;
};
using KtProgrammer = KtLibrary<KtProgrammerControl>;
using KtDevice = KtLibrary<KtDeviceControl>;

// Memory whose end is followed by an inaccessible page: a record placed with At() ends exactly
// there, so reading one byte past it crashes the test.
class GuardedRecord {
public:
    GuardedRecord() {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* mem = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mem == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<unsigned char*>(mem);
        mprotect(base_ + page_, page_, PROT_NONE);
    }
    ~GuardedRecord() { munmap(base_, 2 * page_); }
    GuardedRecord(const GuardedRecord&) = delete;
    GuardedRecord& operator=(const GuardedRecord&) = delete;

    // `size` bytes ending at the guard page, copied from `record`.
    template <class Record>
    Record* At(const Record& record, std::size_t size) {
        unsigned char* at = base_ + page_ - size;
        std::memcpy(at, &record, size);
        return reinterpret_cast<Record*>(at);
    }

private:
    std::size_t page_ = 0;
    unsigned char* base_ = nullptr;
};

// The framework with a session that logs every level, so the hosts' traces can be asserted.
class HostTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        GlobalsFixture::SetUp();
        sessionLines.push_back("Log.Level=7");
        if (StartInDebugMode()) sessionLines.push_back("Global.Debug=TRUE");
        StartGlobals();
    }
    virtual bool StartInDebugMode() const { return false; }

    // The log entries without their "(n) - " prefix.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : LogLines()) {
            const auto mark = line.find(") - ");
            texts.push_back(mark == std::string::npos ? line : line.substr(mark + 4));
        }
        return texts;
    }
    bool Logged(const std::string& text) const {
        for (const auto& t : LogTexts())
            if (t == text) return true;
        return false;
    }
};

class DebugHostTest : public HostTest {
protected:
    bool StartInDebugMode() const override { return true; }
};

#pragma once
// The simulated lab as kov uses it: the staged programmer and device libraries loaded by the real
// hosts, a session that runs the chips instantly and keeps their state in the test's folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KovTest.h"
#include "branding/Edition.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "plugins/DevDLL.h"
#include "plugins/ProgDLL.h"

inline std::string StagedProgrammer(const std::string& name) {
    return std::string(KOV_TEST_STAGE_DIR) + "/prog/" + name + ".so";
}
inline std::string StagedDevices(const std::string& name) {
    return std::string(KOV_TEST_STAGE_DIR) + "/devs/" + name + ".so";
}

// A device as the selection names it.
struct DeviceChoice {
    std::string library;
    std::string name;
    std::string maker;
    std::string package;
    int pins;
    int width;
};

// Presses Abort once the progress box has been updated `after` times.
class AbortAfter : public TProgressView {
public:
    explicit AbortAfter(int after) : after_(after) { ProgressBox().SetView(this); }
    ~AbortAfter() override { ProgressBox().SetView(nullptr); }
    void ProgressChanged(const TProgressState& state) override {
        if (state.visible) {
            ++updates;
            if (updates == after_) ProgressBox().Abort();
        }
    }
    int updates = 0;

private:
    int after_;
};

class LabTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        GlobalsFixture::SetUp();
        sessionLines = {"Log.Level=6", "Log.MaxLogEntries=1000", "Simulator.TimeScale=0",
                        "Simulator.StateFolder=" + StateFolder()};
        StartGlobals();
    }
    void TearDown() override {
        StopLab();
        GlobalsFixture::TearDown();
    }

    std::string StateFolder() const { return (temp / "sockets").string(); }

    // Loads the programmer library and finds it on the port, as the start-up does.
    void StartProgrammer(const std::string& name, const std::string& port = "") {
        programmer = std::make_unique<TProgDLL>(StagedProgrammer(name), EditionId);
        ASSERT_FALSE(programmer->ProgrammerName().empty());
        ASSERT_FALSE(programmer->InitializeOnPort(port).empty())
            << name << " did not answer on '" << port << "'";
    }
    // Shuts down as the main window does: device library first, then the programmer.
    void StopLab() {
        device.reset();
        if (programmer) programmer->TurnOff();
        programmer.reset();
    }
    // Selects a device as the device selection does: a new current host bound to the programmer.
    bool Select(const DeviceChoice& d) {
        device.reset();
        device = std::make_unique<TDevDLL>(StagedDevices(d.library), programmer.get());
        device->SetProgrammerId(programmer->ProgrammerId());
        device->SetGeometryListener(&LabTest::OnSplits, this);
        GlobalDevDLL = device.get();
        GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", false);
        GlobalConfig->SetBool("Hidden", "Suppress", "ByteSwap", false);
        if (device->SelectDevice(d.name, d.maker, d.package, d.pins, d.width)) return true;
        device.reset();
        return false;
    }
    void Session(const std::string& section, const std::string& key, const std::string& value) {
        GlobalConfig->SetString(section, key, value);
    }
    void Session(const std::string& section, const std::string& sub, const std::string& key,
                 const std::string& value) {
        GlobalConfig->SetString(section, sub, key, value);
    }

    // Fills the buffer with `words` device words of `width` bits (a fixed pattern) and returns
    // them; each word is stored lowest byte first, as kov keeps device words.
    std::vector<std::uint16_t> FillWords(std::uint32_t words, unsigned width, std::uint32_t seed = 1) {
        std::vector<std::uint16_t> out(words);
        std::uint32_t x = seed * 2654435761u + 7;
        std::uint16_t mask = static_cast<std::uint16_t>((1u << width) - 1);
        unsigned bytes = width > 8 ? 2 : 1;
        for (std::uint32_t i = 0; i < words; ++i) {
            x = x * 1103515245u + 12345u;
            out[i] = static_cast<std::uint16_t>((x >> 12) & mask);
            GlobalBuffer->SetByte(static_cast<std::int32_t>(i * bytes),
                                  static_cast<std::uint8_t>(out[i] & 0xFF));
            if (bytes == 2)
                GlobalBuffer->SetByte(static_cast<std::int32_t>(i * bytes + 1),
                                      static_cast<std::uint8_t>(out[i] >> 8));
        }
        return out;
    }
    std::vector<std::uint16_t> BufferWords(std::uint32_t words, unsigned width) {
        std::vector<std::uint16_t> out(words);
        unsigned bytes = width > 8 ? 2 : 1;
        for (std::uint32_t i = 0; i < words; ++i) {
            out[i] = GlobalBuffer->GetByte(static_cast<std::int32_t>(i * bytes));
            if (bytes == 2)
                out[i] |= static_cast<std::uint16_t>(
                    GlobalBuffer->GetByte(static_cast<std::int32_t>(i * bytes + 1)) << 8);
        }
        return out;
    }

    // Puts `count` bytes of a fixed pattern into the buffer from address 0; `mask` keeps the
    // bytes valid for the device (0x01 for fuses).
    std::vector<std::uint8_t> FillBuffer(std::uint32_t count, std::uint8_t mask = 0xFF,
                                         std::uint32_t seed = 1) {
        std::vector<std::uint8_t> bytes(count);
        std::uint32_t x = seed * 2654435761u + 1;
        for (std::uint32_t i = 0; i < count; ++i) {
            x = x * 1103515245u + 12345u;
            bytes[i] = static_cast<std::uint8_t>((x >> 16) & mask);
            GlobalBuffer->SetByte(static_cast<std::int32_t>(i), bytes[i]);
        }
        return bytes;
    }
    std::vector<std::uint8_t> BufferBytes(std::uint32_t first, std::uint32_t count) {
        std::vector<std::uint8_t> out(count);
        for (std::uint32_t i = 0; i < count; ++i)
            out[i] = GlobalBuffer->GetByte(static_cast<std::int32_t>(first + i));
        return out;
    }
    void ClearBuffer(std::uint32_t count, std::uint8_t value = 0x5A) {
        for (std::uint32_t i = 0; i < count; ++i)
            GlobalBuffer->SetByte(static_cast<std::int32_t>(i), value);
    }

    // The boxes shown since the last call, as "caption: text".
    std::vector<std::string> TakeBoxes() {
        std::vector<std::string> out;
        for (const auto& b : dialogs.shown)
            out.push_back(b.caption + ": " + b.text);
        dialogs.shown.clear();
        return out;
    }
    static bool AnyContains(const std::vector<std::string>& lines, const std::string& fragment) {
        for (const auto& l : lines)
            if (l.find(fragment) != std::string::npos) return true;
        return false;
    }

    static void OnSplits(void* context, TDevGeometry*, bool valid, std::uint32_t, std::uint32_t,
                         std::uint32_t, std::uint32_t) {
        static_cast<LabTest*>(context)->splitsValid = valid;
    }

    std::unique_ptr<TProgDLL> programmer;
    std::unique_ptr<TDevDLL> device;
    bool splitsValid = true; // what the geometry last told its listener
};

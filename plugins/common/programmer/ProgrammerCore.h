#pragma once
// What every simulated programmer library does: answer (or not) on its interface, keep the
// virtual socket for the device libraries bound to it, read its session keys, offer the
// auxiliary debug menu and the start button.
#include <cstdint>
#include <string>

#include "kov_plugin.h"
#include "kovsim/Bus.h"
#include "kovsim/Framework.h"
#include "kovsim/Socket.h"

namespace kovsim {

enum class Port : std::uint8_t { Demo, Usb, Parallel };

struct ProgrammerModel {
    const char* model; // "KOV22": the programmer name is the product name, a blank and this
    Port port;
    int id;          // what the device libraries check their masks against (0: the demo)
    bool persistent; // chips are kept in state files between runs
};

// Defined once by every programmer library.
const ProgrammerModel& ThisProgrammer();

// The product name of an edition, which a programmer name must start with to be listed.
std::string ProductNameFor(const std::string& editionId);

class Programmer {
public:
    explicit Programmer(const ProgrammerModel& model);

    int SetupFramework(const FrameStruct* frame);
    int SetOem(const char* editionId);
    int Name(char* buffer, int size) const;
    int Init(char* port, int size, int* version);
    int TurnOff();
    int MiscRead(std::uint16_t* status);
    const KovDeviceSpecRecord* DeviceSpec();
    const char* AuxMenu() const;
    int AuxDispatch(int command);

    // The bus of the device libraries.
    int Attach(const KovSimChipInfo* chip);
    void BeginOperation();
    double TimeScale();
    int Commit();
    SimSocket& Socket() { return socket_; }

    // What the port text names; "" when this programmer does not answer there.
    std::string Answer(const std::string& port) const;

private:
    void RefreshFaults();
    std::filesystem::path StateFolder() const;
    void Notify(const std::string& text);

    const ProgrammerModel& model_;
    FrameworkLink framework_;
    std::string productName_ = "kov";
    SimSocket socket_;
    bool initialised_ = false;
    std::string faultText_;
    bool faultTextSeen_ = false;
    std::string family_ = "None";
    std::string package_;
    KovDeviceSpecRecord spec_{};
    std::string lastSaveFailure_;
};

Programmer& Prog();
const KovSimBus* Bus();

} // namespace kovsim

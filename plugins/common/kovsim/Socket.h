#pragma once
// The socket of a simulated programmer: the chip in it (loaded from and saved to its state
// file), whether one is inserted, the faults it shows, and the start button.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kovsim/Chip.h"
#include "kovsim/Faults.h"

namespace kovsim {

class SimSocket {
public:
    // A persistent socket keeps every chip in <state folder>/<model>/<chip key>.chip.
    SimSocket(std::string model, bool persistent);

    const std::string& Model() const { return model_; }
    bool Persistent() const { return persistent_; }
    void SetStateFolder(const std::filesystem::path& folder) { stateFolder_ = folder; }
    const std::filesystem::path& StateFolder() const { return stateFolder_; }
    std::filesystem::path StateFile(const ChipSpec& spec) const;

    // Puts the chip of that part into the socket, from its state file when there is one, else
    // blank. What the user must know (a damaged file, a chip that could not be saved) is added
    // to `notices`.
    void Attach(const ChipSpec& spec, std::vector<std::string>& notices);
    const SimChip* Chip() const { return chip_; }

    void Insert() { inserted_ = true; }
    void Remove() { inserted_ = false; }
    bool Inserted() const { return inserted_; }
    bool Present() const { return chip_ && inserted_ && !faults_.noChip; }

    // Every access fails while no chip is present. Reads show a stuck bit; a write to the
    // failing address changes nothing.
    bool ReadIds(std::uint16_t& mfr, std::uint16_t& dev) const;
    bool Read(std::uint32_t first, std::uint32_t count, std::uint16_t* out) const;
    bool Write(std::uint32_t address, std::uint16_t value);
    bool Erase(std::uint32_t first, std::uint32_t count);
    bool EraseAll();
    std::uint64_t Extra(int cell) const;
    bool SetExtra(int cell, std::uint64_t value);

    // Saves the chip in the socket when it changed. False, with the reason, when it could not.
    bool Commit(std::string& error);

    void SetFaults(const FaultSet& faults, std::uint64_t seed);
    const FaultSet& Faults() const { return faults_; }
    std::uint64_t Seed() const { return seed_; }
    FaultSpots Spots() const;

    // A press reads as 0 on the next two polls of the start signal, then 1 again.
    void PressStart() { startZeros_ += 2; }
    std::uint16_t ReadStartSignal();

    std::string Describe() const;

private:
    bool SaveChip(const SimChip& chip, std::string& error);
    void Load(const ChipSpec& spec, SimChip& chip, std::vector<std::string>& notices);

    std::string model_;
    bool persistent_;
    std::filesystem::path stateFolder_;
    std::map<std::string, std::unique_ptr<SimChip>> chips_;
    std::map<std::string, std::string> unsaveable_; // chip key -> why its file must not be replaced
    SimChip* chip_ = nullptr;
    bool inserted_ = true;
    FaultSet faults_;
    std::uint64_t seed_ = 1;
    int startZeros_ = 0;
};

} // namespace kovsim

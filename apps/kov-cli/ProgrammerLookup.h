#pragma once
// Naming programmers and devices on the command line.
#include <string>
#include <vector>

#include "plugins/DeviceList.h"
#include "plugins/ProgrammerSearch.h"

// "LIB[:INTERFACE]": the library part ends at the first colon after its last slash.
struct TProgrammerArgument {
    std::string library;
    std::string interface; // "" when not given
};
TProgrammerArgument SplitProgrammerArgument(const std::string& text);

// The programmer library that `library` names: a model ("KOV22"), a file name with or without its
// extension ("kov22.so", "kov22") of the programmer folder, or a path to a library anywhere (with a
// slash). `interface` chooses between libraries of one model. `error` says why none was found.
bool FindProgrammer(const std::string& library, const std::string& interface, TProgrammerEntry& entry,
                    std::string& error);

// The interface text a library is started with: the interface given on the command line
// ("USB", "ParallelPort", "ParallelPort:378" with a hexadecimal port address, "ParallelPort:Auto
// Search"), or the library's own interface with the port searched. False for a port that is no
// address.
bool InterfaceTextFor(const TProgrammerEntry& entry, const std::string& interface, std::string& text);

// "MANUFACTURER/DEVICE/PACKAGE/PINS/WIDTH" of a device.
std::string DeviceSpec(const TDeviceEntry& device);
// The devices a spec names: the whole spec, or its leading fields (letter case ignored).
std::vector<TDeviceEntry> MatchDevices(const std::vector<TDeviceEntry>& devices, const std::string& spec);

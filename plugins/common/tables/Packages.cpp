#include <array>

#include "kovsim/Types.h"

namespace kovsim {
namespace {

// The parallel programmer has DIP sockets and a PLCC32 adapter; the USB programmer has adapters
// for everything.
constexpr std::uint32_t U = kUsbProgrammer;
constexpr std::uint32_t B = kBothProgrammers;

constexpr std::array kPackages{
    Package{"DIP8", 8, B},    Package{"DIP14", 14, B},  Package{"DIP18", 18, B},  Package{"DIP20", 20, B},
    Package{"DIP24", 24, B},  Package{"DIP28", 28, B},  Package{"DIP32", 32, B},  Package{"DIP40", 40, B},
    Package{"DIP42", 42, B},  Package{"PLCC20", 20, U}, Package{"PLCC28", 28, U}, Package{"PLCC32", 32, B},
    Package{"PLCC44", 44, U}, Package{"SOIC8", 8, B},   Package{"SOIC14", 14, U}, Package{"SOIC18", 18, U},
    Package{"SOIC20", 20, U}, Package{"SOIC28", 28, U}, Package{"TSSOP8", 8, U},  Package{"TSOP32", 32, U},
    Package{"TSOP40", 40, U}, Package{"TSOP48", 48, U}, Package{"SO44", 44, U},   Package{"SOT23-6", 6, U},
};

} // namespace

std::span<const Package> AllPackages() {
    return kPackages;
}

const Package* FindPackage(std::string_view name) {
    for (const Package& p : kPackages)
        if (name == p.name) return &p;
    return nullptr;
}

} // namespace kovsim

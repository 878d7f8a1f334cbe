#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "KovTest.h"

// Lays out folders of table-driven test libraries: every copy of devlist_table.so or
// progsearch_table.so reads its devices or answers from "<copy>.table".
namespace tables {

inline std::filesystem::path Built(const std::string& name) {
    return std::filesystem::path(KOV_TEST_PLUGIN_DIR) / (name + ".so");
}

// One device record line: type|name|manufacturer|device type|width|package|pins|mask.
inline std::string Device(const std::string& type, const std::string& maker, const std::string& name,
                          const std::string& package, int pins, int width, int recordType = 1,
                          const std::string& mask = "0") {
    return std::to_string(recordType) + "|" + name + "|" + maker + "|" + type + "|" + std::to_string(width) + "|" +
           package + "|" + std::to_string(pins) + "|" + mask;
}

inline std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

// Copies the built library to folder/fileName and writes its table; returns the copy's path.
inline std::string Place(const std::string& built, const std::filesystem::path& folder, const std::string& fileName,
                         const std::vector<std::string>& table) {
    std::filesystem::create_directories(folder);
    const auto path = folder / fileName;
    std::filesystem::copy_file(Built(built), path, std::filesystem::copy_options::overwrite_existing);
    WriteFile(path.string() + ".table", Join(table));
    return path.string();
}

inline std::string PlaceDevices(const std::filesystem::path& folder, const std::string& fileName,
                                const std::vector<std::string>& devices) {
    return Place("devlist_table", folder, fileName, devices);
}

inline std::string PlaceProgrammer(const std::filesystem::path& folder, const std::string& fileName,
                                   const std::vector<std::string>& answers) {
    return Place("progsearch_table", folder, fileName, answers);
}

// What a table library wrote into "<copy>.log".
inline std::vector<std::string> LibraryLog(const std::string& path) {
    std::vector<std::string> lines;
    std::error_code error;
    if (!std::filesystem::exists(path + ".log", error)) return lines;
    std::string text = ReadFile(path + ".log");
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

}  // namespace tables

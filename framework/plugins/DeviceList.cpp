#include "plugins/DeviceList.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <system_error>

#include "core/Globals.h"
#include "core/KovError.h"
#include "core/Statusstack.h"
#include "plugins/DevDLL.h"
#include "plugins/LibraryModule.h"

namespace {

constexpr const char* BuildCaption = "Building device list";

bool IsLibraryName(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return ext == ".SO";
}

// Hides the progress box again however the build ends.
class BuildProgress {
public:
    explicit BuildProgress(const std::string& folder) : folder_(folder) {
        ShowProgressBox(folder_.c_str(), BuildCaption, 1, "", 0, 1);
    }
    ~BuildProgress() { ShowProgressBox(folder_.c_str(), BuildCaption, 1, "", 0, 0); }
    BuildProgress(const BuildProgress&) = delete;
    BuildProgress& operator=(const BuildProgress&) = delete;

private:
    std::string folder_;
};

// What a library offered that cannot be listed, told once per library.
struct Rejected {
    long unknownType = 0;
    long unnamed = 0;
    long negative = 0;
    long faulty = 0;
};

}  // namespace

std::string JoinFolderPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::vector<std::string> DeviceLibraryFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) return {};
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error) || !IsLibraryName(it->path())) continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& name : names) paths.push_back(JoinFolderPath(folder, name));
    return paths;
}

TDeviceList::TDeviceList() : root_(std::make_unique<TDeviceRec>()) {}

TDeviceList::~TDeviceList() = default;

void TDeviceList::Build(const std::string& devicesFolder, int programmerId) {
    BuildProgress progress(devicesFolder);
    const std::vector<std::string> files = DeviceLibraryFiles(devicesFolder);
    const std::size_t count = files.size();
    for (std::size_t i = 0; i < count; ++i) {
        AddLibrary(files[i], programmerId);
        const std::string text = "Adding devices from " + LibraryFileName(files[i]);
        UpdateProgress(static_cast<int>(i * 100 / count), text.c_str());
    }
}

void TDeviceList::AddLibrary(const std::string& path, int programmerId) {
    LogMessage("Loading " + path, 3);
    try {
        TDevDLL library(path, nullptr);
        library.SetProgrammerId(programmerId);
        std::vector<TLibraryDeviceRecord> records;
        const long unknown = library.EnumerateDevices(records);
        if (unknown > 0) {
            LogMessage(std::to_string(unknown) + " device records of an unknown type skipped in " + path, 3);
        }
        AddRecords(records, path);
    } catch (const std::exception& error) {
        LogMessage("Device library " + path + " skipped: " + error.what(), 1);
        ReportException(__FILE__, __LINE__);
    }
}

void TDeviceList::AddRecords(const std::vector<TLibraryDeviceRecord>& records, const std::string& library) {
    Rejected rejected;
    std::string firstFault;
    for (const TLibraryDeviceRecord& record : records) {
        // A device that cannot be named completely could be listed but never selected.
        if (record.deviceType.empty() || record.manufacturer.empty() || record.deviceName.empty() ||
            record.package.empty()) {
            ++rejected.unnamed;
            continue;
        }
        if (record.pinCount < 0 || record.dataWidth < 0) {
            ++rejected.negative;
            continue;
        }
        try {
            root_->AddChild(std::make_unique<TDeviceRec>(record, library, root_.get()));
        } catch (const KovError& error) {
            if (rejected.faulty++ == 0) firstFault = error.what();
        }
    }
    if (rejected.unnamed > 0) {
        LogMessage(std::to_string(rejected.unnamed) +
                       " device records without a device type, manufacturer, name or package skipped in " + library,
                   1);
    }
    if (rejected.negative > 0) {
        LogMessage(std::to_string(rejected.negative) +
                       " device records with a negative pin count or data width skipped in " + library,
                   1);
    }
    if (rejected.faulty > 0) LogMessage(firstFault, 1);
}

void TDeviceList::AddAllBranch() {
    if (all_) return;
    all_ = root_->AddChild(std::make_unique<TDeviceRec>(root_.get(), TDeviceRec::AllCaption, dlDeviceType));
    if (!all_) return;
    for (int t = 0; t < root_->ChildCount(); ++t) {
        const TDeviceRec* type = root_->Child(t);
        if (type == all_) continue;
        for (int m = 0; m < type->ChildCount(); ++m) {
            const TDeviceRec* maker = type->Child(m);
            TDeviceRec* target = all_->FindChild(maker->Caption());
            if (!target) {
                target = all_->AddChild(std::make_unique<TDeviceRec>(all_, maker->Caption(), dlManufacturer));
            }
            for (int d = 0; d < maker->ChildCount(); ++d) target->AddSharedChild(maker->Child(d));
        }
    }
}

void TDeviceList::Sort() {
    root_->SortChildren();
    // Lists filled before the sort follow the new order.
    for (int level = dlWidth; level <= dlDeviceType; ++level) {
        const TDeviceRec* from = level == dlDeviceType ? root_.get() : selected_[static_cast<std::size_t>(level + 1)];
        if (from && targets_[static_cast<std::size_t>(level)]) Fill(static_cast<TDeviceLevel>(level), from);
    }
}

TDeviceRec* TDeviceList::Selection(TDeviceLevel level) const {
    if (level < dlWidth || level > dlDeviceType) return nullptr;
    return selected_[static_cast<std::size_t>(level)];
}

std::string TDeviceList::Selected(TDeviceLevel level) const {
    const TDeviceRec* node = Selection(level);
    return node ? node->Caption() : std::string();
}

bool TDeviceList::Fill(TDeviceLevel level, const TDeviceRec* from) {
    std::vector<std::string>* target = targets_[static_cast<std::size_t>(level)];
    if (!target) return false;
    std::vector<std::string> captions;
    from->CollectChildCaptions(captions);
    if (captions == *target) return false;
    *target = std::move(captions);
    return true;
}

void TDeviceList::SetTarget(TDeviceLevel level, std::vector<std::string>* list) {
    if (level < dlWidth || level > dlDeviceType) return;
    targets_[static_cast<std::size_t>(level)] = list;
    if (!list) return;
    const TDeviceRec* from = level == dlDeviceType ? root_.get() : selected_[static_cast<std::size_t>(level + 1)];
    if (from) {
        list->clear();
        Fill(level, from);
    } else if (level == dlDevice) {
        list->clear();
    }
}

bool TDeviceList::Select(TDeviceLevel level, const std::string& caption) {
    if (level < dlWidth || level > dlDeviceType) return false;
    const TDeviceRec* parent =
        level == dlDeviceType ? root_.get() : selected_[static_cast<std::size_t>(level + 1)];
    TDeviceRec* node = parent ? parent->FindChild(caption) : nullptr;
    selected_[static_cast<std::size_t>(level)] = node;
    if (!node || level == dlWidth) return false;
    return Fill(static_cast<TDeviceLevel>(level - 1), node);
}

TDeviceRec* TDeviceList::FindLeaf(const std::string& device, const std::string& manufacturer,
                                  const std::string& package, int pinCount, int dataWidth) const {
    if (device.empty() || manufacturer.empty() || package.empty() || pinCount < 0 || dataWidth < 0) return nullptr;
    const std::string pins = std::to_string(pinCount);
    const std::string width = std::to_string(dataWidth);
    std::vector<std::string> types;
    root_->CollectChildCaptions(types);
    for (const std::string& caption : types) {
        TDeviceRec* node = root_->FindChild(caption);
        for (const std::string* step : {&manufacturer, &device, &package, &pins, &width}) {
            if (!node) break;
            node = node->FindChild(*step);
        }
        if (node) return node;
    }
    return nullptr;
}

std::string TDeviceList::LibraryFor(const std::string& device, const std::string& manufacturer,
                                    const std::string& package, int pinCount, int dataWidth) const {
    const TDeviceRec* leaf = FindLeaf(device, manufacturer, package, pinCount, dataWidth);
    return leaf ? leaf->Library() : std::string();
}

namespace {

// The leaves a branch owns: each real device once, whatever the "All" branch shows of it.
void CollectOwnedLeaves(const TDeviceRec& node, std::vector<TDeviceEntry>& out) {
    for (int i = 0; i < node.ChildCount(); ++i) {
        if (!node.OwnsChild(i)) continue;
        const TDeviceRec* child = node.Child(i);
        if (child->Level() != dlWidth) {
            CollectOwnedLeaves(*child, out);
            continue;
        }
        const TDeviceRec* pins = child->Parent();
        const TDeviceRec* package = pins ? pins->Parent() : nullptr;
        const TDeviceRec* device = package ? package->Parent() : nullptr;
        const TDeviceRec* maker = device ? device->Parent() : nullptr;
        if (!maker) continue;
        TDeviceEntry entry;
        entry.deviceType = child->DeviceType();
        entry.manufacturer = maker->Caption();
        entry.device = device->Caption();
        entry.package = package->Caption();
        entry.pinCount = std::stoi(pins->Caption());
        entry.dataWidth = std::stoi(child->Caption());
        entry.library = child->Library();
        out.push_back(std::move(entry));
    }
}

}  // namespace

std::vector<TDeviceEntry> TDeviceList::Devices() const {
    std::vector<TDeviceEntry> devices;
    CollectOwnedLeaves(*root_, devices);
    return devices;
}

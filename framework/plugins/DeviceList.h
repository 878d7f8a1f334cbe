#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "plugins/DeviceRec.h"

// One device as the device list offers it: the five values that name it, its device type and the
// library that handles it.
struct TDeviceEntry {
    std::string deviceType;
    std::string manufacturer;
    std::string device;
    std::string package;
    int pinCount = 0;
    int dataWidth = 0;
    std::string library;
};

// The catalogue of every device the device libraries of the devices folder offer to one
// programmer id, as a tree by device type, manufacturer, device, package, pin count and data
// width, with the user's current path through it. The selection dialog hands it six item lists
// (not owned) that it refills whenever a selection changes.
class TDeviceList {
public:
    TDeviceList();
    ~TDeviceList();
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;

    // Loads each library of the folder once and adds the devices it offers to `programmerId`,
    // showing the progress box meanwhile. Libraries that cannot be used are reported and skipped.
    void Build(const std::string& devicesFolder, int programmerId);
    // Adds the enumerated records of one library (the records a library host handed over).
    void AddRecords(const std::vector<TLibraryDeviceRecord>& records, const std::string& library);
    // The "All" device type, listing every manufacturer with the devices of all types.
    void AddAllBranch();
    void Sort();

    // Target lists, by the level whose captions they receive (dlDeviceType ... dlWidth).
    void SetTarget(TDeviceLevel level, std::vector<std::string>* list);
    void SetDeviceTypesTarget(std::vector<std::string>* list) { SetTarget(dlDeviceType, list); }
    void SetManufacturersTarget(std::vector<std::string>* list) { SetTarget(dlManufacturer, list); }
    void SetDevicesTarget(std::vector<std::string>* list) { SetTarget(dlDevice, list); }
    void SetPackagesTarget(std::vector<std::string>* list) { SetTarget(dlPackage, list); }
    void SetPinCountsTarget(std::vector<std::string>* list) { SetTarget(dlPinCount, list); }
    void SetWidthsTarget(std::vector<std::string>* list) { SetTarget(dlWidth, list); }

    // Makes the child with that caption of the selection one level up the selection at `level`
    // (none when there is no such child) and refills the list one level down when it exists.
    // Returns whether the list one level down was refilled with other content.
    bool Select(TDeviceLevel level, const std::string& caption);
    void SelectDeviceType(const std::string& caption) { Select(dlDeviceType, caption); }
    void SelectManufacturer(const std::string& caption) { Select(dlManufacturer, caption); }
    void SelectDevice(const std::string& caption) { Select(dlDevice, caption); }
    void SelectPackage(const std::string& caption) { Select(dlPackage, caption); }
    void SelectPinCount(const std::string& caption) { Select(dlPinCount, caption); }
    void SelectWidth(const std::string& caption) { Select(dlWidth, caption); }

    TDeviceRec* Selection(TDeviceLevel level) const;
    std::string Selected(TDeviceLevel level) const;
    std::string SelectedDeviceType() const { return Selected(dlDeviceType); }
    std::string SelectedManufacturer() const { return Selected(dlManufacturer); }
    std::string SelectedDevice() const { return Selected(dlDevice); }
    std::string SelectedPackage() const { return Selected(dlPackage); }
    std::string SelectedPinCount() const { return Selected(dlPinCount); }
    std::string SelectedWidth() const { return Selected(dlWidth); }

    int DeviceTypeCount() const { return root_->ChildCount(); }
    // True while no library has offered a device (the "All" node alone does not count).
    bool Empty() const { return root_->ChildCount() == (all_ ? 1 : 0); }

    // The leaf for these five values, trying the device types in list order ("All" first); null
    // when any text is empty, a number is negative or there is no such path.
    TDeviceRec* FindLeaf(const std::string& device, const std::string& manufacturer, const std::string& package,
                         int pinCount, int dataWidth) const;
    // The library that handles the device, "" when there is none.
    std::string LibraryFor(const std::string& device, const std::string& manufacturer, const std::string& package,
                           int pinCount, int dataWidth) const;

    // Every device once (the real branches, not "All"), in tree order.
    std::vector<TDeviceEntry> Devices() const;

    TDeviceRec* Root() const { return root_.get(); }
    TDeviceRec* AllNode() const { return all_; }

private:
    void AddLibrary(const std::string& path, int programmerId);
    bool Fill(TDeviceLevel level, const TDeviceRec* from);

    std::unique_ptr<TDeviceRec> root_;
    TDeviceRec* all_ = nullptr;
    // Index: level (dlWidth .. dlDeviceType).
    std::array<TDeviceRec*, dlRoot> selected_{};
    std::array<std::vector<std::string>*, dlRoot> targets_{};
    std::array<const TDeviceRec*, dlRoot> filledFrom_{};
};

// The library files of a folder ("*.so", the extension in any letter case) as full paths, by name.
std::vector<std::string> DeviceLibraryFiles(const std::string& folder);
// folder + "/" + name (no second separator when the folder ends in one).
std::string JoinFolderPath(const std::string& folder, const std::string& name);

#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plugins/LibraryRecords.h"

// Levels of the device tree, from the leaves up.
enum TDeviceLevel : int {
    dlWidth = 0,
    dlPinCount = 1,
    dlPackage = 2,
    dlDevice = 3,
    dlManufacturer = 4,
    dlDeviceType = 5,
    dlRoot = 6,
};

// One node of the device tree: root ("Top"), device type, manufacturer, device, package, pin count
// or data width. A node owns the children it was given with AddChild; the "All" branch holds the
// device nodes of the real branches without owning them (AddSharedChild).
class TDeviceRec {
public:
    static constexpr const char* RootCaption = "Top";
    static constexpr const char* AllCaption = "All";

    // The root.
    TDeviceRec();
    // A plain node, used for the "All" branch. It does not add itself to the parent.
    TDeviceRec(TDeviceRec* parent, std::string caption, int level);
    // The node for `parent`'s level - 1 taken from a device record, with the chain of nodes down to
    // the data width below it. Without a parent, or below a leaf, the node stays empty. Throws
    // KovError for a record type other than 1 and 2.
    TDeviceRec(const TLibraryDeviceRecord& record, const std::string& library, TDeviceRec* parent);
    ~TDeviceRec();   // destroys the children it owns, never the shared ones
    TDeviceRec(const TDeviceRec&) = delete;
    TDeviceRec& operator=(const TDeviceRec&) = delete;

    // Adds an owned child one level down. A child with a caption already present is merged into the
    // present node: the newcomer's library and programmer mask win, its children are merged the same
    // way level by level, and the newcomer itself is destroyed. Returns the node that now holds the
    // caption, or null (the child destroyed) when the child is missing or of the wrong level.
    TDeviceRec* AddChild(std::unique_ptr<TDeviceRec> child);
    // Adds a node of another branch without taking it over (the "All" branch). A caption already
    // present is merged without destroying anything: shared nodes that collide are replaced by an
    // owned plain node that holds the children of both, and of two colliding leaves the later one
    // is kept. Returns the node that now holds the caption, or null.
    TDeviceRec* AddSharedChild(TDeviceRec* child);

    TDeviceRec* FindChild(std::string_view caption) const;
    // Appends each child's caption that `list` does not hold yet; at the root, "All" goes first.
    void CollectChildCaptions(std::vector<std::string>& list) const;
    int ChildCount() const { return static_cast<int>(children_.size()); }
    TDeviceRec* Child(int index) const;
    // The caption of the nearest device type node at or above this one; "" when there is none.
    std::string DeviceType() const;

    // Orders the children of this node and of every node below it: names without regard to letter
    // case, pin counts and widths by number. The root keeps "All" first.
    void SortChildren();

    const std::string& Caption() const { return caption_; }
    const std::string& Library() const { return library_; }
    std::uint32_t ProgrammerMask() const { return programmerMask_; }
    TDeviceRec* Parent() const { return parent_; }
    int Level() const { return level_; }
    bool OwnsChild(int index) const;

    // Nodes alive in the process, for checking that a tree is freed completely.
    static long InstanceCount();

private:
    // Counts the node in InstanceCount for exactly as long as it exists, even when its
    // construction throws.
    struct Counted {
        Counted();
        ~Counted();
        Counted(const Counted&) = delete;
        Counted& operator=(const Counted&) = delete;
    };
    struct Entry {
        TDeviceRec* node;
        bool owned;
    };

    void Append(TDeviceRec* node, bool owned);
    int IndexOf(std::string_view caption) const;
    void RebuildIndex();
    void MergeShared(int index, TDeviceRec* child);
    void ReplaceAt(int index, TDeviceRec* node, bool owned);
    void TakeOver(TDeviceRec& from);

    Counted counted_;
    std::string caption_;
    std::string library_;
    std::uint32_t programmerMask_ = KOV_DEFAULT_PROGRAMMER_ID;
    TDeviceRec* parent_ = nullptr;
    int level_ = 0;
    std::vector<Entry> children_;
    // Caption -> position in children_, kept once a node has many children.
    std::unique_ptr<std::unordered_map<std::string_view, int>> index_;
};

#include "plugins/DeviceRec.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "core/DialogPort.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"

namespace {

long instances = 0;

// Past this many children a node looks its children up by caption instead of walking them.
constexpr std::size_t IndexThreshold = 8;

std::string CaptionFor(const TLibraryDeviceRecord& record, int level) {
    switch (level) {
    case dlDeviceType:
        return record.deviceType;
    case dlManufacturer:
        return record.manufacturer;
    case dlDevice:
        return record.deviceName;
    case dlPackage:
        return record.package;
    case dlPinCount:
        return std::to_string(record.pinCount);
    default:
        return std::to_string(record.dataWidth);
    }
}

unsigned char Lower(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

bool NameLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Lower(a[i]);
        const unsigned char y = Lower(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

long long NumberOf(const std::string& text) {
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

TDeviceRec::Counted::Counted() {
    ++instances;
}

TDeviceRec::Counted::~Counted() {
    --instances;
}

long TDeviceRec::InstanceCount() {
    return instances;
}

TDeviceRec::TDeviceRec() : caption_(RootCaption), level_(dlRoot) {}

TDeviceRec::TDeviceRec(TDeviceRec* parent, std::string caption, int level)
    : caption_(std::move(caption)), parent_(parent), level_(level) {}

TDeviceRec::TDeviceRec(const TLibraryDeviceRecord& record, const std::string& library, TDeviceRec* parent) {
    if (!parent || parent->level_ <= 0) return;
    parent_ = parent;
    level_ = parent->level_ - 1;
    if (record.recordType != KOV_RECORD_TYPE1 && record.recordType != KOV_RECORD_TYPE2) {
        throw KovError("Unsupported device record type.\nYour device DLL, " + library +
                       ", may be too new to use with your framework.");
    }
    library_ = library;
    if (record.recordType == KOV_RECORD_TYPE2) programmerMask_ = record.programmerMask;
    caption_ = CaptionFor(record, level_);
    if (level_ > 0) {
        if (library_.empty()) {
            Dialogs().MessageBox("Lib is not set", "Error", MB_OK);
        } else {
            AddChild(std::make_unique<TDeviceRec>(record, library, this));
        }
    }
}

TDeviceRec::~TDeviceRec() {
    for (const Entry& entry : children_) {
        if (entry.owned) delete entry.node;
    }
}

TDeviceRec* TDeviceRec::Child(int index) const {
    if (index < 0 || index >= ChildCount()) return nullptr;
    return children_[static_cast<std::size_t>(index)].node;
}

bool TDeviceRec::OwnsChild(int index) const {
    if (index < 0 || index >= ChildCount()) return false;
    return children_[static_cast<std::size_t>(index)].owned;
}

int TDeviceRec::IndexOf(std::string_view caption) const {
    if (index_) {
        const auto found = index_->find(caption);
        return found == index_->end() ? -1 : found->second;
    }
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (children_[i].node->caption_ == caption) return static_cast<int>(i);
    }
    return -1;
}

void TDeviceRec::RebuildIndex() {
    if (!index_) index_ = std::make_unique<std::unordered_map<std::string_view, int>>();
    index_->clear();
    index_->reserve(children_.size());
    for (std::size_t i = 0; i < children_.size(); ++i) {
        index_->emplace(children_[i].node->caption_, static_cast<int>(i));
    }
}

void TDeviceRec::Append(TDeviceRec* node, bool owned) {
    children_.push_back({node, owned});
    if (index_) {
        index_->emplace(node->caption_, static_cast<int>(children_.size() - 1));
    } else if (children_.size() > IndexThreshold) {
        RebuildIndex();
    }
}

// Puts another node with the same caption at that position (the index keys on the caption's storage).
void TDeviceRec::ReplaceAt(int at, TDeviceRec* node, bool owned) {
    Entry& entry = children_[static_cast<std::size_t>(at)];
    if (index_) index_->erase(entry.node->caption_);
    entry = {node, owned};
    if (index_) index_->emplace(node->caption_, at);
}

// Moves everything `from` holds below it into this node; the later node's library and mask win.
void TDeviceRec::TakeOver(TDeviceRec& from) {
    library_ = from.library_;
    programmerMask_ = from.programmerMask_;
    std::vector<Entry> moved;
    moved.swap(from.children_);
    from.index_.reset();
    for (const Entry& entry : moved) {
        if (entry.owned) {
            AddChild(std::unique_ptr<TDeviceRec>(entry.node));
        } else {
            AddSharedChild(entry.node);
        }
    }
}

TDeviceRec* TDeviceRec::AddChild(std::unique_ptr<TDeviceRec> child) {
    if (!child || child->level_ != level_ - 1) return nullptr;
    child->parent_ = this;
    const int at = IndexOf(child->caption_);
    if (at < 0) {
        TDeviceRec* node = child.release();
        Append(node, true);
        return node;
    }
    Entry& present = children_[static_cast<std::size_t>(at)];
    if (present.owned) {
        present.node->TakeOver(*child);
        return present.node;
    }
    // The present node belongs to another branch: the newcomer takes its place here and shows
    // that node's children as well, without taking them over.
    TDeviceRec* shared = present.node;
    TDeviceRec* node = child.release();
    ReplaceAt(at, node, true);
    for (const Entry& entry : shared->children_) node->AddSharedChild(entry.node);
    return node;
}

TDeviceRec* TDeviceRec::AddSharedChild(TDeviceRec* child) {
    if (!child || child->level_ != level_ - 1) return nullptr;
    const int at = IndexOf(child->caption_);
    if (at < 0) {
        Append(child, false);
        return child;
    }
    MergeShared(at, child);
    return children_[static_cast<std::size_t>(at)].node;
}

void TDeviceRec::MergeShared(int at, TDeviceRec* child) {
    Entry& present = children_[static_cast<std::size_t>(at)];
    if (present.node == child) return;
    if (child->level_ == dlWidth) {
        // Two leaves for the same path: the later one is offered, nothing is destroyed.
        if (present.owned) {
            present.node->library_ = child->library_;
            present.node->programmerMask_ = child->programmerMask_;
        } else {
            ReplaceAt(at, child, false);
        }
        return;
    }
    if (!present.owned) {
        // Both nodes belong to real branches; a plain node of this branch shows the children of both.
        TDeviceRec* shared = present.node;
        auto* merged = new TDeviceRec(this, shared->caption_, shared->level_);
        ReplaceAt(at, merged, true);
        for (const Entry& entry : shared->children_) merged->AddSharedChild(entry.node);
    }
    TDeviceRec* target = children_[static_cast<std::size_t>(at)].node;
    for (const Entry& entry : child->children_) target->AddSharedChild(entry.node);
}

TDeviceRec* TDeviceRec::FindChild(std::string_view caption) const {
    if (caption.empty() || children_.empty()) return nullptr;
    const int at = IndexOf(caption);
    return at < 0 ? nullptr : children_[static_cast<std::size_t>(at)].node;
}

void TDeviceRec::CollectChildCaptions(std::vector<std::string>& list) const {
    std::unordered_set<std::string> held(list.begin(), list.end());
    list.reserve(list.size() + children_.size());
    for (const Entry& entry : children_) {
        const std::string& caption = entry.node->caption_;
        if (!held.insert(caption).second) continue;
        if (level_ == dlRoot && caption == AllCaption) {
            list.insert(list.begin(), caption);
        } else {
            list.push_back(caption);
        }
    }
}

std::string TDeviceRec::DeviceType() const {
    for (const TDeviceRec* node = this; node; node = node->parent_) {
        if (node->level_ == dlDeviceType) return node->caption_;
    }
    return {};
}

void TDeviceRec::SortChildren() {
    const bool numeric = level_ - 1 == dlPinCount || level_ - 1 == dlWidth;
    std::stable_sort(children_.begin(), children_.end(), [numeric](const Entry& a, const Entry& b) {
        if (numeric) {
            const long long x = NumberOf(a.node->caption_);
            const long long y = NumberOf(b.node->caption_);
            if (x != y) return x < y;
        }
        return NameLess(a.node->caption_, b.node->caption_);
    });
    if (level_ == dlRoot) {
        std::stable_partition(children_.begin(), children_.end(),
                              [](const Entry& e) { return e.node->caption_ == AllCaption; });
    }
    if (index_) RebuildIndex();
    // Shared nodes are ordered by the branch that owns them.
    for (const Entry& entry : children_) {
        if (entry.owned) entry.node->SortChildren();
    }
}

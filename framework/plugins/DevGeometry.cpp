#include "plugins/DevGeometry.h"

namespace {

// Splits, sets and their numbers run from 1 to 8; anything else is stored as 1 and reported.
bool StoreCount(std::uint32_t& field, std::uint32_t value) {
    const bool valid = value >= 1 && value <= 8;
    field = valid ? value : 1;
    return valid;
}

}  // namespace

void TDevGeometry::Reset() {
    deviceStart_ = 0;
    deviceEnd_ = 0;
    splits_ = 1;
    splitNumber_ = 1;
    sets_ = 1;
    setNumber_ = 1;
}

void TDevGeometry::SetWordWidth(std::uint32_t bits) {
    wordWidth_ = bits;
    const std::uint64_t rounded = (static_cast<std::uint64_t>(bits) + 7) / 8 * 8;
    roundedWidth_ = rounded > UINT32_MAX ? UINT32_MAX - 7 : static_cast<std::uint32_t>(rounded);
}

void TDevGeometry::SetDeviceSize(std::uint32_t words) {
    if (words == 0) return;
    deviceSize_ = words;
    deviceStart_ = 0;
    deviceEnd_ = words - 1;
}

void TDevGeometry::SetSplits(std::uint32_t value) {
    Tell(StoreCount(splits_, value));
}

void TDevGeometry::SetSplitNumber(std::uint32_t value) {
    Tell(StoreCount(splitNumber_, value));
}

void TDevGeometry::SetSets(std::uint32_t value) {
    Tell(StoreCount(sets_, value));
}

void TDevGeometry::SetSetNumber(std::uint32_t value) {
    Tell(StoreCount(setNumber_, value));
}

void TDevGeometry::SetDeviceStart(std::uint32_t word) {
    if (word > deviceSize_ - 1) return;
    deviceStart_ = word;
    if (deviceEnd_ < word) deviceEnd_ = word;
}

void TDevGeometry::SetDeviceEnd(std::uint32_t word) {
    if (word > deviceSize_ - 1) return;
    deviceEnd_ = word < deviceStart_ ? deviceStart_ : word;
}

void TDevGeometry::SetBufferStart(std::uint32_t address) {
    bufferStart_ = address;
}

void TDevGeometry::SetBufferEnd(std::uint32_t address) {
    const long long start =
        static_cast<long long>(address) - static_cast<long long>(SetSize() * sets_) + 1;
    if (start >= 0 && start <= static_cast<long long>(UINT32_MAX)) bufferStart_ = static_cast<std::uint32_t>(start);
}

void TDevGeometry::SetListener(TGeometryListener listener, void* context) {
    if (!listener) return;
    listener_ = listener;
    listenerContext_ = context;
    Tell(splits_ != 0 && splitNumber_ != 0 && sets_ != 0 && setNumber_ != 0);
}

void TDevGeometry::Tell(bool valid) {
    if (listener_) listener_(listenerContext_, this, valid, splitNumber_, splits_, setNumber_, sets_);
}

std::uint32_t TDevGeometry::BytesPerWord() const {
    if (wordWidth_ == 0) return 1;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(wordWidth_) + 7) / 8);
}

std::uint64_t TDevGeometry::SetSize() const {
    const std::uint64_t words = static_cast<std::uint64_t>(deviceSize_) * splits_;
    return roundedWidth_ == 0 ? words : words * roundedWidth_ / 8;
}

std::uint64_t TDevGeometry::BufferEnd() const {
    return bufferStart_ + SetSize() * sets_ - 1;
}

std::uint64_t TDevGeometry::RangeSpan() const {
    if (deviceEnd_ < deviceStart_) return 0;
    return (static_cast<std::uint64_t>(deviceEnd_) - deviceStart_ + 1) * BytesPerWord() * splits_;
}

std::uint64_t TDevGeometry::RangeStart() const {
    return bufferStart_ + static_cast<std::uint64_t>(BytesPerWord()) * (splitNumber_ - 1) +
           SetSize() * (setNumber_ - 1);
}

std::uint64_t TDevGeometry::WordAddress(std::uint32_t word) const {
    const std::uint64_t bytes = BytesPerWord();
    const std::uint64_t w = word;
    if (splits_ == 1 && sets_ == 1) return w * bytes;
    // A split device's word sits in its own B-byte lane of the P x B data path word, inside the
    // area of its set.
    return bufferStart_ + SetSize() * (setNumber_ - 1) + w * splits_ * bytes + (splitNumber_ - 1) * bytes;
}

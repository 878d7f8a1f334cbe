#pragma once
// No exception may cross the C interface of a plug-in: every export runs its work through this.

namespace kovsim {

template <typename F> auto Guard(F&& work, decltype(work()) onError) noexcept -> decltype(work()) {
    try {
        return work();
    } catch (...) {
        return onError;
    }
}

} // namespace kovsim

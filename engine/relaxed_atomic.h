#pragma once
// A value that one host thread writes while another reads it: parameters, coefficients and
// flags. Loads and stores are relaxed atomics, which compile to the plain 32-bit moves the
// design relies on, with no lock and no data race. Copying copies the current value.

#include <atomic>

template <typename T>
class RelaxedAtomic {
 public:
  RelaxedAtomic() noexcept : value_(T()) {}
  RelaxedAtomic(T value) noexcept : value_(value) {}  // NOLINT: reads like the plain field it replaces
  RelaxedAtomic(const RelaxedAtomic& other) noexcept : value_(other.load()) {}

  RelaxedAtomic& operator=(const RelaxedAtomic& other) noexcept {
    store(other.load());
    return *this;
  }
  RelaxedAtomic& operator=(T value) noexcept {
    store(value);
    return *this;
  }

  operator T() const noexcept { return load(); }  // NOLINT: reads like the plain field
  T load() const noexcept { return value_.load(std::memory_order_relaxed); }
  void store(T value) noexcept { value_.store(value, std::memory_order_relaxed); }
  T exchange(T value) noexcept { return value_.exchange(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
  static_assert(std::atomic<T>::is_always_lock_free, "shared values must be lock-free");
};

// The singleton pattern shared by every singleton class of the library.
//
// Several threads may make their first get_mgr() call at once: the slot is read with an acquire
// load, and only a thread that finds it empty takes the class's lock, looks again and builds the
// instance. Once the slot is filled, get_mgr() takes no lock. delete_mgr() takes the same lock, so
// it never frees an instance that is half built; it is the caller's business not to delete an
// instance that another thread is still using.
#ifndef PGMDEV_SINGLETON_H
#define PGMDEV_SINGLETON_H

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

namespace pgmdev_singleton_detail {

// One lock per singleton class, held only while an instance is built or destroyed, so that the
// constructor of one singleton may use another.
template <class T>
std::mutex& build_lock() {
  static std::mutex lock;
  return lock;
}

}  // namespace pgmdev_singleton_detail

// Returns the instance in slot, making it first when the slot is empty. The storage is
// zero-filled before the constructor runs. A constructor that fails (throws) frees the storage
// and leaves the slot empty, so the next call starts over.
template <class T>
T* pgmdev_singleton_get(T*& slot) {
  std::atomic_ref<T*> shared(slot);
  T* instance = shared.load(std::memory_order_acquire);
  if (instance != nullptr) return instance;
  const std::lock_guard<std::mutex> lock(pgmdev_singleton_detail::build_lock<T>());
  instance = shared.load(std::memory_order_relaxed);
  if (instance == nullptr) {
    void* storage = ::operator new(sizeof(T));
    std::memset(storage, 0, sizeof(T));
    try {
      instance = new (storage) T();
    } catch (...) {
      ::operator delete(storage);
      throw;
    }
    shared.store(instance, std::memory_order_release);
  }
  return instance;
}

// Destroys the instance in slot, if any, and empties the slot.
template <class T>
void pgmdev_singleton_delete(T*& slot) {
  const std::lock_guard<std::mutex> lock(pgmdev_singleton_detail::build_lock<T>());
  std::atomic_ref<T*> shared(slot);
  T* instance = shared.exchange(nullptr, std::memory_order_acq_rel);
  if (instance != nullptr) {
    instance->~T();
    ::operator delete(instance);
  }
}

#endif  // PGMDEV_SINGLETON_H

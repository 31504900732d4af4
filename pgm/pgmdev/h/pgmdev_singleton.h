// The singleton pattern shared by every singleton class of the library.
#ifndef PGMDEV_SINGLETON_H
#define PGMDEV_SINGLETON_H

#include <cstring>
#include <new>

// Returns the instance in slot, making it first when the slot is empty. The storage is
// zero-filled before the constructor runs. A constructor that fails (throws) frees the storage
// and leaves the slot empty, so the next call starts over.
template <class T>
T* pgmdev_singleton_get(T*& slot) {
  if (slot == nullptr) {
    void* storage = ::operator new(sizeof(T));
    std::memset(storage, 0, sizeof(T));
    try {
      slot = new (storage) T();
    } catch (...) {
      ::operator delete(storage);
      throw;
    }
  }
  return slot;
}

// Destroys the instance in slot, if any, and empties the slot.
template <class T>
void pgmdev_singleton_delete(T*& slot) {
  if (slot != nullptr) {
    T* instance = slot;
    slot = nullptr;
    instance->~T();
    ::operator delete(instance);
  }
}

#endif  // PGMDEV_SINGLETON_H

// Mutexes of the system layer. They are owner-less binary semaphores: a
// mutex locked on one thread may be unlocked on another. The shared-state
// lock depends on that: the first reader of a group takes the resource
// mutex and the last reader, on whatever thread, gives it back.
#pragma once

#include <cstdint>

struct np_mutex;
using np_mutex_handle = np_mutex*;

// Statuses of the mutex operations.
inline constexpr int32_t kNpMutexOk = 0;
inline constexpr int32_t kNpMutexBadHandle = 1;    // NULL handle or out pointer
inline constexpr int32_t kNpMutexNoMemory = 2;
inline constexpr int32_t kNpMutexWaitFailed = 3;
inline constexpr int32_t kNpMutexNotLocked = 4;    // unlock of an unlocked mutex

// Creates an unlocked mutex. `flags` must be 0.
int32_t np_mutex_create(uint32_t flags, np_mutex_handle* out);
// Waits until the mutex is free and takes it. `timeout` must be 0 (wait
// without limit).
int32_t np_mutex_lock(np_mutex_handle handle, uint32_t timeout);
// Gives the mutex back and wakes one waiter; any thread may do so.
int32_t np_mutex_unlock(np_mutex_handle handle);
// Destroys the mutex; NULL is ignored. No thread may be waiting on it.
int32_t np_mutex_destroy(np_mutex_handle handle);

// Mutexes of the system layer. They are owner-less binary semaphores: a
// mutex locked on one thread may be unlocked on another (a hold taken by
// one party and given back by another, on whatever thread).
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

// A gate: one short-lived mutex with two wait queues, for code that must
// sleep until a condition made under the gate holds (the shared-state lock's
// slow paths). Waiting releases the gate and takes it again before it
// returns; spurious wake-ups happen, so callers wait in a loop.
struct np_gate;
using np_gate_handle = np_gate*;

inline constexpr uint32_t kNpGateQueues = 2;

int32_t np_gate_create(np_gate_handle* out);
int32_t np_gate_destroy(np_gate_handle handle);
int32_t np_gate_enter(np_gate_handle handle);
int32_t np_gate_leave(np_gate_handle handle);
// Sleeps on one queue (0 or 1) until woken; with a timeout in milliseconds
// above 0, at most that long. Must be called inside the gate.
int32_t np_gate_wait(np_gate_handle handle, uint32_t queue, uint32_t timeout_ms);
// Wakes every thread sleeping on the queue.
int32_t np_gate_wake_all(np_gate_handle handle, uint32_t queue);

// The shared state of a context and its clones, and the readers-writer lock
// that guards it.
//
// The lock prefers writers: the first waiting writer closes the door
// (read-try) to new readers while the current readers finish. Each context
// counts its own holds, so nested calls enter the lock once.
//
// Taking the write hold while holding reads gives the context's place among
// the readers back first (it would otherwise wait on itself) and takes it
// again when the last write hold ends. Between the two, another clone may
// take the write hold and change or unload anything: a caller that upgrades
// must find its records again (by index or name) after the write hold is
// taken, and never reuse pointers obtained under the read hold.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "platform/npmutex.h"

namespace tq {

struct rwlock {
  uint32_t readers;                    // contexts inside as readers
  uint32_t writers;                    // writers waiting or writing
  np_mutex_handle reader_count_guard;  // protects readers
  np_mutex_handle writer_count_guard;  // protects writers
  np_mutex_handle read_try;            // held while any writer waits or writes
  np_mutex_handle resource;            // held by the readers as a group, or by one writer
  np_mutex_handle reader_entry;        // one reader at a time queues on read-try
};

// What a context and its clones share. Loaded locales, the resource slots,
// the category registry and the parser cache join it with their components.
struct shared_contents;

struct shared_state {
  rwlock lock;
  uint32_t ref_count;  // contexts that reference it
  // The knowledge-base contents (loaded locales, resource slots, categories),
  // built and freed by the knowledge-base store. The free function runs at
  // the last release, under the write hold, before the lock is destroyed.
  shared_contents* contents;
  void (*contents_free)(context* ctx, shared_state* ss);
};

// 0, or the mapped status of the mutex that failed (those made are destroyed).
int32_t rwlock_init(rwlock* lock);
void rwlock_destroy(rwlock* lock);
// Enters as a reader: 0 or a mutex failure (everything undone).
int32_t rwlock_read_acquire(rwlock* lock);
// Leaves as a reader: 0, -603 when there is no reader, or a mutex failure.
int32_t rwlock_read_release(rwlock* lock);

// A new shared state with one reference; -600 or a mutex failure.
int32_t shared_state_create(context* ctx, shared_state** out);
// Gives back one reference under the write hold; the last one frees it.
// NULL: 0.
int32_t shared_state_release(context* ctx, shared_state* ss);
// Adds a reference under the write hold (a clone now shares it).
int32_t shared_state_addref(context* ctx, shared_state* ss);

// The context's re-entrant holds. Releasing a hold that is not held: -603.
int32_t shared_state_read_lock(context* ctx, shared_state* ss);
int32_t shared_state_read_unlock(context* ctx, shared_state* ss);
int32_t shared_state_write_lock(context* ctx, shared_state* ss);
int32_t shared_state_write_unlock(context* ctx, shared_state* ss);
// The write unlock on the context's own shared state, ending an operation
// that returned holding the write hold.
int32_t ctx_shared_state_write_unlock(context* ctx);

}  // namespace tq

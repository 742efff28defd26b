#include "core/krzel.h"

#include <cstdlib>
#include <cstring>

#include "core/krerr.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// The gate's two wait queues.
constexpr uint32_t kReaderQueue = 0;  // readers waiting for the last writer to leave
constexpr uint32_t kWriterQueue = 1;  // writers waiting for the writer or the readers

// A writer's look at the readers is repeated at least this often (in
// milliseconds) while it waits: a reader leaving wakes it, but may not see
// it announced in time to do so (see rwlock_read_release).
constexpr uint32_t kWriterRecheckMs = 1;

std::atomic_ref<uint32_t> writers_of(rwlock* lock) { return std::atomic_ref<uint32_t>(lock->writers); }

int32_t gate_enter(rwlock* lock) { return err_from_mutex_status(np_gate_enter(lock->gate)); }
void gate_leave(rwlock* lock) { np_gate_leave(lock->gate); }

// Keeps the first failure of a sequence whose later steps must still run.
void keep_first(int32_t& first, int32_t rc) {
  if (first == 0) first = rc;
}

// Under the gate: whether any registered reader is inside.
bool any_reader_inside(rwlock* lock) {
  for (reader_slot* s = lock->readers; s != nullptr; s = s->next) {
    if (std::atomic_ref<uint32_t>(s->inside).load(std::memory_order_seq_cst) != 0) return true;
  }
  return false;
}

// Under the gate: a writer leaves the queue (entered or not). The last one
// lets the readers in; otherwise the next writer is woken.
void writer_leave_queue(rwlock* lock) {
  if (writers_of(lock).fetch_sub(1, std::memory_order_seq_cst) == 1) {
    np_gate_wake_all(lock->gate, kReaderQueue);
  } else {
    np_gate_wake_all(lock->gate, kWriterQueue);
  }
}

// The upgrade's test hook (see shared_state_upgrade_gap_hook_set); read on
// the upgrade's path only (a call run again), never by a read hold.
std::atomic<upgrade_gap_hook> g_gap_hook{nullptr};
std::atomic<void*> g_gap_hook_arg{nullptr};

// Takes the context's place among the readers again after a write. When that
// fails the context has lost its reads: its count is cleared so that a later
// release reports -603 instead of leaving a place it does not have.
int32_t reader_reenter(context* ctx, shared_state* ss) {
  int32_t rc = rwlock_read_acquire(&ss->lock, &ctx->reader);
  if (rc != 0) ctx->read_holds = 0;
  return rc;
}

}  // namespace

int32_t rwlock_init(rwlock* lock) {
  *lock = rwlock{};
  int32_t status = np_gate_create(&lock->gate);
  if (status != 0) {
    *lock = rwlock{};
    return err_from_mutex_status(status);
  }
  return 0;
}

void rwlock_destroy(rwlock* lock) {
  // Slots still registered are let go, so that they can join another lock.
  for (reader_slot* s = lock->readers; s != nullptr;) {
    reader_slot* next = s->next;
    *s = reader_slot{};
    s = next;
  }
  np_gate_destroy(lock->gate);
  *lock = rwlock{};
}

int32_t rwlock_reader_add(rwlock* lock, reader_slot* slot) {
  if (slot->lock == lock) return 0;
  if (slot->lock != nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = gate_enter(lock);
  if (rc != 0) return rc;
  std::atomic_ref<uint32_t>(slot->inside).store(0, std::memory_order_relaxed);
  slot->lock = lock;
  slot->prev = nullptr;
  slot->next = lock->readers;
  if (lock->readers != nullptr) lock->readers->prev = slot;
  lock->readers = slot;
  gate_leave(lock);
  return 0;
}

void rwlock_reader_remove(rwlock* lock, reader_slot* slot) {
  if (slot->lock != lock) return;
  if (std::atomic_ref<uint32_t>(slot->inside).load(std::memory_order_relaxed) != 0) return;
  if (gate_enter(lock) != 0) return;
  if (slot->prev != nullptr) {
    slot->prev->next = slot->next;
  } else {
    lock->readers = slot->next;
  }
  if (slot->next != nullptr) slot->next->prev = slot->prev;
  *slot = reader_slot{};
  gate_leave(lock);
}

// A writer waits or writes: step back out, wake a writer that may be waiting
// for this slot, wait under the gate for the last writer to leave, and come
// in there (a writer announces itself under the gate too, so it will see us).
int32_t rwlock_read_wait(rwlock* lock, reader_slot* slot) {
  std::atomic_ref<uint32_t> inside(slot->inside);
  inside.store(0, std::memory_order_seq_cst);
  int32_t rc = gate_enter(lock);
  if (rc != 0) return rc;
  np_gate_wake_all(lock->gate, kWriterQueue);
  while (writers_of(lock).load(std::memory_order_seq_cst) != 0) {
    rc = err_from_mutex_status(np_gate_wait(lock->gate, kReaderQueue, 0));
    if (rc != 0) break;
  }
  if (rc == 0) inside.store(1, std::memory_order_seq_cst);
  gate_leave(lock);
  return rc;
}

int32_t rwlock_read_wake_writers(rwlock* lock) {
  int32_t rc = gate_enter(lock);
  if (rc != 0) return rc;
  np_gate_wake_all(lock->gate, kWriterQueue);
  gate_leave(lock);
  return 0;
}

int32_t rwlock_write_acquire(rwlock* lock) {
  int32_t rc = gate_enter(lock);
  if (rc != 0) return rc;
  // Announce first: from here on no new reader comes in.
  writers_of(lock).fetch_add(1, std::memory_order_seq_cst);
  while (lock->writer_in != 0 && rc == 0) {
    rc = err_from_mutex_status(np_gate_wait(lock->gate, kWriterQueue, 0));
  }
  if (rc == 0) {
    lock->writer_in = 1;
    while (any_reader_inside(lock) && rc == 0) {
      rc = err_from_mutex_status(np_gate_wait(lock->gate, kWriterQueue, kWriterRecheckMs));
    }
    if (rc != 0) lock->writer_in = 0;
  }
  // Leave the queue again on failure, or readers would stay shut out.
  if (rc != 0) writer_leave_queue(lock);
  gate_leave(lock);
  return rc;
}

int32_t rwlock_write_release(rwlock* lock) {
  int32_t rc = gate_enter(lock);
  if (rc != 0) return rc;
  if (lock->writer_in == 0) {
    gate_leave(lock);
    return TQ_ERR_HOLD_NOT_HELD;
  }
  lock->writer_in = 0;
  writer_leave_queue(lock);
  gate_leave(lock);
  return 0;
}

uint32_t rwlock_readers(rwlock* lock) {
  if (gate_enter(lock) != 0) return 0;
  uint32_t n = 0;
  for (reader_slot* s = lock->readers; s != nullptr; s = s->next) {
    n += std::atomic_ref<uint32_t>(s->inside).load(std::memory_order_seq_cst);
  }
  gate_leave(lock);
  return n;
}

uint32_t rwlock_writers(rwlock* lock) { return writers_of(lock).load(std::memory_order_seq_cst); }

// A context is inside the lock as a reader exactly while it has read holds
// and no write hold. Read holds taken while writing are only counted; the
// place among the readers is taken when the last write hold ends.

int32_t shared_state_write_lock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return TQ_ERR_ARGUMENT;
  if (ctx->write_holds > 0) {
    ctx->write_holds += 1;
    return 0;
  }
  if (ctx->read_holds > 0) {
    ctx->write_refused = 1;
    return kRcNeedsWriteHold;
  }
  int32_t rc = rwlock_write_acquire(&ss->lock);
  if (rc != 0) return rc;
  ctx->write_holds = 1;
  return 0;
}

int32_t shared_state_write_lock_upgrade(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return TQ_ERR_ARGUMENT;
  if (ctx->write_holds > 0) {
    ctx->write_holds += 1;
    return 0;
  }
  // Give our place among the readers back first, or we would wait for
  // ourselves. The read-hold count stays; the place is taken again when the
  // write ends.
  if (ctx->read_holds > 0) {
    int32_t rc = rwlock_read_release(&ss->lock, &ctx->reader);
    if (rc != 0) return rc;
  }
  if (upgrade_gap_hook hook = g_gap_hook.load(std::memory_order_acquire); hook != nullptr) {
    hook(ctx, g_gap_hook_arg.load(std::memory_order_acquire));
  }
  int32_t rc = rwlock_write_acquire(&ss->lock);
  if (rc != 0) {
    if (ctx->read_holds > 0) reader_reenter(ctx, ss);
    return rc;
  }
  ctx->write_holds = 1;
  return 0;
}

void shared_state_upgrade_gap_hook_set(upgrade_gap_hook hook, void* arg) {
  g_gap_hook_arg.store(arg, std::memory_order_release);
  g_gap_hook.store(hook, std::memory_order_release);
}

int32_t shared_state_write_unlock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return TQ_ERR_ARGUMENT;
  if (ctx->write_holds == 0) return TQ_ERR_HOLD_NOT_HELD;
  ctx->write_holds -= 1;
  if (ctx->write_holds > 0) return 0;
  int32_t first = rwlock_write_release(&ss->lock);
  if (ctx->read_holds > 0) keep_first(first, reader_reenter(ctx, ss));
  return first;
}

int32_t ctx_shared_state_write_unlock(context* ctx) {
  if (ctx == nullptr) return TQ_ERR_ARGUMENT;
  if (ctx->shared == nullptr) return TQ_ERR_HOLD_NOT_HELD;
  return shared_state_write_unlock(ctx, ctx->shared);
}

namespace {

sharer_load* sharer_entry(const sharer_loads* loads, const context* ctx) {
  for (uint32_t i = 0; i < loads->used; ++i) {
    if (loads->entries[i].sharer == ctx->sharer_id) return &loads->entries[i];
  }
  return nullptr;
}

// An entry goes once its context holds nothing more (or has closed), so
// that the record is as long as the open contexts that hold loads. The
// array shrinks with it: a burst of contexts leaves no lasting memory. A
// shrink that cannot be had keeps the larger array, which is still right.
void sharer_entry_drop(sharer_loads* loads, sharer_load* entry) {
  *entry = loads->entries[--loads->used];
  if (loads->used == 0) {
    std::free(loads->entries);
    loads->entries = nullptr;
    loads->capacity = 0;
  } else if (loads->capacity >= 8 && loads->used <= loads->capacity / 4) {
    const uint32_t capacity = loads->capacity / 2;
    auto* shrunk = static_cast<sharer_load*>(np_realloc(loads->entries, sizeof(sharer_load) * capacity));
    if (shrunk != nullptr) {
      loads->entries = shrunk;
      loads->capacity = capacity;
    }
  }
}

}  // namespace

int32_t sharer_loads_add(sharer_loads* loads, const context* ctx) {
  if (loads == nullptr || ctx == nullptr) return TQ_ERR_ARGUMENT;
  sharer_load* entry = sharer_entry(loads, ctx);
  if (entry == nullptr) {
    if (loads->used == loads->capacity) {
      const uint32_t capacity = loads->capacity == 0 ? 2 : loads->capacity * 2;
      auto* grown = static_cast<sharer_load*>(np_realloc(loads->entries, sizeof(sharer_load) * capacity));
      if (grown == nullptr) return TQ_ERR_NO_MEMORY;
      loads->entries = grown;
      loads->capacity = capacity;
    }
    entry = &loads->entries[loads->used++];
    entry->sharer = ctx->sharer_id;
    entry->count = 0;
  }
  entry->count += 1;
  loads->total += 1;
  return 0;
}

bool sharer_loads_take(sharer_loads* loads, const context* ctx) {
  if (loads == nullptr || ctx == nullptr) return false;
  sharer_load* entry = sharer_entry(loads, ctx);
  if (entry == nullptr) {
    // Loads of closed contexts have no one left to give them back but the
    // contexts still open, whichever of them asks first.
    if (loads->left == 0) return false;
    loads->left -= 1;
    loads->total -= 1;
    return true;
  }
  entry->count -= 1;
  loads->total -= 1;
  if (entry->count == 0) sharer_entry_drop(loads, entry);
  return true;
}

void sharer_loads_leave(sharer_loads* loads, const context* ctx) {
  if (loads == nullptr || ctx == nullptr) return;
  sharer_load* entry = sharer_entry(loads, ctx);
  if (entry == nullptr) return;
  loads->left += entry->count;
  sharer_entry_drop(loads, entry);
}

uint32_t sharer_loads_of(const sharer_loads* loads, const context* ctx) {
  if (loads == nullptr || ctx == nullptr) return 0;
  const sharer_load* entry = sharer_entry(loads, ctx);
  return entry != nullptr ? entry->count : 0;
}

void sharer_loads_free(sharer_loads* loads) {
  if (loads == nullptr) return;
  std::free(loads->entries);
  *loads = sharer_loads{};
}

int32_t shared_state_create(context* ctx, shared_state** out) {
  if (ctx == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  // Aligned to whole cache lines (see rwlock).
  auto* ss = static_cast<shared_state*>(std::aligned_alloc(alignof(shared_state), sizeof(shared_state)));
  if (ss == nullptr) return TQ_ERR_NO_MEMORY;
  std::memset(static_cast<void*>(ss), 0, sizeof *ss);
  ss->ref_count = 1;
  ss->sharers_made = 1;
  ctx->sharer_id = 1;
  int32_t rc = rwlock_init(&ss->lock);
  if (rc == 0) rc = rwlock_reader_add(&ss->lock, &ctx->reader);
  if (rc != 0) {
    rwlock_destroy(&ss->lock);
    std::free(ss);
    return rc;
  }
  *out = ss;
  return 0;
}

int32_t shared_state_addref(context* ctx, shared_state* ss, context* sharer) {
  if (ctx == nullptr || ss == nullptr || sharer == nullptr) return TQ_ERR_ARGUMENT;
  write_hold hold(ctx, ss);
  if (!hold.held()) return hold.rc();
  const int32_t rc = rwlock_reader_add(&ss->lock, &sharer->reader);
  if (rc == 0) {
    ss->ref_count += 1;
    sharer->shared = ss;
    sharer->sharer_id = ++ss->sharers_made;
  }
  const int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

int32_t shared_state_release(context* ctx, shared_state* ss) {
  if (ss == nullptr) return 0;
  if (ctx == nullptr) return TQ_ERR_ARGUMENT;
  // A context that leaves while it reads gives its place up for the write
  // hold: it uses nothing it found under the read hold again.
  int32_t rc = shared_state_write_lock_upgrade(ctx, ss);
  if (rc != 0) return rc;
  // The context leaves for good: every hold it still has goes now (one that
  // stayed would shut the others out for ever), and writers stop looking at
  // its slot.
  ctx->read_holds = 0;
  ctx->write_holds = 1;
  rwlock_reader_remove(&ss->lock, &ctx->reader);
  ss->ref_count -= 1;
  if (ss->ref_count > 0) {
    if (ss->contents_leave != nullptr) ss->contents_leave(ctx, ss);
    return shared_state_write_unlock(ctx, ss);
  }

  if (ss->contents_free != nullptr) ss->contents_free(ctx, ss);

  // The last reference: no other context can be waiting on the lock.
  rwlock_write_release(&ss->lock);
  ctx->write_holds = 0;
  rwlock_destroy(&ss->lock);
  std::free(ss);
  return 0;
}

}  // namespace tq

// The shared state of a context and its clones, and the readers-writer lock
// that guards it.
//
// Every framed call takes a read hold, from every clone on every thread, so
// the read path must not make clones contend. Each context therefore reads
// through its own slot (a word in its own record) instead of a shared
// counter: a reader sets its word, then looks whether a writer waits or
// writes; a writer announces itself, then waits until every registered
// reader's word is clear. With no writer about, a read hold writes nothing
// that another thread writes and takes no mutex. The gate (a mutex with two
// wait queues) is used only while a writer waits or writes, and when a
// context joins or leaves the shared state.
//
// The lock prefers writers: once a writer waits, new readers wait for the
// last writer to leave while the current readers finish. Each context counts
// its own holds, so nested calls enter the lock once. Holds belong to the
// context, not the thread: a hold may be given back on another thread.
//
// A context that holds read holds and no write hold is refused the write
// hold (kRcNeedsWriteHold): it would have to give its place among the
// readers up first (or wait on itself), and in that gap another clone may
// take the write hold and unload what the caller has found. Nothing is given
// up instead. The refused call returns the code up unchanged, every pointer
// it holds still valid because its read hold is still held; the exported
// frame then takes the write hold properly and runs the whole call again
// from the beginning, looking everything up anew under a hold that nothing
// can change. So a pointer to a record, resource or locale found under a
// hold is never used once that hold has been given up, even for a moment.
// Another clone may change the state in that gap (unload the locale, say),
// and the run again then fail where the refused run went on: so a refused
// run leaves its caller's outputs and infos as it found them. A run that
// will need the write hold asks for it before it writes any
// (shared_state_write_claim: every run with an info), and one that writes
// them before a step that may still be refused writes them on its way out
// instead, or puts back what it wrote (call_refused).
// What needs the write hold is rare (preparing a definition on first use,
// loading, editing): the prepared road never meets it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/krcorvel.h"
#include "platform/npmutex.h"

namespace tq {

// The result of a call refused the write hold because it holds read holds
// (see above). Internal only: outside every result code a client sees, and
// turned by the frame into a run of the call under the write hold. Code
// between the refusal and the frame passes it up unchanged: it neither
// records a message for it nor turns it into another code.
inline constexpr int32_t kRcNeedsWriteHold = -9100;
inline constexpr bool is_restart(int32_t rc) { return rc == kRcNeedsWriteHold; }

// Every read hold loads `writers`: it sits at the start of a cache line of
// its own kind (the lock and the shared state are written only by writers),
// so that no busy neighbour on the heap can share its line.
inline constexpr std::size_t kCacheLine = 64;

struct alignas(kCacheLine) rwlock {
  uint32_t writers;       // writers waiting or writing; accessed atomically only
  uint32_t writer_in;     // 1 while a writer holds the lock; under the gate
  np_gate_handle gate;    // slow paths: waits, wake-ups, the reader registry
  reader_slot* readers;   // the registered reader slots; under the gate
};

// What a context and its clones share. Loaded locales, the resource slots,
// the category registry and the parser cache join it with their components.
struct shared_contents;

struct shared_state {
  rwlock lock;
  uint32_t ref_count;  // contexts that reference it
  uint64_t sharers_made;  // the last sharer_id handed to a context joining it
  // The knowledge-base contents (loaded locales, resource slots, categories),
  // built and freed by the knowledge-base store. The free function runs at
  // the last release, under the write hold, before the lock is destroyed.
  shared_contents* contents;
  void (*contents_free)(context* ctx, shared_state* ss);
  // Hands what a leaving context holds in the contents over to the state,
  // when other contexts stay; under the write hold.
  void (*contents_leave)(context* ctx, shared_state* ss);
};

// 0, or the mapped status of the gate that could not be made.
int32_t rwlock_init(rwlock* lock);
// No reader or writer may be inside or waiting.
void rwlock_destroy(rwlock* lock);

// A slot must be registered before it reads, so that writers see it; a
// slot is registered with one lock at a time. Adding: 0, -802 when it is
// registered elsewhere, or a gate failure. Removing a slot that reads or
// is not registered with the lock does nothing to the lock.
int32_t rwlock_reader_add(rwlock* lock, reader_slot* slot);
void rwlock_reader_remove(rwlock* lock, reader_slot* slot);

// Enters as the writer once every reader is out; 0 or a gate failure.
int32_t rwlock_write_acquire(rwlock* lock);
int32_t rwlock_write_release(rwlock* lock);

// Readers inside and writers waiting or writing, as of now (tests, checks).
uint32_t rwlock_readers(rwlock* lock);
uint32_t rwlock_writers(rwlock* lock);

// The slow paths of the inline read hold below.
int32_t rwlock_read_wait(rwlock* lock, reader_slot* slot);
int32_t rwlock_read_wake_writers(rwlock* lock);

// Enters as a reader (a slot enters once): 0, -802 for a slot not
// registered with the lock, or a gate failure (nothing held).
inline int32_t rwlock_read_acquire(rwlock* lock, reader_slot* slot) {
  if (slot->lock != lock) return TQ_ERR_ARGUMENT;
  // Set our word, then look for a writer; a writer announces itself, then
  // looks at our word. Both orders are sequentially consistent, so at least
  // one of the two sees the other: never a reader and a writer inside.
  std::atomic_ref<uint32_t>(slot->inside).store(1, std::memory_order_seq_cst);
  if (std::atomic_ref<uint32_t>(lock->writers).load(std::memory_order_seq_cst) == 0) return 0;
  return rwlock_read_wait(lock, slot);
}

// Leaves as a reader: 0, -603 when the slot is not inside, or a gate failure.
inline int32_t rwlock_read_release(rwlock* lock, reader_slot* slot) {
  std::atomic_ref<uint32_t> inside(slot->inside);
  if (slot->lock != lock || inside.load(std::memory_order_relaxed) == 0) return TQ_ERR_HOLD_NOT_HELD;
  // Release: what we read stays before a writer's changes.
  inside.store(0, std::memory_order_release);
  // A writer waiting for us is woken. Without a full fence this load may
  // see an announcing writer late; that writer then finds our word clear on
  // its next look (its waits are short and timed), so nothing is lost.
  if (std::atomic_ref<uint32_t>(lock->writers).load(std::memory_order_seq_cst) == 0) return 0;
  return rwlock_read_wake_writers(lock);
}

// A new shared state with one reference, the context registered as its
// reader; -600 or a gate failure.
int32_t shared_state_create(context* ctx, shared_state** out);
// Gives back the context's reference under the write hold and removes the
// context from the readers; any hold it still has goes with it. The last
// reference frees the state. NULL: 0.
int32_t shared_state_release(context* ctx, shared_state* ss);
// Under the context's write hold: adds a reference for another context (a
// clone), registers it as a reader and points it at the state.
int32_t shared_state_addref(context* ctx, shared_state* ss, context* sharer);

// ---- Client loads per context
//
// A client's loads of something the shared state keeps (a resource, a
// locale) belong to the context that made them: while it is open, only that
// context gives them back. When it closes, they pass to the shared state as
// one count per thing (`left`), which an unload by any context that holds
// no load of its own there may give back; the record keeps entries for open
// contexts only, so that its length (and every search of it) does not grow
// with the contexts that came and went. The record of one thing: per open
// context (its sharer_id), how many loads it holds; the loads of closed
// ones; and the sum of both. It is changed and read under the write hold
// only, so the read hold never pays for it. The record goes with the thing:
// a slot reused for another resource starts with no loads, so a context's
// stale index of the old one finds nothing of its own to give back.
struct sharer_load {
  uint64_t sharer;
  uint32_t count;
};
struct sharer_loads {
  sharer_load* entries;  // heap; NULL while no open context holds a load
  uint32_t used;
  uint32_t capacity;
  uint32_t left;         // the loads of contexts that have closed
  uint32_t total;        // the sum of the counts and left
};
// One more load of the context: 0, or -600 with nothing changed.
int32_t sharer_loads_add(sharer_loads* loads, const context* ctx);
// Takes one of the context's loads or, when it holds none, one that a
// closed context left: false, with nothing changed, when there is neither.
bool sharer_loads_take(sharer_loads* loads, const context* ctx);
// The closing context's loads become loads left by a closed context, and
// its entry goes.
void sharer_loads_leave(sharer_loads* loads, const context* ctx);
// The context's loads (0 for none).
uint32_t sharer_loads_of(const sharer_loads* loads, const context* ctx);
// Forgets every load and frees the record (zeroed afterwards).
void sharer_loads_free(sharer_loads* loads);

// The context's re-entrant holds. Releasing a hold that is not held: -603.
// The read holds are inline: every framed call takes one.
inline int32_t shared_state_read_lock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return TQ_ERR_ARGUMENT;
  // Only the first hold enters; holds taken while writing are only counted
  // (the write hold already keeps everyone else out).
  if (ctx->read_holds > 0 || ctx->write_holds > 0) {
    ctx->read_holds += 1;
    return 0;
  }
  int32_t rc = rwlock_read_acquire(&ss->lock, &ctx->reader);
  if (rc != 0) return rc;
  ctx->read_holds = 1;
  return 0;
}

inline int32_t shared_state_read_unlock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return TQ_ERR_ARGUMENT;
  if (ctx->read_holds == 0) return TQ_ERR_HOLD_NOT_HELD;
  // The count is tested from the register it was computed in: read back
  // together with write_holds, just after the store, it stalls the load.
  const uint32_t left = ctx->read_holds - 1;
  ctx->read_holds = left;
  if (left > 0 || ctx->write_holds > 0) return 0;
  return rwlock_read_release(&ss->lock, &ctx->reader);
}

// The write hold. Nested in a write hold: counted. With no hold: taken.
// With read holds and no write hold: kRcNeedsWriteHold, nothing changed.
int32_t shared_state_write_lock(context* ctx, shared_state* ss);
// A call that will need the write hold on its way, asking at its start,
// before it writes anything its caller sees: with read holds and no write
// hold it is refused at once (kRcNeedsWriteHold, the context's flag set),
// and the frame runs it again under the write hold; otherwise 0. No hold
// is taken: under the write hold, or with no hold at all, nothing on the
// way can be refused.
inline int32_t shared_state_write_claim(context* ctx) {
  if (ctx->write_holds > 0 || ctx->read_holds == 0) return 0;
  ctx->write_refused = 1;
  return kRcNeedsWriteHold;
}
// A run with an info (info not NULL) asks so at its start: what it records
// in the info is never left half-made by a refusal on the way, and the run
// again under the write hold never finds it so. 0 without an info.
inline int32_t shared_state_write_claim_for(context* ctx, const void* info) {
  return info != nullptr ? shared_state_write_claim(ctx) : 0;
}
// Whether the running call was refused the write hold: a run that writes
// its caller's outputs on its way out (a failure's clear or fill) leaves
// them as they were when it was, since the run again writes them.
inline bool call_refused(const context* ctx) { return ctx->write_refused != 0; }
// The frame's upgrade, before it runs a refused call again: gives the
// context's place among the readers back (the read-hold count stays), waits
// as a writer, and takes the place again when the last write hold ends. The
// caller holds no pointer found under the read hold across it.
int32_t shared_state_write_lock_upgrade(context* ctx, shared_state* ss);
// A test hook: called in the upgrade's gap, once the context has given its
// place among the readers back and before it waits as a writer, where
// another clone may take the write hold (to unload a locale, say). NULL
// turns it off.
using upgrade_gap_hook = void (*)(context* ctx, void* arg);
void shared_state_upgrade_gap_hook_set(upgrade_gap_hook hook, void* arg);
int32_t shared_state_write_unlock(context* ctx, shared_state* ss);
// The write unlock on the context's own shared state, ending an operation
// that returned holding the write hold.
int32_t ctx_shared_state_write_unlock(context* ctx);

// ---- Holds for a scope
//
// A hold taken by a guard is given back by its destructor, so neither an
// exception (std::bad_alloc from a string, a vector, operator new) nor an
// early return between taking and giving back can leave it taken; a hold
// left taken would make every other clone's next call wait for ever.
// Taking it as shared_state_read_lock / shared_state_write_lock do: when
// that fails or is refused (kRcNeedsWriteHold) nothing is held, and rc()
// is the code to pass up unchanged. release() gives the hold back early and
// answers what giving it back answered (a guard that holds nothing: 0).
// An operation that returns holding the write hold takes it with a guard
// and hands the guard to its caller (moved into an out parameter), or,
// where its result alone says so, the caller takes the hold over with
// adopt(). The guard belongs to the context, like the hold: it may be moved
// but never copied, and it gives back exactly what it took.
template <int32_t (*Lock)(context*, shared_state*), int32_t (*Unlock)(context*, shared_state*)>
class [[nodiscard]] shared_hold {
 public:
  shared_hold() noexcept = default;
  explicit shared_hold(context* ctx) noexcept : shared_hold(ctx, ctx->shared) {}
  shared_hold(context* ctx, shared_state* ss) noexcept : shared_hold(ctx, ss, Lock(ctx, ss)) {}
  // A hold the context took another way, when rc (that way's answer) is 0;
  // otherwise nothing is held and rc() is rc.
  static shared_hold adopt(context* ctx, int32_t rc = 0) noexcept { return shared_hold(ctx, ctx->shared, rc); }
  shared_hold(shared_hold&& other) noexcept : ctx_(other.ctx_), ss_(other.ss_), rc_(other.rc_) {
    other.ctx_ = nullptr;
  }
  shared_hold& operator=(shared_hold&& other) noexcept {
    if (this != &other) {
      (void)release();
      ctx_ = other.ctx_;
      ss_ = other.ss_;
      rc_ = other.rc_;
      other.ctx_ = nullptr;
    }
    return *this;
  }
  shared_hold(const shared_hold&) = delete;
  shared_hold& operator=(const shared_hold&) = delete;
  ~shared_hold() { (void)release(); }

  // 0 when the hold was taken, else why not (nothing held).
  int32_t rc() const noexcept { return rc_; }
  bool held() const noexcept { return ctx_ != nullptr; }
  int32_t release() noexcept {
    if (ctx_ == nullptr) return 0;
    context* ctx = ctx_;
    ctx_ = nullptr;
    return Unlock(ctx, ss_);
  }
  // Lets the hold go without giving it back: an operation that returns
  // holding it, its caller to give it back (or adopt it).
  void keep() noexcept { ctx_ = nullptr; }

 private:
  shared_hold(context* ctx, shared_state* ss, int32_t rc) noexcept
      : ctx_(rc == 0 ? ctx : nullptr), ss_(ss), rc_(rc) {}
  context* ctx_ = nullptr;  // the holder while held
  shared_state* ss_ = nullptr;
  int32_t rc_ = 0;
};

using read_hold = shared_hold<shared_state_read_lock, shared_state_read_unlock>;
using write_hold = shared_hold<shared_state_write_lock, shared_state_write_unlock>;

// The frame's upgrade (shared_state_write_lock_upgrade) as a guard.
inline write_hold write_hold_upgrade(context* ctx) noexcept {
  return write_hold::adopt(ctx, shared_state_write_lock_upgrade(ctx, ctx->shared));
}

}  // namespace tq

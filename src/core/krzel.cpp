#include "core/krzel.h"

#include <cstdlib>

#include "core/krerr.h"

namespace tq {

namespace {

int32_t lock_mutex(np_mutex_handle m) { return err_from_mutex_status(np_mutex_lock(m, 0)); }
int32_t unlock_mutex(np_mutex_handle m) { return err_from_mutex_status(np_mutex_unlock(m)); }

// Keeps the first failure of a sequence whose later steps must still run.
void keep_first(int32_t& first, int32_t rc) {
  if (first == 0) first = rc;
}

// Enters as the writer: queue on the writer count (the first writer closes
// read-try to new readers), then wait for the resource.
int32_t writer_enter(rwlock* lock) {
  int32_t rc = lock_mutex(lock->writer_count_guard);
  if (rc != 0) return rc;
  lock->writers += 1;
  if (lock->writers == 1) {
    rc = lock_mutex(lock->read_try);
    if (rc != 0) {
      lock->writers -= 1;
      unlock_mutex(lock->writer_count_guard);
      return rc;
    }
  }
  unlock_mutex(lock->writer_count_guard);

  rc = lock_mutex(lock->resource);
  if (rc != 0) {
    // Leave the queue again, or readers would stay shut out for good.
    if (lock_mutex(lock->writer_count_guard) == 0) {
      lock->writers -= 1;
      if (lock->writers == 0) unlock_mutex(lock->read_try);
      unlock_mutex(lock->writer_count_guard);
    }
    return rc;
  }
  return 0;
}

int32_t writer_exit(rwlock* lock) {
  int32_t first = unlock_mutex(lock->resource);
  int32_t rc = lock_mutex(lock->writer_count_guard);
  if (rc != 0) return first != 0 ? first : rc;
  lock->writers -= 1;
  if (lock->writers == 0) keep_first(first, unlock_mutex(lock->read_try));
  keep_first(first, unlock_mutex(lock->writer_count_guard));
  return first;
}

// Takes the context's place among the readers again after a write. When that
// fails the context has lost its reads: its count is cleared so that a later
// release reports -603 instead of leaving some other reader's place.
int32_t reader_reenter(context* ctx, shared_state* ss) {
  int32_t rc = rwlock_read_acquire(&ss->lock);
  if (rc != 0) ctx->read_holds = 0;
  return rc;
}

}  // namespace

int32_t rwlock_init(rwlock* lock) {
  *lock = rwlock{};
  np_mutex_handle* made[] = {&lock->reader_count_guard, &lock->writer_count_guard, &lock->read_try,
                             &lock->resource, &lock->reader_entry};
  for (np_mutex_handle* m : made) {
    int32_t status = np_mutex_create(0, m);
    if (status != 0) {
      rwlock_destroy(lock);
      return err_from_mutex_status(status);
    }
  }
  return 0;
}

void rwlock_destroy(rwlock* lock) {
  np_mutex_destroy(lock->reader_count_guard);
  np_mutex_destroy(lock->writer_count_guard);
  np_mutex_destroy(lock->read_try);
  np_mutex_destroy(lock->resource);
  np_mutex_destroy(lock->reader_entry);
  *lock = rwlock{};
}

int32_t rwlock_read_acquire(rwlock* lock) {
  int32_t rc = lock_mutex(lock->reader_entry);
  if (rc != 0) return rc;
  rc = lock_mutex(lock->read_try);
  if (rc != 0) {
    unlock_mutex(lock->reader_entry);
    return rc;
  }
  rc = lock_mutex(lock->reader_count_guard);
  if (rc != 0) {
    unlock_mutex(lock->read_try);
    unlock_mutex(lock->reader_entry);
    return rc;
  }
  lock->readers += 1;
  if (lock->readers == 1) {
    rc = lock_mutex(lock->resource);
    if (rc != 0) {
      lock->readers -= 1;
      unlock_mutex(lock->reader_count_guard);
      unlock_mutex(lock->read_try);
      unlock_mutex(lock->reader_entry);
      return rc;
    }
  }
  int32_t first = unlock_mutex(lock->reader_count_guard);
  keep_first(first, unlock_mutex(lock->read_try));
  keep_first(first, unlock_mutex(lock->reader_entry));
  return first;
}

int32_t rwlock_read_release(rwlock* lock) {
  int32_t rc = lock_mutex(lock->reader_count_guard);
  if (rc != 0) return rc;
  if (lock->readers == 0) {
    unlock_mutex(lock->reader_count_guard);
    return -603;
  }
  lock->readers -= 1;
  int32_t first = 0;
  if (lock->readers == 0) first = unlock_mutex(lock->resource);
  keep_first(first, unlock_mutex(lock->reader_count_guard));
  return first;
}

// A context is inside the lock as a reader exactly while it has read holds
// and no write hold. Read holds taken while writing are only counted (the
// write hold already keeps everyone else out; entering as a reader there
// would wait on ourselves); the place among the readers is taken when the
// last write hold ends.

int32_t shared_state_read_lock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return -802;
  if (ctx->read_holds > 0 || ctx->write_holds > 0) {
    ctx->read_holds += 1;
    return 0;
  }
  int32_t rc = rwlock_read_acquire(&ss->lock);
  if (rc != 0) return rc;
  ctx->read_holds = 1;
  return 0;
}

int32_t shared_state_read_unlock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return -802;
  if (ctx->read_holds == 0) return -603;
  ctx->read_holds -= 1;
  if (ctx->read_holds > 0 || ctx->write_holds > 0) return 0;
  return rwlock_read_release(&ss->lock);
}

int32_t shared_state_write_lock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return -802;
  if (ctx->write_holds > 0) {
    ctx->write_holds += 1;
    return 0;
  }
  // Give our place among the readers back first, or the resource the
  // readers hold as a group would never come free for us. The read-hold
  // count stays; the place is taken again when the write ends.
  if (ctx->read_holds > 0) {
    int32_t rc = rwlock_read_release(&ss->lock);
    if (rc != 0) return rc;
  }
  int32_t rc = writer_enter(&ss->lock);
  if (rc != 0) {
    if (ctx->read_holds > 0) reader_reenter(ctx, ss);
    return rc;
  }
  ctx->write_holds = 1;
  return 0;
}

int32_t shared_state_write_unlock(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return -802;
  if (ctx->write_holds == 0) return -603;
  ctx->write_holds -= 1;
  if (ctx->write_holds > 0) return 0;
  int32_t first = writer_exit(&ss->lock);
  if (ctx->read_holds > 0) keep_first(first, reader_reenter(ctx, ss));
  return first;
}

int32_t ctx_shared_state_write_unlock(context* ctx) {
  if (ctx == nullptr) return -802;
  if (ctx->shared == nullptr) return -603;
  return shared_state_write_unlock(ctx, ctx->shared);
}

int32_t shared_state_create(context* ctx, shared_state** out) {
  (void)ctx;
  if (out == nullptr) return -802;
  *out = nullptr;
  auto* ss = static_cast<shared_state*>(std::calloc(1, sizeof(shared_state)));
  if (ss == nullptr) return -600;
  ss->ref_count = 1;
  int32_t rc = rwlock_init(&ss->lock);
  if (rc != 0) {
    std::free(ss);
    return rc;
  }
  *out = ss;
  return 0;
}

int32_t shared_state_addref(context* ctx, shared_state* ss) {
  if (ctx == nullptr || ss == nullptr) return -802;
  int32_t rc = shared_state_write_lock(ctx, ss);
  if (rc != 0) return rc;
  ss->ref_count += 1;
  return shared_state_write_unlock(ctx, ss);
}

int32_t shared_state_release(context* ctx, shared_state* ss) {
  if (ss == nullptr) return 0;
  if (ctx == nullptr) return -802;
  int32_t rc = shared_state_write_lock(ctx, ss);
  if (rc != 0) return rc;
  ss->ref_count -= 1;
  if (ss->ref_count > 0) return shared_state_write_unlock(ctx, ss);

  if (ss->contents_free != nullptr) ss->contents_free(ctx, ss);

  // The last reference: no other context can be waiting on the lock, and
  // no hold of this context may outlive the state, so the write hold is
  // left straight away and the context's counts cleared (re-entering as a
  // reader would leave a hold on freed memory).
  writer_exit(&ss->lock);
  ctx->read_holds = 0;
  ctx->write_holds = 0;
  rwlock_destroy(&ss->lock);
  std::free(ss);
  return 0;
}

}  // namespace tq

#include "platform/npmutex.h"

#include <pthread.h>

#include <cstdlib>

// A pthread mutex belongs to the thread that locked it, so it cannot serve
// here; the flag guarded by a short-lived pthread mutex and condition
// variable can be given back by anyone.
struct np_mutex {
  pthread_mutex_t guard;
  pthread_cond_t freed;
  bool locked;
};

int32_t np_mutex_create(uint32_t flags, np_mutex_handle* out) {
  if (out == nullptr) return kNpMutexBadHandle;
  *out = nullptr;
  (void)flags;
  auto* m = static_cast<np_mutex*>(std::calloc(1, sizeof(np_mutex)));
  if (m == nullptr) return kNpMutexNoMemory;
  if (pthread_mutex_init(&m->guard, nullptr) != 0) {
    std::free(m);
    return kNpMutexNoMemory;
  }
  if (pthread_cond_init(&m->freed, nullptr) != 0) {
    pthread_mutex_destroy(&m->guard);
    std::free(m);
    return kNpMutexNoMemory;
  }
  m->locked = false;
  *out = m;
  return kNpMutexOk;
}

int32_t np_mutex_lock(np_mutex_handle handle, uint32_t timeout) {
  (void)timeout;
  if (handle == nullptr) return kNpMutexBadHandle;
  if (pthread_mutex_lock(&handle->guard) != 0) return kNpMutexWaitFailed;
  while (handle->locked) {
    if (pthread_cond_wait(&handle->freed, &handle->guard) != 0) {
      pthread_mutex_unlock(&handle->guard);
      return kNpMutexWaitFailed;
    }
  }
  handle->locked = true;
  pthread_mutex_unlock(&handle->guard);
  return kNpMutexOk;
}

int32_t np_mutex_unlock(np_mutex_handle handle) {
  if (handle == nullptr) return kNpMutexBadHandle;
  if (pthread_mutex_lock(&handle->guard) != 0) return kNpMutexWaitFailed;
  if (!handle->locked) {
    pthread_mutex_unlock(&handle->guard);
    return kNpMutexNotLocked;
  }
  handle->locked = false;
  pthread_cond_signal(&handle->freed);
  pthread_mutex_unlock(&handle->guard);
  return kNpMutexOk;
}

int32_t np_mutex_destroy(np_mutex_handle handle) {
  if (handle == nullptr) return kNpMutexOk;
  pthread_cond_destroy(&handle->freed);
  pthread_mutex_destroy(&handle->guard);
  std::free(handle);
  return kNpMutexOk;
}

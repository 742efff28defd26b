#include "platform/npmutex.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include "platform/npmem.h"

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
  auto* m = static_cast<np_mutex*>(np_calloc(1, sizeof(np_mutex)));
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

struct np_gate {
  pthread_mutex_t guard;
  pthread_cond_t queues[kNpGateQueues];
};

int32_t np_gate_create(np_gate_handle* out) {
  if (out == nullptr) return kNpMutexBadHandle;
  *out = nullptr;
  auto* g = static_cast<np_gate*>(np_calloc(1, sizeof(np_gate)));
  if (g == nullptr) return kNpMutexNoMemory;
  if (pthread_mutex_init(&g->guard, nullptr) != 0) {
    std::free(g);
    return kNpMutexNoMemory;
  }
  // Timed waits measure a monotonic clock, so a change of the wall clock
  // neither stretches nor cuts them.
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  for (uint32_t q = 0; q < kNpGateQueues; ++q) {
    if (pthread_cond_init(&g->queues[q], &attr) != 0) {
      while (q-- > 0) pthread_cond_destroy(&g->queues[q]);
      pthread_condattr_destroy(&attr);
      pthread_mutex_destroy(&g->guard);
      std::free(g);
      return kNpMutexNoMemory;
    }
  }
  pthread_condattr_destroy(&attr);
  *out = g;
  return kNpMutexOk;
}

int32_t np_gate_destroy(np_gate_handle handle) {
  if (handle == nullptr) return kNpMutexOk;
  for (pthread_cond_t& q : handle->queues) pthread_cond_destroy(&q);
  pthread_mutex_destroy(&handle->guard);
  std::free(handle);
  return kNpMutexOk;
}

int32_t np_gate_enter(np_gate_handle handle) {
  if (handle == nullptr) return kNpMutexBadHandle;
  return pthread_mutex_lock(&handle->guard) == 0 ? kNpMutexOk : kNpMutexWaitFailed;
}

int32_t np_gate_leave(np_gate_handle handle) {
  if (handle == nullptr) return kNpMutexBadHandle;
  return pthread_mutex_unlock(&handle->guard) == 0 ? kNpMutexOk : kNpMutexNotLocked;
}

int32_t np_gate_wait(np_gate_handle handle, uint32_t queue, uint32_t timeout_ms) {
  if (handle == nullptr || queue >= kNpGateQueues) return kNpMutexBadHandle;
  if (timeout_ms == 0) {
    return pthread_cond_wait(&handle->queues[queue], &handle->guard) == 0 ? kNpMutexOk : kNpMutexWaitFailed;
  }
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += timeout_ms / 1000;
  until.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  int rc = pthread_cond_timedwait(&handle->queues[queue], &handle->guard, &until);
  return (rc == 0 || rc == ETIMEDOUT) ? kNpMutexOk : kNpMutexWaitFailed;
}

int32_t np_gate_wake_all(np_gate_handle handle, uint32_t queue) {
  if (handle == nullptr || queue >= kNpGateQueues) return kNpMutexBadHandle;
  return pthread_cond_broadcast(&handle->queues[queue]) == 0 ? kNpMutexOk : kNpMutexWaitFailed;
}

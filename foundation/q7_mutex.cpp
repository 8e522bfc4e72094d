#include "foundation/q7_mutex.h"

// Statically initialised so that a call arriving before the engine has started still finds a
// working lock.
pthread_mutex_t q7_mutex = PTHREAD_MUTEX_INITIALIZER;

void mutex_initialize() { pthread_mutex_init(&q7_mutex, nullptr); }

void mutex_lock() { pthread_mutex_lock(&q7_mutex); }

void mutex_unlock() { pthread_mutex_unlock(&q7_mutex); }

void mutex_destroy() { pthread_mutex_destroy(&q7_mutex); }

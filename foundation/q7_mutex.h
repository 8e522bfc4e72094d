// The API lock: one process-wide mutex that serialises every exported call touching the database.
//
// It is a plain, non-recursive mutex with default attributes. Exported frames take it for the whole
// call; nothing inside the engine (kernels, task functions, worker threads) takes it. Because it is
// not recursive, an exported function must never call another exported function that locks.
//
// The mutex is statically initialised, so mutex_lock() is usable even before the engine is built
// (for example from another library's static initialiser). The engine calls mutex_initialize() at
// start and mutex_destroy() at unload; re-initialisation of the engine keeps the lock as it is.
#pragma once

#include <pthread.h>

extern pthread_mutex_t q7_mutex;

// (Re)initialises q7_mutex. Only call it while no thread holds or waits for the lock.
void mutex_initialize();
// Blocks until the lock is free, then takes it.
void mutex_lock();
// Releases the lock; the calling thread must hold it.
void mutex_unlock();
// Destroys q7_mutex; only at unload, when no thread can reach it any more.
void mutex_destroy();
// Whether the calling thread holds the lock (taken through mutex_lock). Lets the fork handlers
// tell a fork made from inside a call (a host callback) from one made by another thread.
bool mutex_held_by_this_thread();

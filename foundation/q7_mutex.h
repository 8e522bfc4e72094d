// The API lock: one process-wide mutex that serialises every exported call touching the database.
//
// It is a plain, non-recursive mutex with default attributes. Exported frames take it for the whole
// call; nothing inside the engine (kernels, task functions, worker threads) takes it. Because it is
// not recursive, an exported function must never call another exported function that locks.
//
// The mutex is statically initialised, so mutex_lock() is usable even before the engine is built
// (for example from another library's static initialiser). The engine calls mutex_initialize() at
// start; re-initialisation of the engine keeps the lock as it is. It is never destroyed: the engine's
// stop at the process's end takes it and never lets go of it, so that host threads still calling
// wait until the process is gone instead of meeting a stopped engine or a destroyed mutex; the
// thread that stopped it still counts as its holder (mutex_held_by_this_thread).
#pragma once

#include <pthread.h>

#include <chrono>

extern pthread_mutex_t q7_mutex;

// (Re)initialises q7_mutex. Only call it while no thread holds or waits for the lock.
void mutex_initialize();
// Blocks until the lock is free, then takes it.
void mutex_lock();
// Takes the lock if it comes free within `wait`; false when it did not (it is not taken then).
bool mutex_lock_within(std::chrono::milliseconds wait);
// Releases the lock; the calling thread must hold it.
void mutex_unlock();
// Destroys q7_mutex; only when no thread can reach it any more (the engine itself never does).
void mutex_destroy();
// Records the calling thread as the one that ended the engine at the process's end, whether the stop
// ran or was skipped; mutex_ended_on_this_thread answers true on it from then on. Later exit
// handlers run on that thread, and their calls must not wait for a lock that is kept for good or
// held by a call that never returns.
void mutex_mark_ended();
bool mutex_ended_on_this_thread();
// Whether the calling thread holds the lock (taken through mutex_lock). Lets the fork handlers
// tell a fork made from inside a call (a host callback) from one made by another thread, and the
// frames refuse a call made from inside a call instead of waiting on themselves.
bool mutex_held_by_this_thread();

// The frames of the exported functions. Every exported function is one of these around one
// operation, so that locking, error recording and the no-exception guarantee live in one place:
//
//   Q7_EXPORT int RQ7GetNTable() { return FullFrame("RQ7GetNTable", [&] { return innerQ7GetNTable(); }); }
//
// | frame              | API lock | catches                   | ring entry written by the frame          |
// |--------------------|----------|---------------------------|------------------------------------------|
// | FullFrame          | yes      | everything                | a CQ7Exception or a failed allocation,   |
// |                    |          |                           | under ring_name                          |
// | CheckedFrame       | yes      | everything                | also a negative result (empty message)   |
// | LightFrame         | yes      | everything (see below)    | never                                    |
// | PlainFrame         | yes      | everything (see below)    | never                                    |
// | UnlockedFrame      | no (1)   | everything                | as FullFrame                             |
// | LockedValueFrame   | yes      | everything, silently      | never                                    |
// | DelegatingValueFrame, PureValueFrame | no | everything, silently | never                             |
//
// Light and plain frames run operations that record their own failures; should an exception still
// arrive, the host gets its code (CurrentFailureCode, foundation/FailureCode.h) and nothing is
// recorded. No frame lets any exception (std::bad_alloc included) reach the C caller: a failed
// allocation becomes Q7_ERROR_OUT_OF_MEMORY, recorded by the recording frames as (ring_name,
// Q7_ERROR_OUT_OF_MEMORY, "Out of memory"); anything else that is not a CQ7Exception becomes
// Q7_ERROR_UNKNOWN (0xE00001F4) without a ring entry.
//
// The lock is q7_mutex, which is not recursive: an operation run inside a locking frame must never
// call an exported function that locks. Delegating value frames exist for exactly that case: they
// hold no lock and call locking RQ7 functions. (1) UnlockedFrame is for RQ7ReInitializeMS only,
// which restarts the engine under the lock it takes itself; the frame takes the lock only to record
// a failure, after the operation has let go of it.
//
// Integer results: codes are returned as the operation's own integer type (a 64-bit size result
// gets the code widened to 64 bits).
//
// Where errors are caught. This is the one place that says which level turns a throw into a code
// and how (the others point here). From the host inwards:
//
// - the frame (each exported function; this file): a CQ7Exception gives its code and, in the
//   recording frames, an entry (ring_name, code, message); a failed allocation
//   Q7_ERROR_OUT_OF_MEMORY and, in the recording frames, an "Out of memory" entry; anything else
//   Q7_ERROR_UNKNOWN, no entry. The value frames give their failure value instead, no entry.
// - RunOp (each operation, innerQ7*, and each task slot body; api/ops/OpCommon.h): a CQ7Exception
//   gives its code and an entry (the operation's ring name, code, message); an OpRefusal only its
//   code, its entry being written already; a failed allocation Q7_ERROR_OUT_OF_MEMORY and an
//   "Out of memory" entry; anything else Q7_ERROR_UNKNOWN, no entry.
// - the own catches of the operations and task slots whose rules differ from RunOp's (api/ops/
//   and api/task/: the block readers' opening, the unique extraction, the file imports, clearing
//   the database, the images, the shared tables, some name and set-list slots): each as its header
//   states; a failure that is not a CQ7Exception gives Q7_ERROR_UNKNOWN there.
// - SummaryCaught (the summary slots of the task object, the summary handles, the summary output
//   and the detail display; summary/SummaryCatch.h): as RunOp, under the slot's own log name and
//   text where it gives them, or with no entry where it gives none.
// - the summaries' steps and roads (the non-cube summary's roads, TNonCubeSum::RunRoad, and the
//   steps they run, summary/noncube/): CurrentNegativeFailureCode (foundation/FailureCode.h), no
//   entry; the road undoes its half-made output and returns the code up to the slot.
// - Guarded (each catalog-import entry; import/ImportEntry.cpp): a CQ7Exception gives its code and
//   no entry, since the parser writes its failures to the catalog message log. Anything else gives
//   Q7_ERROR_UNKNOWN, no entry.
// - the catalog parser's steps (CCatalogParser, CCMultiThreadImport, CMppTextParser; import/):
//   each returns a CQ7Exception's code, Q7_ERROR_UNKNOWN for anything else (CMppTextParser's
//   allocation of its chunks: Q7_ERROR_OUT_OF_MEMORY), no entry; the catalog message log has the
//   story.
// - CodedResult and CurrentFailureCode (foundation/FailureCode.h): the steps below the operation
//   layer that answer with a code (calculated columns, imported fields, sorts on several columns,
//   categories), no entry.
// - the worker frames (each task body run on the pool: CWorkThread::run_current_task,
//   foundation/CWorkThread.cpp, and TaskFrame, kernels/KernelPool.h): a throw on a worker becomes
//   that worker's result, a negative CQ7Exception code as it is and anything else
//   Q7_ERROR_WORKER_DIED or Q7_ERROR_UNKNOWN; the thread driving the pool throws the first
//   negative result on as a CQ7Exception, for the levels above to catch.
//
// So a catalog import meets four levels (frame, RunOp, Guarded, the parser's step), as does a
// non-cube summary (frame, RunOp, road, step), each with the worker frames below when it runs on
// the pool.
//
// Why so many: the frame is the guarantee that nothing unwinds into C, whatever the operation
// does, and it owns the lock. RunOp records under the operation's own ring name, which is not the
// exported function's where several exported functions share one operation, and lets one
// operation (or task slot) call another and get a code back, with the failure recorded once.
// SummaryCaught does the same for summary slots whose log names and texts are their own. The
// summaries' roads and steps, Guarded and the parser's steps turn throws into the codes their
// callers test, undoing half-made work on the way; Guarded stays in import/, which cannot include
// RunOp from the layer above. A worker has no caller to throw to. An exception is thus recorded at
// most once, by the innermost level that records: the levels above it see a code, not a throw.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "foundation/CQ7Exception.h"
#include "foundation/CWorkThread.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "foundation/q7_mutex.h"
#include "foundation/zpk_memory.h"

// Holds q7_mutex for its lifetime, released on every path. Letting go of it also gives back the
// large and scratch blocks kept past their five seconds (and then the C library's free heap
// pages), so that a host that makes any call sees them go; it runs after the unlock, so that other
// threads' calls do not wait on the unmapping.
//
// A thread that would only wait on itself takes nothing, and its frame answers the failure at once
// (Refused): one that holds the lock already (a call made from a callback of a running call, or
// after the engine's stop at the process's end, which keeps the lock for good), the thread that
// ended the engine (an exit handler's call, whether the stop ran or was skipped because a call
// would not return), and a worker thread (a host's signal handler running there while a call
// waits for that worker).
class ApiLock {
 public:
  ApiLock()
      : held_(!mutex_held_by_this_thread() && !mutex_ended_on_this_thread() &&
              !CWorkThread::OnWorkerThread()) {
    if (held_) mutex_lock();
  }
  ~ApiLock() {
    if (!held_) return;
    mutex_unlock();
    zpk_expire_kept();
  }
  ApiLock(const ApiLock&) = delete;
  ApiLock& operator=(const ApiLock&) = delete;
  bool Refused() const { return !held_; }

 private:
  bool held_;
};

// Value-frame results for a failed call: the integer NULL, the double NULL, and the empty text.
inline constexpr int32_t kValueFrameIntNull = INT32_MIN;
inline constexpr double kValueFrameDoubleNull = -HUGE_VAL;
extern const char kEmptyText[];  // one zero byte, read-only
// The text buffer of value-frame functions; each call that returns text in it overwrites it. Shared
// by all threads without a lock: a text returned in it is valid until the next such call.
inline constexpr int kGBufSize = 4096;

// What the interface hands in as read-only (search bounds, flags and value lists) keeps the
// mutable signatures of the operation layer and the task object below it, which only read it.
template <class T>
T* HostReadOnly(const T* p) {
  return const_cast<T*>(p);
}
extern char gBuf[kGBufSize];

namespace frame_detail {

template <class Op>
using Result = std::invoke_result_t<Op&>;

template <class R>
R Code(int code) {
  static_assert(std::is_integral_v<R>, "status frames need an integer result");
  return static_cast<R>(code);
}

// Catches of the full frame: a CQ7Exception is recorded and its code returned.
template <class Op>
Result<Op> Recorded(const char* ring_name, Op& op) noexcept {
  try {
    return op();
  } catch (const CQ7Exception& e) {
    PutErrorLog(ring_name, e.ErrorCode(), e.Message());
    return Code<Result<Op>>(e.ErrorCode());
  } catch (...) {
    return Code<Result<Op>>(RecordedFailureCode(ring_name));
  }
}

// Catches of the frames that record nothing.
template <class Op>
Result<Op> Unrecorded(Op& op) noexcept {
  try {
    return op();
  } catch (...) {
    return Code<Result<Op>>(CurrentFailureCode());
  }
}

template <class R, class Op>
R Silent(R on_failure, Op& op) noexcept {
  try {
    return op();
  } catch (...) {
    return on_failure;
  }
}

}  // namespace frame_detail

template <class Op>
frame_detail::Result<Op> FullFrame(const char* ring_name, Op&& op) noexcept {
  ApiLock lock;
  if (lock.Refused()) return frame_detail::Code<frame_detail::Result<Op>>(Q7_ERROR_UNKNOWN);
  return frame_detail::Recorded(ring_name, op);
}

// As FullFrame; a negative result of the operation is also recorded (ring_name, code, empty
// message) and returned.
template <class Op>
frame_detail::Result<Op> CheckedFrame(const char* ring_name, Op&& op) noexcept {
  ApiLock lock;
  if (lock.Refused()) return frame_detail::Code<frame_detail::Result<Op>>(Q7_ERROR_UNKNOWN);
  auto checked = [&op]() -> frame_detail::Result<Op> {
    auto result = op();
    if (result < 0) throw CQ7Exception(static_cast<int>(result));
    return result;
  };
  return frame_detail::Recorded(ring_name, checked);
}

template <class Op>
frame_detail::Result<Op> LightFrame(Op&& op) noexcept {
  ApiLock lock;
  if (lock.Refused()) return frame_detail::Code<frame_detail::Result<Op>>(Q7_ERROR_UNKNOWN);
  return frame_detail::Unrecorded(op);
}

// The frame of the Q7 mirrors: the light frame under the mirrors' own name.
template <class Op>
frame_detail::Result<Op> PlainFrame(Op&& op) noexcept {
  return LightFrame(std::forward<Op>(op));
}

// The operation runs without the lock (it takes it itself); a failure is recorded under the lock
// taken afterwards, as the ring is only ever touched under it.
template <class Op>
frame_detail::Result<Op> UnlockedFrame(const char* ring_name, Op&& op) noexcept {
  try {
    return op();
  } catch (const CQ7Exception& e) {
    ApiLock lock;
    if (!lock.Refused()) PutErrorLog(ring_name, e.ErrorCode(), e.Message());
    return frame_detail::Code<frame_detail::Result<Op>>(e.ErrorCode());
  } catch (...) {
    ApiLock lock;
    if (lock.Refused()) return frame_detail::Code<frame_detail::Result<Op>>(CurrentFailureCode());
    return frame_detail::Code<frame_detail::Result<Op>>(RecordedFailureCode(ring_name));
  }
}

// Value frames return the operation's value, or on_failure when anything is thrown.
template <class R, class Op>
R LockedValueFrame(R on_failure, Op&& op) noexcept {
  ApiLock lock;
  if (lock.Refused()) return on_failure;
  return frame_detail::Silent(on_failure, op);
}

template <class R, class Op>
R DelegatingValueFrame(R on_failure, Op&& op) noexcept {
  return frame_detail::Silent(on_failure, op);
}

template <class R, class Op>
R PureValueFrame(R on_failure, Op&& op) noexcept {
  return frame_detail::Silent(on_failure, op);
}

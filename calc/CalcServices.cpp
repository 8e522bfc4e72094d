// The registered overwrite through which the calculators write their results into a filter.
#include "calc/CalcServices.h"

#include <atomic>

namespace {
std::atomic<CalcOverwriteFn> g_overwrite{nullptr};
}  // namespace

void SetCalcOverwrite(CalcOverwriteFn fn) { g_overwrite.store(fn, std::memory_order_release); }

CalcOverwriteFn GetCalcOverwrite() { return g_overwrite.load(std::memory_order_acquire); }

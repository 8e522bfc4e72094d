#include "calc/CalcTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"

void RegisterCalcTasks() {
  static std::once_flag once;
  std::call_once(once, [] {});
}

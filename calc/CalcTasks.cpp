// Start-up registration of the calculators' worker-pool tasks.
#include "calc/CalcTasks.h"

#include <mutex>

#include "calc/TCalculator.h"
#include "calc/TIntegratedCalc.h"
#include "foundation/mpp_func_map.h"

void RegisterCalcTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskCalc, mpp_calc);
    RegisterMppTask(kMppTaskIntegratedCalc, mpp_integrated_calc);
  });
}

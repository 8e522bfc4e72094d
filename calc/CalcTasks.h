// Start-up registration of the calc folder's worker-pool tasks: the parallel runs of the two
// calculators (kMppTaskIntegratedCalc "Q7_MPP_INTEGRATED_CALC", kMppTaskCalc "Q7_MPP_CALC"). The
// library start and the test programs that link calc/ call it once before any calculation runs;
// further calls do nothing.
#pragma once

void RegisterCalcTasks();

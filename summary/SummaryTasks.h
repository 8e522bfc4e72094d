// Start-up registration of the summary folder's worker-pool tasks (the cell-address sorts). The
// library start and the test programs that link summary/ call it once before any summary runs;
// further calls do nothing.
#pragma once

void RegisterSummaryTasks();

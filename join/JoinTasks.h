// Start-up registration of the join folder's worker-pool tasks (the join record kernels and the
// parallel key merge). The library start and the test programs that link join/ call it once
// before any join is built; further calls do nothing.
#pragma once

void RegisterJoinTasks();

// Start-up registration of the import folder's worker-pool tasks: the two steps of the parallel
// catalog import (kMppTaskImportParse "Q7_MPP_IMPORT_PARSE", kMppTaskImportMerge
// "Q7_MPP_IMPORT_MERGE") and the parts of the CSV export (kMppTaskExport "Q7_MPP_EXPORT"). The
// library start and the test programs that link import/ call it once before any import runs;
// further calls do nothing.
#pragma once

void RegisterImportTasks();

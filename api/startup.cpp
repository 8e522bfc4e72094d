// The library start at load: every folder's worker tasks are registered, the engine gets the start
// and stop steps of the layers above it, and is started before the host can make its first call.
#include "api/startup.h"

#include "api/ops/OpCommon.h"
#include "api/ops/ops_jba.h"
#include "api/ops/ops_shmtables.h"
#include "api/task/CDBTask.h"
#include "calc/CalcServices.h"
#include "calc/CalcTasks.h"
#include "database/DatabaseTasks.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "import/ImportTask.h"
#include "import/ImportTasks.h"
#include "join/JoinTasks.h"
#include "kernels/KernelTasks.h"
#include "sharing/SMCS.h"
#include "summary/DetailDisplay.h"
#include "summary/SummaryTasks.h"
#include "summary/cube/SummaryHandles.h"
#include "values/ValueTasks.h"

namespace {

// The steps that exist so far; the table collection, the summaries and the shared-memory registry
// fill their members as they are built. Null members mean nothing to do.
EngineHooks ApiEngineHooks() {
  EngineHooks hooks{};
  hooks.createCollection = [] { return new TTableCollection(); };
  // Open block readers point into the tables: they go before the tables do.
  hooks.deleteCollection = [](TTableCollection* collection) {
    PurgeJBAs();
    delete collection;
  };
  hooks.initializeSummaries = initializeSummaries;
  hooks.PurgeSummaries = PurgeSummaries;
  hooks.initRQ7ShmFunction = initRQ7ShmFunction;
  hooks.termRQ7ShmFunction = termRQ7ShmFunction;
  return hooks;
}

// Built at load and destroyed at unload, when LibExit runs as the library's termination function;
// the engine's own teardown stops the workers and frees the database.
struct LibraryStart {
  LibraryStart() { StartLibrary(); }
  ~LibraryStart() { LibExit(); }
  LibraryStart(const LibraryStart&) = delete;
  LibraryStart& operator=(const LibraryStart&) = delete;
};

const LibraryStart g_library_start;

}  // namespace

void StartLibrary() {
  static bool started = false;
  if (started) return;
  started = true;
  // Tasks before anything can run one: the table rows of each folder, lowest first.
  RegisterValueTasks();
  RegisterKernelTasks();
  RegisterDatabaseTasks();
  RegisterImportTasks();
  RegisterCalcTasks();
  RegisterJoinTasks();
  initializeJBAs();
  RegisterSummaryTasks();
  // The import code reaches the task object's table and filter services through this.
  SetImportTask(DBTASK());
  // The calculators write their results through the task object's overwrite, with its checks and
  // entries; its row count means success to them.
  SetCalcOverwrite([](int table_id, int set_id, int filter_id, int from, int count, void* data) {
    const int result = DBTASK()->OverwriteRealEx(table_id, set_id, filter_id, from, count, data);
    return result < 0 ? result : 0;
  });
  // A summary of a small set sums a copy of its rows, made by the task object's extraction.
  SetSummaryExtract([](char* name, int table_id, int set_id, int* filter_ids) {
    return DBTASK()->ExtractRealTable(name, table_id, set_id, filter_ids);
  });
  // Deleting the copy changes the database as making it did: a save while the summary was open
  // wrote the copy.
  SetSummaryDrop([](int table_id) {
    TTableCollection* db = CSmpEngine::Instance()->Database();
    return ChangedOnSuccess(Changes::kTables, db != nullptr ? db->DelTable(table_id) : 0);
  });
  // The detail display counts and orders through the task object, with its checks and entries.
  SetDetailServices(
      DetailServices{[](int table_id, int filter_id, int set_id, int* counts) {
                       return DBTASK()->GetValCount(table_id, filter_id, set_id, counts);
                     },
                     [](int n, int* counts, int* non_zero_count, int* non_zero_index, int* order) {
                       return DBTASK()->ServiceSortByN(n, counts, non_zero_count, non_zero_index, order);
                     }});
  // Tables attached from the shared-table registry detach through these when they are destroyed.
  RegisterSharedTableRegistryHooks();
  // Hooks next: set before the engine starts, they run as part of its start; set after it (the
  // engine's own initialiser may have run first), SetEngineHooks runs the start steps at once.
  SetEngineHooks(ApiEngineHooks());
  CSmpEngine::Instance();
}

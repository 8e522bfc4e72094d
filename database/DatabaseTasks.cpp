#include "database/DatabaseTasks.h"

#include <mutex>

#include "database/TSetArray.h"
#include "foundation/mpp_func_map.h"

void RegisterDatabaseTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskSearchHelper, mpp_search_helper);
    RegisterMppTask(kMppTaskSearchNValues, mpp_search_nvalues);
  });
}

// Start-up registration of values/'s worker tasks: parallel merge, compile and renumbering.
#include "values/ValueTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"
#include "values/MppCompile.h"
#include "values/TypeConv.h"

void RegisterValueTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskMergeList, mpp_merge_list);
    RegisterMppTask(kMppTaskCompile, mpp_compile);
    RegisterMppTask(kMppTaskTypeConv, mpp_type_conversion);
    RegisterMppTask(kMppTaskRenumber, mpp_renumber);
  });
}

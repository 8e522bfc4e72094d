// The exported non-cube summary. The task slot records its own failures, so it runs in the light
// frame.
#include "api/exports/keep_sharp_names.h"
#include "api/frame/frame.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7NonCubeSum(int table, int set, int n_dims, const int* dims, int n_measures,
                            const int* measures, const int* masks, const int* decimals) {
  return LightFrame([&] {
    KeepSharpNames keep;
    return DBTASK()->NonCubeSum(table, set, n_dims, dims, n_measures, measures, masks, decimals);
  });
}

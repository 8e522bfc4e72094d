// The exported non-cube summary. The task slot records its own failures, so it runs in the light
// frame.
#include "api/frame/frame.h"
#include "api/task/CDBTask.h"
#include "database/TTableCollection.h"
#include "q7api.h"

namespace {

// The output keeps a "_#" of the summed table's name (an output of "sales_#2" stays recognisable);
// the flag is process-wide, so it is set only while the API lock is held.
class KeepSharpNames {
 public:
  KeepSharpNames() { TTableCollection::m_nDisableTrimUntilSharp = 1; }
  ~KeepSharpNames() { TTableCollection::m_nDisableTrimUntilSharp = 0; }
  KeepSharpNames(const KeepSharpNames&) = delete;
  KeepSharpNames& operator=(const KeepSharpNames&) = delete;
};

}  // namespace

Q7_EXPORT int RQ7NonCubeSum(int table, int set, int n_dims, const int* dims, int n_measures,
                            const int* measures, const int* masks, const int* decimals) {
  return LightFrame([&] {
    KeepSharpNames keep;
    return DBTASK()->NonCubeSum(table, set, n_dims, dims, n_measures, measures, masks, decimals);
  });
}

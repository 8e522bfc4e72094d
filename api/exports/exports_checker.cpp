// The exported checked catalog import. Its reports go to its correction logs, not to the error
// ring, so it runs in the light frame.
#include "api/frame/frame.h"
#include "api/ops/OpCommon.h"
#include "import/CatalogChecker.h"
#include "q7api.h"

Q7_EXPORT int RQ7AddCatalogFileChecker(const char* dir, const char* catalog, const char* data_dir,
                                       const char* data_file, const char* table_name) {
  return LightFrame([&] {
    return ChangedOnSuccess(Changes::kTables,
                            AddCatalogFileChecker(dir, catalog, data_dir, data_file, table_name));
  });
}

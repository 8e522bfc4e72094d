// Start-up registration of the import's worker-pool tasks: the two steps of the parallel import.
#include "import/ImportTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"
#include "import/CCMultiThreadExport.h"
#include "import/CCMultiThreadImport.h"
#include "import/CMppTextParser.h"

void RegisterImportTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskImportParse, CCMultiThreadImport::mpp_import_step1);
    RegisterMppTask(kMppTaskImportMerge, CCMultiThreadImport::mpp_import_step2);
    RegisterMppTask(kMppTaskExport, CCMultiThreadExport::mpp_export_createCsv);
    RegisterMppTask(kMppTaskTxtParse, CMppTextParser::mpp_text_parser);
  });
}

// The slot through which the import code reaches the task object's table and filter services.
#include "import/ImportTask.h"

#include <atomic>

namespace {
std::atomic<ImportTaskServices*> g_services{nullptr};
}  // namespace

ImportTaskServices* ImportTask() { return g_services.load(std::memory_order_acquire); }

void SetImportTask(ImportTaskServices* services) { g_services.store(services, std::memory_order_release); }

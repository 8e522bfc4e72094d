// The library start at load: the engine gets the start and stop steps of the layers above it, and
// is started before the host can make its first call.
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"

namespace {

// The steps that exist so far; the table collection, the summaries and the shared-memory registry
// fill their members as they are built. Null members mean nothing to do.
EngineHooks ApiEngineHooks() {
  EngineHooks hooks{};
  hooks.createCollection = [] { return new TTableCollection(); };
  hooks.deleteCollection = [](TTableCollection* collection) { delete collection; };
  return hooks;
}

struct LibraryStart {
  LibraryStart() {
    // Hooks first: set before the engine starts, they run as part of its start; set after it (the
    // engine's own initialiser may have run first), SetEngineHooks runs the start steps at once.
    SetEngineHooks(ApiEngineHooks());
    CSmpEngine::Instance();
  }
};

const LibraryStart g_library_start;

}  // namespace

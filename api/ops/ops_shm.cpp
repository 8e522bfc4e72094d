// The shared-memory database image as the host drives it: creating, loading and releasing it.
#include "api/ops/ops_shm.h"

#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_jba.h"
#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "foundation/zpk_shm.h"

namespace {

constexpr char kImageInUse[] = "Tables of the shared memory image are loaded";

// The catch of these operations: a failure that is not the engine's is a mapping failure.
template <class Body>
int ShmOp(Body&& body) noexcept {
  try {
    return body();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
}

// Detaching under loaded tables would leave them pointing at unmapped memory. (Registry tables are
// read in place too, but from mappings of their own.)
int RefuseWhileInUse(const char* ring) {
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr || !db->UsesSharedImage()) return 0;
  PutErrorLog(ring, Q7_ERROR_SHM_BUSY, kImageInUse);
  return Q7_ERROR_SHM_BUSY;
}

int LoadMem2DB() {
  int rc = RefuseWhileInUse("LoadMem2DB");
  if (rc != 0) return rc;
  char* image = nullptr;
  rc = zpk_shm::Open(&image);
  if (rc != 0) {
    PutErrorLog("LoadMem2DB", rc, "Failed to open Shared memory ");
    return rc;
  }
  // Every reader is bounded by the image as attached, whatever lengths it finds inside.
  const auto length = static_cast<uint64_t>(zpk_shm::ImageSize());
  CSmpEngine* engine = CSmpEngine::Instance();
  TTableCollection* db = engine->Database();
  if (db != nullptr && db->TableCount() > 0) return db->AppendSharedMemoryDB(image, length);

  engine->SetDatabase(nullptr);
  PurgeJBAs();  // block readers point into the tables
  delete db;
  // A host may idle long after replacing its database: the old tables' blocks must not stay resident.
  zpk_release_memory();
  try {
    auto* loaded = new TTableCollection(image, length);
    engine->SetDatabase(loaded);
    loaded->LoadComplete(0);
  } catch (...) {
    // The engine always holds a database: an empty one when the image could not be read.
    if (engine->Database() == nullptr) engine->SetDatabase(new TTableCollection());
    throw;
  }
  return 0;
}

}  // namespace

int innerQ7CreateSharedMemoryDB(const char* directory, const char* file) {
  return ShmOp([&] { return zpk_shm::Create(directory, file); });
}

int innerQ7LoadDBFromSharedMemory() {
  return ChangedOnSuccess(Changes::kTables, ShmOp([] { return LoadMem2DB(); }));
}

int innerQ7UnMapSharedMemory() {
  return ShmOp([] {
    const int rc = RefuseWhileInUse("Q7UnMapSharedMemory");
    return rc != 0 ? rc : zpk_shm::Unopen();
  });
}

int innerQ7UnLoadSharedMemoryDB() {
  return ShmOp([] {
    int last_failure = 0;
    if (TTableCollection* db = CurrentDatabase()) {
      std::vector<int> ids(static_cast<size_t>(db->TableCount()));
      const int n = db->GetTableIDList(ids.data());
      for (int i = n - 1; i >= 0; --i) {
        TBaseTable* table = db->GetTable(ids[static_cast<size_t>(i)]);
        if (table == nullptr || !IsSharedTable(table)) continue;
        const int rc = db->DelTable(ids[static_cast<size_t>(i)]);
        if (rc < 0) {
          last_failure = rc;
        } else {
          MarkTablesChanged();
        }
      }
    }
    if (last_failure < 0) return last_failure;
    return zpk_shm::Unopen();
  });
}

int innerQ7ReleaseSharedMemoryArea() {
  return ShmOp([] {
    const int rc = RefuseWhileInUse("Q7ReleaseSharedMemoryArea");
    return rc != 0 ? rc : zpk_shm::Release();
  });
}

int64_t innerQ7GetSharedMemorySize() { return zpk_shm::GetSize(); }

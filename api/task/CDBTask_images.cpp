// Memory images through the task object: the host's buffers, the engine-held table image and the
// replacement of the database by an image.
#include <cstdint>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_jba.h"
#include "api/task/CDBTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/FailureCode.h"
#include "foundation/zpk_memory.h"

namespace {

// The single-table image's trailer with the padding before its two units, at most.
constexpr int64_t kTrailerRoom = 32;
// Images handed out in the engine-held block are at most this long: their length went to hosts as
// a 32-bit count.
constexpr int64_t kMaxHeldImage = INT32_MAX;
// The host's image loads give no length.
constexpr uint64_t kUnknownLength = UINT64_MAX;

// The catch of the silent operations: a code without an entry of their own.
template <class Body>
auto Silently(Body&& body) noexcept -> decltype(body()) {
  using R = decltype(body());
  try {
    return body();
  } catch (const CQ7Exception& e) {
    return static_cast<R>(e.ErrorCode());
  } catch (...) {
    return static_cast<R>(CurrentFailureCode());
  }
}

TTableCollection* Database() {
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

TRealTable* RealTable(int table_id) {
  TBaseTable* table = Database()->GetTable(table_id);
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  if (table->GetType() != TBaseTable::kTypeReal) throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE);
  return static_cast<TRealTable*>(table);
}

}  // namespace

int CDBTask::SaveRealTable2Mem(int table_id, unsigned long size, void* buffer, void** end) {
  return RunOp("SaveRealTable2Mem", [&] {
    check_addr_alignment(buffer);
    return Database()->SaveRealTable2Mem(table_id, size, buffer, end);
  });
}

int CDBTask::SaveDB2Mem(unsigned long size, void* buffer, void** end) {
  return RunOp("SaveDB2Mem", [&] {
    check_addr_alignment(buffer);
    return Database()->SaveDB2Mem(size, buffer, end);
  });
}

int CDBTask::LoadRealTableFromMem(void* buffer, void** end) {
  return ChangedOnSuccess(Changes::kTables, RunOp("LoadRealTableFromMem", [&] {
                            check_addr_alignment(buffer);
                            return Database()->LoadRealTableFromMem(buffer, kUnknownLength, end);
                          }));
}

int CDBTask::LoadDBFromMem(void* buffer, void** end) {
  constexpr char kLog[] = "LoadDBFromMem";
  // A refused address costs nothing: the database in place stays.
  int result = RunOp(kLog, [&] {
    check_addr_alignment(buffer);
    return 0;
  });
  if (result < 0) return result;
  CSmpEngine* engine = CSmpEngine::Instance();
  result = RunOp(kLog, [&] {
    TTableCollection* old = engine->Database();
    engine->SetDatabase(nullptr);
    PurgeJBAs();  // block readers point into the tables
    delete old;
    auto* loaded = new TTableCollection(buffer, kUnknownLength, end);
    engine->SetDatabase(loaded);
    loaded->LoadComplete(0);
    return 0;
  });
  // The engine always holds a database: an empty one when the image could not be read.
  try {
    if (engine->Database() == nullptr) engine->SetDatabase(new TTableCollection());
  } catch (...) {
    if (result == 0) result = Q7_ERROR_OUT_OF_MEMORY;
  }
  // The old tables' blocks served the load; what it left must not stay resident while the host idles.
  zpk_release_memory();
  return ChangedOnSuccess(Changes::kTables, result);
}

int64_t CDBTask::GetRealTableMemSize(int table_id) {
  return Silently([&]() -> int64_t {
    TBaseTable* table = Database()->GetTable(table_id);
    if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    return table->GetMemSize() + 8 * (2 * int64_t{table->GetNFilter()} + table->FnSet) + 4024;
  });
}

int64_t CDBTask::GetRealTableFileSize(int table_id) {
  return Silently([&]() -> int64_t { return RealTable(table_id)->GetFileSize(); });
}

int CDBTask::GetMemRealTable(int table_id, void** image, unsigned long* length) {
  if (image == nullptr || length == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  *image = nullptr;
  *length = 0;
  const int result = Silently([&] {
    TTableCollection* db = Database();
    TRealTable* table = RealTable(table_id);
    // Sized by the image itself: a table whose columns borrow value lists takes more room in an
    // image than in memory.
    const int64_t size = table->GetFileSize() + kTrailerRoom;
    if (size > kMaxHeldImage) throw CQ7Exception(Q7_ERROR_DATA_OVERFLOW);
    zpk_free(db->FTblMemBuf);
    db->FTblMemBuf = nullptr;
    db->FTblMemBuf = zpk_malloc(static_cast<size_t>(size));
    *image = db->FTblMemBuf;
    void* end = nullptr;
    db->SaveRealTable2Mem(table_id, static_cast<unsigned long>(size), db->FTblMemBuf, &end);
    *length = static_cast<unsigned long>(static_cast<char*>(end) - static_cast<char*>(db->FTblMemBuf));
    return 0;
  });
  if (result < 0) *image = nullptr;
  return result;
}

int CDBTask::LoadMemRealTable(void* image, unsigned long length) {
  return ChangedOnSuccess(Changes::kTables,
                          Silently([&] { return Database()->LoadRealTableFromMem(image, length, nullptr); }));
}

int CDBTask::FreeMemRealTable() {
  return Silently([&] {
    TTableCollection* db = Database();
    zpk_free(db->FTblMemBuf);
    db->FTblMemBuf = nullptr;
    return 0;
  });
}

// The table base record of the table files, database files and their diagnostic readers.
#include <cstring>
#include <memory>

#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "values/ZpkBlock.h"

using table_files::CheckBytesLeft;
using table_files::CheckRange;
using table_files::ReadInt;
using table_files::WriteInt;

bool TBaseTable::IsReadableDataVersion(int v) {
  return v == 15 || v == 16 || (v >= 20 && v <= 25) || v == 102;
}

TTableCollection* TBaseTable::FileCollection() { return CSmpEngine::Instance()->Database(); }

void TBaseTable::SaveTable(zpk_fstream*, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }

void TBaseTable::SaveBaseInfo(zpk_fstream& fs, int set1_only) {
  TTableCollection* owner = FileCollection();
  const bool saved = owner != nullptr && owner->FUseSavedHeader != 0;
  zpk_write(fs, saved ? owner->FSavedVersions : Qz7Versions, 4, 4);
  // Position + 1 as the ID lets a database of real tables load with IDs 1..n in the old order.
  WriteInt(fs, owner != nullptr && owner->FAllReal != 0 ? FDBIndex + 1 : FTableID);
  char name[kNameSize] = {};
  qz7_strlcpy(name, FTableName, sizeof name);
  zpk_write(fs, name, 1, sizeof name);
  if (set1_only) {
    WriteInt(fs, 1);
    WriteInt(fs, FnSet > 0 ? FSetIDs[0] : 1);
    WriteInt(fs, 1);
    WriteInt(fs, 1);
    return;
  }
  WriteInt(fs, FnSet);
  zpk_write(fs, FSetIDs, 4, static_cast<size_t>(FnSet));
  WriteInt(fs, FMaxSetID);
  WriteInt(fs, FCurrentSetID);
}

void TBaseTable::LoadBaseInfo(zpk_fstream& fs) {
  int32_t versions[4];
  zpk_read(fs, versions, 4, 4);
  if (!IsReadableDataVersion(versions[1])) {
    LogMsg("Unspported DataVersion DataVer[1] = ------> %d", versions[1]);
    throw CQ7Exception(Q7_ERROR_UNSUPPORTED_VERSION);
  }
  const int32_t table_id = ReadInt(fs);
  char name[kNameSize];
  zpk_read(fs, name, 1, sizeof name);
  // The name comes from the file: its terminator is not trusted, and table files are named after
  // it, so it is made file-safe like every name a table is given (a no-op for stored names). An
  // empty name is kept as stored: older writers left it so, and refusing it would make the whole
  // database unreadable.
  name[kNameSize - 1] = '\0';
  if (name[0] != '\0' && !ToFileName(name)) table_files::Damaged("table name", table_id);

  const bool old_block = versions[1] < kFirstListedSetIDsVersion;
  const int32_t n = ReadInt(fs);
  CheckRange(n, 0, old_block ? kOldSetIDBlock : 10000, "set count");
  const int stored = old_block ? kOldSetIDBlock : n;
  CheckBytesLeft(fs, int64_t{4} * stored, "set IDs");
  const int capacity = n / kSetSlotStep * kSetSlotStep + kSetSlotStep;
  ZpkBlock<int32_t> ids(static_cast<size_t>(capacity > stored ? capacity : stored));
  memset(ids.get(), 0, sizeof(int32_t) * static_cast<size_t>(capacity > stored ? capacity : stored));
  zpk_read(fs, ids.get(), 4, static_cast<size_t>(stored));
  // The block of older files holds stale IDs after the first n.
  if (stored > n) memset(ids.get() + n, 0, sizeof(int32_t) * static_cast<size_t>(stored - n));
  const int32_t max_set_id = ReadInt(fs);
  const int32_t current_set_id = ReadInt(fs);

  // Sets are found by binary search, and new IDs are issued above the last one.
  bool current_found = n == 0;
  for (int i = 0; i < n; ++i) {
    CheckRange(ids.get()[i], i == 0 ? 1 : int64_t{ids.get()[i - 1]} + 1, INT32_MAX, "set ID");
    if (ids.get()[i] == current_set_id) current_found = true;
  }
  // The next set takes the last set ID + 1, which must lie above every stored ID.
  CheckRange(max_set_id, n > 0 ? ids.get()[n - 1] : 0, INT32_MAX, "last set ID");
  if (!current_found) table_files::Damaged("current set ID", current_set_id);

  zpk_free(FSetIDs);
  FSetIDs = ids.Release();
  FDataVer = versions[1];
  FTableID = table_id;
  memcpy(FTableName, name, sizeof name);
  FnSet = n;
  FSetCapacity = capacity;
  FMaxSetID = max_set_id;
  FCurrentSetID = current_set_id;
}

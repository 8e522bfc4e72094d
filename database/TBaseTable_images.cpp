// The table base record of memory images, the memory stream and shared-memory images.
#include <cstring>

#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "foundation/TextHelpers.h"
#include "values/ArrayRecord.h"
#include "values/ZpkBlock.h"

using table_files::CheckRange;

namespace {

// Which data versions a source accepts, and how their set IDs are stored.
enum class VersionRule {
  kImage,  // exactly the running version, refused silently; n set IDs
  kFile,   // what a table file may carry, refused with the catalog log entry; the old 100-ID block
};

int32_t ReadInt(ArrayRecordReader& r) {
  int32_t v = 0;
  r.Read(&v, 4, 1);
  return v;
}

// One pass of writes of the base record; sizing passes add up what the target reserves.
int64_t WriteBase(TBaseTable& t, ArrayRecordWriter& w, int set1_only) {
  TTableCollection* owner = t.FileCollection();
  int64_t total = w.Write(Qz7Versions, 4, 4);
  // Position + 1 as the ID lets a database of real tables load with IDs 1..n in the old order.
  const int32_t id = owner != nullptr && owner->FAllReal != 0 ? t.FDBIndex + 1 : t.FTableID;
  total += w.Write(&id, 4, 1);
  char name[TBaseTable::kNameSize] = {};
  qz7_strlcpy(name, t.FTableName, sizeof name);
  total += w.Write(name, 1, sizeof name);
  if (set1_only) {
    const int32_t one[4] = {1, t.FnSet > 0 ? t.FSetIDs[0] : 1, 1, 1};
    total += w.Write(&one[0], 4, 1);
    total += w.Write(&one[1], 4, 1);
    total += w.Write(&one[2], 4, 1);
    total += w.Write(&one[3], 4, 1);
    return total;
  }
  total += w.Write(&t.FnSet, 4, 1);
  total += w.Write(t.FSetIDs, 4, static_cast<size_t>(t.FnSet));
  total += w.Write(&t.FMaxSetID, 4, 1);
  total += w.Write(&t.FCurrentSetID, 4, 1);
  return total;
}

// Reads and checks a base record as LoadBaseInfo(fs) does; the table changes only at the end.
void ReadBase(TBaseTable& t, ArrayRecordReader& r, VersionRule rule) {
  int32_t versions[4];
  r.Read(versions, 4, 4);
  if (rule == VersionRule::kImage) {
    if (versions[1] != Qz7Versions[1]) throw CQ7Exception(Q7_ERROR_UNSUPPORTED_VERSION);
  } else if (!TBaseTable::IsReadableDataVersion(versions[1])) {
    LogMsg("Unspported DataVersion DataVer[1] = ------> %d", versions[1]);
    throw CQ7Exception(Q7_ERROR_UNSUPPORTED_VERSION);
  }
  const int32_t table_id = ReadInt(r);
  char name[TBaseTable::kNameSize];
  r.Read(name, 1, sizeof name);
  // The terminator is not trusted, and table files are named after the name.
  name[TBaseTable::kNameSize - 1] = '\0';
  if (name[0] != '\0' && !ToFileName(name)) table_files::Damaged("table name", table_id);

  const bool old_block = rule == VersionRule::kFile && versions[1] < TBaseTable::kFirstListedSetIDsVersion;
  const int32_t n = ReadInt(r);
  CheckRange(n, 0, old_block ? TBaseTable::kOldSetIDBlock : 10000, "set count");
  const int stored = old_block ? TBaseTable::kOldSetIDBlock : n;
  const int64_t left = r.BytesLeft();
  if (left >= 0 && int64_t{4} * stored > left) table_files::Damaged("set IDs beyond the end", stored);
  const int capacity = n / TBaseTable::kSetSlotStep * TBaseTable::kSetSlotStep + TBaseTable::kSetSlotStep;
  const size_t slots = static_cast<size_t>(capacity > stored ? capacity : stored);
  ZpkBlock<int32_t> ids(slots);
  memset(ids.get(), 0, sizeof(int32_t) * slots);
  r.Read(ids.get(), 4, static_cast<size_t>(stored));
  // The block of older records holds stale IDs after the first n.
  if (stored > n) memset(ids.get() + n, 0, sizeof(int32_t) * static_cast<size_t>(stored - n));
  const int32_t max_set_id = ReadInt(r);
  const int32_t current_set_id = ReadInt(r);

  // Sets are found by binary search, and new IDs are issued above the last one.
  bool current_found = n == 0;
  for (int i = 0; i < n; ++i) {
    CheckRange(ids.get()[i], i == 0 ? 1 : int64_t{ids.get()[i - 1]} + 1, INT32_MAX, "set ID");
    if (ids.get()[i] == current_set_id) current_found = true;
  }
  CheckRange(max_set_id, n > 0 ? ids.get()[n - 1] : 0, INT32_MAX, "last set ID");
  if (!current_found) table_files::Damaged("current set ID", current_set_id);

  zpk_free(t.FSetIDs);
  t.FSetIDs = ids.Release();
  t.FDataVer = versions[1];
  t.FTableID = table_id;
  memcpy(t.FTableName, name, sizeof name);
  t.FnSet = n;
  t.FSetCapacity = capacity;
  t.FMaxSetID = max_set_id;
  t.FCurrentSetID = current_set_id;
}

}  // namespace

void TBaseTable::SaveBaseInfo2Mem(CMemFile* mf) {
  MemFileRecordWriter w(mf);
  WriteBase(*this, w, 0);
}

int64_t TBaseTable::SizeBaseInfo2Mem(CMemFile* mf) {
  SizeRecordWriter w(mf);
  return WriteBase(*this, w, 0);
}

void TBaseTable::SaveBaseInfoMem(int set1_only) {
  if (MemStream == nullptr) {
    PutErrorLog("SaveBaseInfoMem", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem");
    throw CQ7Exception(Q7_ERROR_INVALID_MEMSTREAM);
  }
  MemStreamRecordWriter w;
  WriteBase(*this, w, set1_only);
}

void TBaseTable::LoadBaseInfomem(CMemFile* mf) {
  MemFileRecordReader r(mf);
  ReadBase(*this, r, VersionRule::kImage);
}

void TBaseTable::LoadBaseInfoMem() {
  MemStreamRecordReader r;
  ReadBase(*this, r, VersionRule::kFile);
}

void TBaseTable::LoadBaseInfo(void** cursor, const void* end) {
  ShmRecordReader r(cursor, end);
  ReadBase(*this, r, VersionRule::kFile);
  FShmImage = 1;
}

void TBaseTable::Save2Mem(CMemFile*, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }

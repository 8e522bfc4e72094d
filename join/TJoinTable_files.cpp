// The join-table record: its writers into table files, database files, memory images and
// shared-memory images, its readers from each, and the completion of a loaded join.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "join/TJoinTable.h"
#include "values/ArrayRecord.h"
#include "values/TBaseArray.h"

using table_files::CheckRange;
using table_files::Damaged;

namespace {

// Records older than this data version hold 8 + 8 key filter IDs and blocks of 100 set sizes and
// sides; files of data version kLastNarrowColumnsVersion or older hold 256 + 256 column IDs.
constexpr int kFirstWideKeysVersion = 24;
constexpr int kOldKeys = 8;
constexpr int kOldSetBlock = 100;
constexpr int kLastNarrowColumnsVersion = 20;
constexpr int kOldColumns = 256;

char kSetRecordName[] = "SET";

int32_t ReadInt(ArrayRecordReader& r) {
  int32_t v = 0;
  r.Read(&v, 4, 1);
  return v;
}

// The largest element of n ints read as unsigned, so that a negative one counts as huge.
unsigned MaxUnsigned(const TIntArray& a) {
  const int* p = static_cast<const int*>(a.FData);
  unsigned top = 0;
  for (int i = 0; i < a.FArraySize; ++i) top = std::max(top, static_cast<unsigned>(p[i]));
  return top;
}

// ---- Targets: where the record writer puts each unit ----

struct FileTarget {
  zpk_fstream& fs;
  FileRecordWriter w{fs};
  int64_t Ints(const int32_t* p, size_t n) { return w.Write(p, 4, n); }
  int64_t Base(TJoinTable& t) {
    t.SaveBaseInfo(fs, 0);
    return 0;
  }
  int64_t Array(TBaseArray* a) {
    a->SaveArray(fs);
    return 0;
  }
  int64_t Filter(TFilter* f) {
    f->SaveFilter(fs);
    return 0;
  }
};

struct ImageTarget {
  CMemFile* mf;
  MemFileRecordWriter w{mf};
  int64_t Ints(const int32_t* p, size_t n) { return w.Write(p, 4, n); }
  int64_t Base(TJoinTable& t) {
    t.SaveBaseInfo2Mem(mf);
    return 0;
  }
  int64_t Array(TBaseArray* a) {
    a->SaveArray2Mem(mf);
    return 0;
  }
  int64_t Filter(TFilter* f) {
    f->SaveFilter2Mem(mf);
    return 0;
  }
};

// A null cursor only adds up what each unit reserves.
struct ShmTarget {
  void** cursor;
  ShmRecordWriter w{cursor};
  int64_t Ints(const int32_t* p, size_t n) { return w.Write(p, 4, n); }
  // The units of the other targets' base record; the shared-memory image is a database file's
  // bytes, so the same ID rule applies.
  int64_t Base(TJoinTable& t) {
    TTableCollection* owner = t.FileCollection();
    int64_t total = w.Write(Qz7Versions, 4, 4);
    const int32_t id = owner != nullptr && owner->FAllReal != 0 ? t.FDBIndex + 1 : t.FTableID;
    total += w.Write(&id, 4, 1);
    char name[TBaseTable::kNameSize] = {};
    qz7_strlcpy(name, t.FTableName, sizeof name);
    total += w.Write(name, 1, sizeof name);
    total += w.Write(&t.FnSet, 4, 1);
    total += w.Write(t.FSetIDs, 4, static_cast<size_t>(t.FnSet));
    total += w.Write(&t.FMaxSetID, 4, 1);
    total += w.Write(&t.FCurrentSetID, 4, 1);
    return total;
  }
  int64_t Array(TBaseArray* a) { return a->WriteToSharedMemory(cursor); }
  int64_t Filter(TFilter* f) { return f->WriteToSharedMemory(cursor); }
};

// A record can only be read back whole: every set paired, both key columns present.
void CheckWritable(TJoinTable& j) {
  if (j.FEntries == nullptr || j.FnSet < 1 || j.FMasterKeyFilter == nullptr || j.FSlaveKeyFilter == nullptr)
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Join table %d is not built", j.FTableID);
  for (int i = 0; i < j.FnSet; ++i) {
    const JoinSetEntry& e = j.FEntries[i];
    for (int s = 0; s < 2; ++s) {
      if (e.rows[s] == nullptr || e.projection[s] == nullptr || e.second[s] == nullptr)
        throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Join set %d is not paired", j.FSetIDs[i]);
    }
  }
}

template <class Target>
int64_t WriteRecord(TJoinTable& j, Target& t) {
  CheckWritable(j);
  const int n = j.FnSet;
  int64_t total = 0;
  const int32_t kind = table_files::kKindJoin;
  total += t.Ints(&kind, 1);
  total += t.Base(j);
  total += t.Ints(&j.FOuter, 1);
  total += t.Ints(&j.FnKey, 1);
  const int32_t tables[2] = {j.FMasterTableID, j.FSlaveTableID};
  total += t.Ints(tables, 2);
  int32_t keys[2 * TJoinTable::kMaxKeys];
  memcpy(keys, j.FMasterKeys, sizeof j.FMasterKeys);
  memcpy(keys + TJoinTable::kMaxKeys, j.FSlaveKeys, sizeof j.FSlaveKeys);
  total += t.Ints(keys, 2 * TJoinTable::kMaxKeys);
  const int32_t sets[2] = {j.FMasterSetID, j.FSlaveSetID};
  total += t.Ints(sets, 2);
  std::vector<int32_t> sizes(static_cast<size_t>(n));
  std::vector<int32_t> sides(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    sizes[static_cast<size_t>(i)] = j.FEntries[i].size;
    sides[static_cast<size_t>(i)] = j.FEntries[i].side;
  }
  total += t.Ints(sizes.data(), sizes.size());
  total += t.Ints(sides.data(), sides.size());
  for (int s = 0; s < 2; ++s) {
    for (int i = 0; i < n; ++i) {
      const JoinSetEntry& e = j.FEntries[i];
      total += t.Array(e.rows[s]);
      total += t.Array(e.projection[s]);
      total += t.Array(e.second[s]);
    }
  }
  total += t.Filter(j.FMasterKeyFilter);
  total += t.Filter(j.FSlaveKeyFilter);
  const int32_t counts[2] = {j.FnMasterColumn, j.FnSlaveColumn};
  total += t.Ints(counts, 2);
  int32_t columns[2 * TJoinTable::kMaxColumns];
  memcpy(columns, j.FMasterColumns, sizeof j.FMasterColumns);
  memcpy(columns + TJoinTable::kMaxColumns, j.FSlaveColumns, sizeof j.FSlaveColumns);
  total += t.Ints(columns, 2 * TJoinTable::kMaxColumns);
  return total;
}

// ---- Sources: what the record reader builds each part from ----

struct FileSource {
  zpk_fstream& fs;
  bool verbose;
  FileRecordReader r{fs, verbose};
  static constexpr bool kNarrowColumnsReadable = true;
  void Base(TJoinTable& t) { t.LoadBaseInfo(fs); }
  TSetArray* Set() { return new TSetArray(fs, kSetRecordName, 0); }
  TFilter* Filter(int id) { return verbose ? new TFilter(fs, id, 1) : new TFilter(fs, id); }
  void MapTables(int32_t*) {}
  // The diagnostic reader writes each step it reads to the catalog message log.
  bool Logging() const { return verbose; }
  // A title, then each ID of the master's side and of the slave's side on a line of its own.
  void LogIDs(const char* title, const int32_t* master, int n_master, const int32_t* slave, int n_slave) {
    if (!verbose) return;
    LogMsg("%s", title);
    for (int i = 0; i < n_master; ++i) LogMsg("\t= %d", master[i]);
    for (int i = 0; i < n_slave; ++i) LogMsg("\t= %d", slave[i]);
  }
};

// The image and shared-memory readers have no diagnostic twin.
struct Unlogged {
  static bool Logging() { return false; }
  void LogIDs(const char*, const int32_t*, int, const int32_t*, int) {}
};

struct ImageSource : Unlogged {
  CMemFile* mf;
  MemFileRecordReader r{mf};
  static constexpr bool kNarrowColumnsReadable = false;
  void Base(TJoinTable& t) { t.LoadBaseInfomem(mf); }
  TSetArray* Set() { return new TSetArray(mf, kSetRecordName, 0); }
  TFilter* Filter(int id) { return new TFilter(mf, id); }
  void MapTables(int32_t*) {}
};

struct InPlaceSource : Unlogged {
  void** cursor;
  const void* end;
  void* id_map;
  ShmRecordReader r{cursor, end};
  static constexpr bool kNarrowColumnsReadable = false;
  void Base(TJoinTable& t) { t.LoadBaseInfo(cursor, end); }
  TSetArray* Set() { return new TSetArray(cursor, end, kSetRecordName, 0); }
  TFilter* Filter(int id) { return new TFilter(cursor, end, id, id_map); }
  void MapTables(int32_t* ids) {
    if (id_map != nullptr) MapTableIDs(ids, id_map, 2);
  }
};

// Reads one unit of 2 x `stored` IDs, the master's then the slave's, of which the first `used[side]`
// of each side must be filter IDs; the rest are cleared.
void ReadIDPairs(ArrayRecordReader& r, int stored, const int used[2], int32_t* master, int32_t* slave,
                 const char* what) {
  std::vector<int32_t> ids(2 * static_cast<size_t>(stored));
  r.Read(ids.data(), 4, ids.size());
  int32_t* out[2] = {master, slave};
  for (int s = 0; s < 2; ++s) {
    for (int k = 0; k < stored; ++k) {
      const int32_t id = ids[static_cast<size_t>(s * stored + k)];
      if (k < used[s]) CheckRange(id, 1, INT32_MAX, what);
      out[s][k] = k < used[s] ? id : 0;
    }
  }
}

// A key column: both arrays, and every value number within its value list.
void CheckKeyFilter(const TFilter* f) {
  if (f->PV == nullptr || f->VL == nullptr) Damaged("join key filter without arrays", f->FFilterID);
  CheckRange(f->PV->FArraySize, 1, INT32_MAX, "join key value-number count");
  CheckRange(f->VL->FArraySize, 1, INT32_MAX, "join key value-list count");
  const unsigned top = MaxUnsigned(*f->PV);
  if (top >= static_cast<unsigned>(f->VL->FArraySize))
    Damaged("join key value number", static_cast<int>(top));
}

// A pairing as the join builds it from the key columns, so that a search, sort or set operation,
// which pairs the rows again, finds the joined rows the set holds: each partner row lies in the
// group of its own key value number, and each driving row owns its whole group. Record 0 (no record
// on that side) appears only in an outer join: as the first driving row, standing for the partners
// without a driving row (group 0, whatever their values), and in the groups of values without
// partners, of which each driving row of that value owns one.
void CheckPairing(const JoinSetEntry& e, TFilter* const keys[2], int set_id, bool outer) {
  const int d = e.side;
  const int o = 1 - d;
  const int n_values = keys[0]->VL->FArraySize;
  const int* groups = static_cast<const int*>(e.projection[o]->FData);
  const int* partners = static_cast<const int*>(e.rows[o]->FData);
  const int* partner_vno = static_cast<const int*>(keys[o]->PV->FData);
  for (int v = 0; v < n_values; ++v) {
    if (outer && v == 0) continue;
    for (int p = groups[v]; p < groups[v + 1]; ++p) {
      if (outer && partners[p] == 0) continue;
      if (partners[p] == 0 || partner_vno[partners[p]] != v)
        Damaged("join partner outside its key group", set_id);
    }
  }
  const int n_driving = e.rows[d]->FArraySize;
  const int* starts = static_cast<const int*>(e.projection[d]->FData);
  const int* driving = static_cast<const int*>(e.rows[d]->FData);
  const int* driving_vno = static_cast<const int*>(keys[d]->PV->FData);
  for (int i = 0; i < n_driving; ++i) {
    if (driving[i] == 0 && (!outer || i > 0)) Damaged("join driving row without a record", set_id);
    const int64_t owned = int64_t{i + 1 < n_driving ? starts[i + 1] : e.size} - starts[i];
    const int v = driving_vno[driving[i]];
    const int64_t group = int64_t{groups[v + 1]} - groups[v];
    const bool without_partner = outer && owned == 1 && group > 0 && partners[groups[v]] == 0;
    if (owned != group && !without_partner) Damaged("join rows unlike their key group", set_id);
  }
}

// What the pairing kernels and the readers of joined rows index without checking: the rows of each
// side within its key column, one first joined row per driving row, ascending within the size, a
// group start per key value (and the end), ascending within the partner rows, and no driving row
// owning more joined rows than its key value's group holds. Then what every operation that pairs
// the rows again relies on: the stored pairing is the one the key columns give (see CheckPairing).
void CheckEntry(const JoinSetEntry& e, TFilter* const keys[2], int set_id, bool outer) {
  CheckRange(e.size, 0, INT32_MAX, "join set size");
  CheckRange(e.side, 0, 1, "join set side");
  for (int s = 0; s < 2; ++s) {
    const unsigned records = static_cast<unsigned>(keys[s]->PV->FArraySize);
    for (const TSetArray* rows : {e.rows[s], e.second[s]}) {
      if (rows->FArraySize > 0 && MaxUnsigned(*rows) >= records) Damaged("join set row", set_id);
    }
  }
  const int d = e.side;
  const int o = 1 - d;
  const int n_driving = e.rows[d]->FArraySize;
  const int n_partner = e.rows[o]->FArraySize;
  const int n_values = keys[0]->VL->FArraySize;
  CheckRange(e.projection[d]->FArraySize, n_driving, n_driving, "join first-row count");
  CheckRange(e.projection[o]->FArraySize, int64_t{n_values} + 1, int64_t{n_values} + 1, "join group count");
  if (n_driving == 0 && e.size != 0) Damaged("join set size without rows", e.size);

  const int* groups = static_cast<const int*>(e.projection[o]->FData);
  for (int v = 0; v <= n_values; ++v) {
    CheckRange(groups[v], v == 0 ? 0 : groups[v - 1], n_partner, "join group start");
  }
  const int* starts = static_cast<const int*>(e.projection[d]->FData);
  const int* driving = static_cast<const int*>(e.rows[d]->FData);
  const int* vno = static_cast<const int*>(keys[d]->PV->FData);
  for (int i = 0; i < n_driving; ++i) {
    CheckRange(starts[i], i == 0 ? 0 : starts[i - 1], e.size, "join first row");
  }
  for (int i = 0; i < n_driving; ++i) {
    const int64_t owned = int64_t{i + 1 < n_driving ? starts[i + 1] : e.size} - starts[i];
    const int v = vno[driving[i]];
    if (owned > int64_t{groups[v + 1]} - groups[v]) Damaged("join rows beyond their group", set_id);
  }
  CheckPairing(e, keys, set_id, outer);
}

template <class Source>
void ReadRecord(TJoinTable& j, Source& src, bool unique_name, TTableCollection* names) {
  ArrayRecordReader& r = src.r;
  src.Base(j);
  // Set 1, the whole join, sits at position 0 for the join's whole life.
  CheckRange(j.FnSet, 1, TJoinTable::kMaxSets, "join set count");
  if (j.FSetIDs[0] != 1) Damaged("join without set 1", j.FSetIDs[0]);
  if (unique_name) {
    if (names == nullptr) names = CSmpEngine::Instance()->Database();
    char unique[TBaseTable::kNameSize];
    if (names == nullptr || names->GenTableName(j.FTableName, unique) < 0) {
      if (src.Logging()) LogMsg("Cannot Generate TableName- Exit");
      throw CQ7Exception(Q7_ERROR_TABLE_NAME_GENERATION);
    }
    memcpy(j.FTableName, unique, strlen(unique) + 1);
  }
  const size_t capacity = static_cast<size_t>(j.FSetCapacity);
  j.FEntries = static_cast<JoinSetEntry*>(zpk_malloc(sizeof(JoinSetEntry) * capacity));
  memset(j.FEntries, 0, sizeof(JoinSetEntry) * capacity);

  const bool old = j.FDataVer < kFirstWideKeysVersion;
  const int n = j.FnSet;
  j.FOuter = ReadInt(r);
  if (src.Logging()) LogMsg("IsOuter\t\t = %d ", j.FOuter);
  CheckRange(j.FOuter, 0, 1, "outer flag");
  j.FnKey = ReadInt(r);
  if (src.Logging()) LogMsg("JoinKey Count= %d ", j.FnKey);
  CheckRange(j.FnKey, 1, old ? kOldKeys : TJoinTable::kMaxKeys, "key count");
  int32_t tables[2];
  r.Read(tables, 4, 2);
  src.LogIDs("Original TableIDs = ", &tables[0], 1, &tables[1], 1);
  CheckRange(tables[0], 1, INT32_MAX, "master table ID");
  CheckRange(tables[1], 1, INT32_MAX, "slave table ID");
  src.MapTables(tables);
  j.FMasterTableID = tables[0];
  j.FSlaveTableID = tables[1];
  const int stored_keys = old ? kOldKeys : TJoinTable::kMaxKeys;
  const int used_keys[2] = {j.FnKey, j.FnKey};
  ReadIDPairs(r, stored_keys, used_keys, j.FMasterKeys, j.FSlaveKeys, "key filter ID");
  src.LogIDs("Original FilterDs = ", j.FMasterKeys, j.FnKey, j.FSlaveKeys, j.FnKey);
  int32_t sets[2];
  r.Read(sets, 4, 2);
  src.LogIDs("Original SetIDs= ", &sets[0], 1, &sets[1], 1);
  j.FMasterSetID = sets[0];
  j.FSlaveSetID = sets[1];

  // The old blocks hold n <= 100 used entries (the base record's check).
  const int stored_sets = old ? kOldSetBlock : n;
  std::vector<int32_t> sizes(static_cast<size_t>(stored_sets));
  std::vector<int32_t> sides(static_cast<size_t>(stored_sets));
  r.Read(sizes.data(), 4, sizes.size());
  r.Read(sides.data(), 4, sides.size());
  for (int i = 0; i < n; ++i) {
    j.FEntries[i].size = sizes[static_cast<size_t>(i)];
    j.FEntries[i].side = sides[static_cast<size_t>(i)];
  }
  for (int s = 0; s < 2; ++s) {
    for (int i = 0; i < n; ++i) {
      JoinSetEntry& e = j.FEntries[i];
      e.rows[s] = src.Set();
      e.projection[s] = src.Set();
      e.second[s] = src.Set();
    }
  }
  j.FMasterKeyFilter = src.Filter(TJoinTable::kMasterKeyID);
  j.FSlaveKeyFilter = src.Filter(TJoinTable::kSlaveKeyID);

  const bool narrow = Source::kNarrowColumnsReadable && j.FDataVer <= kLastNarrowColumnsVersion;
  const int stored_columns = narrow ? kOldColumns : TJoinTable::kMaxColumns;
  int32_t counts[2];
  r.Read(counts, 4, 2);
  CheckRange(counts[0], 0, stored_columns, "master column count");
  CheckRange(counts[1], 0, stored_columns, "slave column count");
  j.FnMasterColumn = counts[0];
  j.FnSlaveColumn = counts[1];
  ReadIDPairs(r, stored_columns, counts, j.FMasterColumns, j.FSlaveColumns, "column ID");
  src.LogIDs("FilterIDs= ", j.FMasterColumns, j.FnMasterColumn, j.FSlaveColumns, j.FnSlaveColumn);

  // The two key columns were written over one shared value list.
  TFilter* const keys[2] = {j.FMasterKeyFilter, j.FSlaveKeyFilter};
  CheckKeyFilter(keys[0]);
  CheckKeyFilter(keys[1]);
  if (keys[0]->VL->FArraySize != keys[1]->VL->FArraySize)
    Damaged("join key value lists of different lengths", keys[1]->VL->FArraySize);
  for (int i = 0; i < n; ++i) CheckEntry(j.FEntries[i], keys, j.FSetIDs[i], j.FOuter != 0);
}

TBaseTable* ReadFileRecord(zpk_fstream* fs, char* name, int keep_name, int verbose, TTableCollection* names) {
  return new TJoinTable(fs, name, keep_name, names, verbose != 0);
}

TBaseTable* ReadImageRecord(CMemFile* mf, TTableCollection*) { return new TJoinTable(mf, 0); }

TBaseTable* ReadInPlaceRecord(void** cursor, const void* end, void* id_map) {
  return new TJoinTable(cursor, end, id_map);
}

}  // namespace

// ---- Writers ----

void TJoinTable::SaveTable(zpk_fstream* fs, int) {
  if (fs != nullptr) {
    FileTarget target{*fs};
    WriteRecord(*this, target);
    return;
  }
  table_files::ReplacingFile file(std::string(FTableName) + table_files::kTableExt);
  TTableCollection* owner = FileCollection();
  const bool saved = owner != nullptr && owner->FUseSavedHeader != 0;
  if ((saved ? file.stream().writeFileHeader(owner->FSavedHeader) : file.stream().writeFileHeader()) != 0)
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  FileTarget target{file.stream()};
  WriteRecord(*this, target);
  file.Commit();
}

void TJoinTable::SaveTableAs(zpk_fstream*, const char*, int) {}

void TJoinTable::Save2Mem(CMemFile* mf, int with_header) {
  if (mf == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  // Checked before the header goes in, so that a refusal writes nothing.
  CheckWritable(*this);
  if (with_header) mf->writeFileHeader();
  ImageTarget target{mf};
  WriteRecord(*this, target);
}

int64_t TJoinTable::WriteToSharedMemory(void** cursor) {
  ShmTarget target{cursor};
  if (cursor == nullptr) return WriteRecord(*this, target);
  const char* start = static_cast<const char*>(*cursor);
  WriteRecord(*this, target);
  return static_cast<const char*>(*cursor) - start;
}

// ---- Readers ----

TJoinTable::TJoinTable(zpk_fstream* fs, char* name, int keep_name, TTableCollection* names, bool verbose) {
  try {
    zpk_fstream own;
    if (fs == nullptr) {
      const std::string path =
          table_files::WithExtension(name != nullptr ? name : "", table_files::kTableExt);
      if (verbose) LogMsg("OpenFile  = %s", path.c_str());
      zpk_open(own, path.c_str(), kZpkRead | kZpkBinary, 0);
      own.readFileHeader(false);
      if (table_files::ReadInt(own) != table_files::kKindJoin) {
        if (verbose) LogMsg("Not a JoinTable - Exit");
        throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
      }
      fs = &own;
    }
    // `own` closes the file it opened on every way out.
    FileSource source{*fs, verbose};
    ReadRecord(*this, source, keep_name == 0, names);
  } catch (...) {
    Release();
    throw;
  }
}

TJoinTable::TJoinTable(CMemFile* mf, int) {
  try {
    if (mf == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    ImageSource source{{}, mf};
    ReadRecord(*this, source, false, nullptr);
  } catch (...) {
    Release();
    throw;
  }
}

TJoinTable::TJoinTable(void** cursor, const void* end, void* id_map) {
  try {
    InPlaceSource source{{}, cursor, end, id_map};
    ReadRecord(*this, source, false, nullptr);
  } catch (...) {
    Release();
    throw;
  }
}

void TJoinTable::RegisterRecordReaders() {
  TTableCollection::SetJoinRecordReader(&ReadFileRecord);
  TTableCollection::SetJoinImageReaders(&ReadImageRecord, &ReadInPlaceRecord);
}

// ---- Completing a loaded join ----

void TJoinTable::LoadComplete(TTableCollection* tables) {
  TJoinTableBase::LoadComplete(tables);
  if (FMasterTable != nullptr && FSlaveTable != nullptr) {
    // The record was checked against its key columns; they must be columns of these tables.
    const bool fits = FMasterKeyFilter != nullptr && FSlaveKeyFilter != nullptr &&
                      FMasterKeyFilter->PV->FArraySize == int64_t{FMasterTable->TotalRecs()} + 1 &&
                      FSlaveKeyFilter->PV->FArraySize == int64_t{FSlaveTable->TotalRecs()} + 1;
    if (!fits) {
      FMasterTable = nullptr;
      FSlaveTable = nullptr;
      throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Damaged join record: join %d does not fit its tables",
                         FTableID);
    }
    // Equal keys must have one value number on both sides: the lists were stored twice.
    if (FSlaveKeyFilter->VL != FMasterKeyFilter->VL) FSlaveKeyFilter->BorrowValueList(FMasterKeyFilter->VL);
  }
  AssignJoinFilterNames();
}

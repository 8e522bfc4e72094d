// Memory images, the memory stream and shared-memory database images of the collection.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "foundation/TextHelpers.h"
#include "values/ArrayRecord.h"

using table_files::CheckRange;

namespace {

TTableCollection::JoinImageReader g_join_image_reader = nullptr;
TTableCollection::JoinInPlaceReader g_join_in_place_reader = nullptr;

// The tag that ends a single-table image, with its terminating zero.
constexpr char kTrailerTag[8] = "Q7TFEND";

// Image sizes as CMemFile counts them.
long MemFileSize(uint64_t size) {
  return size > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(size);
}

// The end of length bytes at image, short of wrapping around the address space.
const void* EndOf(void* image, uint64_t length) {
  const auto at = reinterpret_cast<uintptr_t>(image);
  return reinterpret_cast<const void*>(length > UINTPTR_MAX - at ? UINTPTR_MAX : at + length);
}

int32_t ReadInt(ArrayRecordReader& r) {
  int32_t v = 0;
  r.Read(&v, 4, 1);
  return v;
}

// Where a memory image's header holds the image's length: bytes from the start of the image to
// the end of what its writer wrote, in the writer's byte order. Images written before it hold 0
// there, as the whole reserved part of the header does.
constexpr size_t kImageLengthAt = 8;

void StoreImageLength(void* buffer, const char* end) {
  const uint64_t length = static_cast<uint64_t>(end - static_cast<char*>(buffer));
  memcpy(static_cast<char*>(buffer) + kImageLengthAt, &length, sizeof length);
}

// How many bytes at buffer a reader may take: the stored length when the image has one (never
// more than the caller's size), else the caller's size, which the hosts' loads do not know.
uint64_t ImageBound(const void* buffer, uint64_t size) {
  if (size < kSysHeaderSize) return size;
  uint64_t length;
  memcpy(&length, static_cast<const char*>(buffer) + kImageLengthAt, sizeof length);
  if (getStreamEndian(buffer) != getSystemEndian()) flip_endian(&length, sizeof length);
  return length != 0 && length < size ? length : size;
}

// What a database image holds before its tables, as the database file reader checks it.
struct DatabaseHead {
  int32_t issued;
  int32_t count;
};

// Reads the versions (a memory image must carry this library's data version: an in-place image
// leaves that test to each table's record), the issued table ID and the table count, then passes
// the table names, which the tables' own records repeat.
template <class SkipName>
DatabaseHead ReadHead(ArrayRecordReader& r, bool check_version, SkipName skip_name) {
  int32_t versions[4];
  r.Read(versions, 4, 4);
  if (check_version && versions[1] != Qz7Versions[1]) throw CQ7Exception(Q7_ERROR_UNSUPPORTED_VERSION);
  DatabaseHead head;
  head.issued = ReadInt(r);
  head.count = ReadInt(r);
  // New tables take the issued ID + 1; the stored IDs are checked against it.
  CheckRange(head.issued, 0, INT32_MAX, "issued table ID");
  // Each table has an ID of its own from 1 to the issued one: a count above it is damage, found
  // before the names it counts are read.
  CheckRange(head.count, 0, std::min<int64_t>(TTableCollection::kMaxTables, head.issued), "table count");
  if (int64_t{TBaseTable::kNameSize} * head.count > r.BytesLeft())
    table_files::Damaged("table names beyond the end", head.count);
  for (int i = 0; i < head.count; ++i) skip_name();
  return head;
}

// Tables are found by binary search over ascending IDs, and new IDs are issued above the last one.
void CheckStoredID(const TTableCollection& db, const TBaseTable& table, int32_t issued) {
  const int n = db.TableCount();
  const int64_t lowest = n > 0 ? int64_t{db.TableAt(n - 1)->FTableID} + 1 : 1;
  CheckRange(table.FTableID, lowest, issued, "table ID");
}

// Gives a new table its unique name in db (the reader's own naming was made before the table
// joined any collection).
void NameUniquely(TTableCollection& db, TBaseTable& table) {
  char unique[TBaseTable::kNameSize];
  if (db.GenTableName(table.FTableName, unique) < 0) throw CQ7Exception(Q7_ERROR_TABLE_NAME_GENERATION);
  memcpy(table.FTableName, unique, strlen(unique) + 1);
}

// The in-place readers check every value and record number where it lies, so they touch every page
// of the image; a fault per page of a freshly attached segment costs more than having the kernel
// map them all in one call. Only a hint: a kernel without it, or a range not mapped, changes nothing.
void PrefaultImage(void* image, uint64_t length) {
  constexpr uint64_t kWorthIt = uint64_t{2} << 20;
#ifdef MADV_POPULATE_READ
  if (length < kWorthIt) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = reinterpret_cast<uintptr_t>(image) & ~(page - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(EndOf(image, length));
  (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_READ);
#else
  (void)image;
  (void)length;
  (void)kWorthIt;
#endif
}

// A reader's allocation failure is recorded under the operation's name on its way out.
template <class Build>
auto RecordingOutOfMemory(const char* log_name, Build build) {
  try {
    return build();
  } catch (const CQ7Exception& e) {
    if (e.ErrorCode() == Q7_ERROR_OUT_OF_MEMORY)
      PutErrorLog(log_name, Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
    throw;
  }
}

}  // namespace

void TTableCollection::SetJoinImageReaders(JoinImageReader image_reader, JoinInPlaceReader in_place_reader) {
  g_join_image_reader = image_reader;
  g_join_in_place_reader = in_place_reader;
}

// ---- Memory images ----

int TTableCollection::SaveDB2Mem(unsigned long capacity, void* buffer, void** end) {
  CMemFile mf(buffer, MemFileSize(capacity));
  mf.writeFileHeader();
  // With only real tables every ID can be renumbered by position; joins name their tables by ID.
  FAllReal = IsJoinExist() ? 0 : 1;
  MemFileRecordWriter w(&mf);
  w.Write(Qz7Versions, 4, 4);
  const int32_t issued = FAllReal != 0 ? FnTable : FTblIDIssued;
  w.Write(&issued, 4, 1);
  w.Write(&FnTable, 4, 1);
  for (int i = 0; i < FnTable; ++i) {
    char table_name[TBaseTable::kNameSize] = {};
    qz7_strlcpy(table_name, FTables[i]->FTableName, sizeof table_name);
    w.Write(table_name, 1, sizeof table_name);
  }
  for (int i = 0; i < FnTable; ++i) FTables[i]->FDBIndex = i;
  for (int i = 0; i < FnTable; ++i) FTables[i]->Save2Mem(&mf, 0);
  StoreImageLength(buffer, mf.Cursor());
  if (end != nullptr) *end = mf.Cursor();
  return 0;
}

TTableCollection::TTableCollection(void* buffer, uint64_t size, void** end) : TTableCollection() {
  // A throw leaves this object to its destructor, which deletes the tables built so far.
  LoadDatabaseImage(buffer, size, end);
}

void TTableCollection::LoadDatabaseImage(void* buffer, uint64_t size, void** end) {
  CMemFile mf(buffer, MemFileSize(ImageBound(buffer, size)));
  mf.readFileHeader();
  MemFileRecordReader r(&mf);
  const DatabaseHead head = ReadHead(r, true, [&] {
    char table_name[TBaseTable::kNameSize];
    r.Read(table_name, 1, sizeof table_name);
  });
  try {
    for (int i = 0; i < head.count; ++i) {
      const int32_t kind = ReadInt(r);
      std::unique_ptr<TBaseTable> table;
      if (kind == table_files::kKindReal) {
        table = std::make_unique<TRealTable>(&mf, 0, this);
      } else if (kind == table_files::kKindJoin && g_join_image_reader != nullptr) {
        table.reset(g_join_image_reader(&mf, this));
      } else {
        throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
      }
      CheckStoredID(*this, *table, head.issued);
      AppendTable(table.release());
    }
  } catch (...) {
    // The joins built so far resolve their tables before everything built is deleted.
    try {
      LoadComplete(0);
    } catch (...) {
    }
    throw;
  }
  FTblIDIssued = head.issued;
  if (end != nullptr) *end = mf.Cursor();
}

int TTableCollection::SaveRealTable2Mem(int table_id, unsigned long capacity, void* buffer, void** end) {
  TBaseTable* table = GetTable(table_id);
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  if (table->GetType() != TBaseTable::kTypeReal) throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE);
  CMemFile mf(buffer, MemFileSize(capacity));
  table->Save2Mem(&mf, 1);

  // The trailer goes in whole or not at all: its two units with the padding before each, counted
  // from where the record ends, in 64 bits whatever the image's size.
  const int64_t length = mf.Cursor() - static_cast<char*>(buffer);
  const uintptr_t at = reinterpret_cast<uintptr_t>(mf.Cursor());
  const uint64_t tag_pad = AlignmentPadding(at);
  const uint64_t length_pad = AlignmentPadding(at + tag_pad + sizeof kTrailerTag);
  const uint64_t trailer = tag_pad + sizeof kTrailerTag + length_pad + sizeof length;
  if (mf.BytesLeft() >= 0 && static_cast<uint64_t>(mf.BytesLeft()) >= trailer) {
    zpk_write2mem(&mf, kTrailerTag, 1, sizeof kTrailerTag);
    zpk_write2mem(&mf, &length, sizeof length, 1);
  }
  StoreImageLength(buffer, mf.Cursor());
  if (end != nullptr) *end = mf.Cursor();
  return 0;
}

int TTableCollection::LoadRealTableFromMem(void* buffer, uint64_t size, void** end) {
  if (Full()) {
    PutErrorLog("LoadRealTable", Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW;
  }
  CMemFile mf(buffer, MemFileSize(ImageBound(buffer, size)));
  auto table = std::make_unique<TRealTable>(&mf, 1, this);
  NameUniquely(*this, *table);
  const int id = IssueTableID();
  table->FTableID = id;
  AppendTable(table.release());
  if (end != nullptr) *end = mf.Cursor();
  return id;
}

// ---- The memory stream ----

int TTableCollection::SaveRealTableMem(int table_id, int set1_only) {
  const int pos = ID2Loc(table_id);
  if (pos < 0) {
    PutErrorLog("SaveRealTableMem", Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  if (FTables[pos]->GetType() != TBaseTable::kTypeReal) {
    PutErrorLog("SaveRealTableMem", Q7_ERROR_NOT_REAL_TABLE, "Illegal table type ( Not REAL )");
    return Q7_ERROR_NOT_REAL_TABLE;
  }
  static_cast<TRealTable*>(FTables[pos])->SaveTableMem(set1_only);
  return 0;
}

int TTableCollection::LoadRealTableMem() {
  if (Full()) {
    PutErrorLog("LoadRealTableMem", Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW;
  }
  if (MemStream == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_MEMSTREAM);
  if (MemStream->Pos() == MemStream->nUsed()) return 0;
  auto table =
      RecordingOutOfMemory("LoadRealTableMem", [&] { return std::make_unique<TRealTable>(0, this); });
  NameUniquely(*this, *table);
  const int id = IssueTableID();
  table->FTableID = id;
  AppendTable(table.release());
  return id;
}

// ---- Shared-memory images ----

TTableCollection::TTableCollection(void* image, uint64_t length) : TTableCollection() {
  // A throw leaves this object to its destructor, which deletes the tables built so far.
  LoadSharedImage(image, length);
}

void TTableCollection::LoadSharedImage(void* image, uint64_t length) {
  // The records are padded by their position in the file, which the address repeats only from a
  // multiple of 8.
  check_addr_alignment(image);
  PrefaultImage(image, length);
  void* cursor = image;
  const void* end = EndOf(image, length);
  ShmRecordReader r(&cursor, end);
  r.Map(1, kSysHeaderSize);
  const DatabaseHead head = ReadHead(r, false, [&] { r.Map(1, TBaseTable::kNameSize); });
  try {
    for (int i = 0; i < head.count; ++i) {
      const int32_t kind = ReadInt(r);
      std::unique_ptr<TBaseTable> table;
      if (kind == table_files::kKindReal) {
        table = std::make_unique<TRealTable>(&cursor, end, nullptr);
      } else if (kind == table_files::kKindJoin && g_join_in_place_reader != nullptr) {
        table.reset(g_join_in_place_reader(&cursor, end, nullptr));
      } else {
        throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
      }
      CheckStoredID(*this, *table, head.issued);
      AppendTable(table.release());
    }
  } catch (...) {
    try {
      LoadComplete(0);
    } catch (...) {
    }
    throw;
  }
  FTblIDIssued = head.issued;
}

int TTableCollection::AppendSharedMemoryDB(void* image, uint64_t length) {
  constexpr char kLog[] = "AppendSharedMemoryDB";
  check_addr_alignment(image);
  PrefaultImage(image, length);
  void* cursor = image;
  const void* end = EndOf(image, length);
  ShmRecordReader r(&cursor, end);
  r.Map(1, kSysHeaderSize);
  const DatabaseHead head = ReadHead(r, false, [&] { r.Map(1, TBaseTable::kNameSize); });

  // Row 0 the stored IDs, row 1 the new ones, pair by pair as the tables are read.
  std::vector<int32_t> id_map(2 * static_cast<size_t>(kTableIdMapSize), 0);
  const int first = FnTable;
  try {
    for (int k = 0; k < head.count; ++k) {
      if (Full()) {
        PutErrorLog(kLog, Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, "TableCount overflow");
        throw CQ7Exception(Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW);
      }
      const int32_t kind = ReadInt(r);
      const bool join = kind == table_files::kKindJoin && g_join_in_place_reader != nullptr;
      if (!join && kind != table_files::kKindReal) {
        PutErrorLog(kLog, Q7_ERROR_INVALID_TABLE_TYPE, "Invalid table type ( Not REAL or JOIN )");
        throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
      }
      std::unique_ptr<TBaseTable> table = RecordingOutOfMemory(kLog, [&] {
        return std::unique_ptr<TBaseTable>(join ? g_join_in_place_reader(&cursor, end, id_map.data())
                                                : new TRealTable(&cursor, end, id_map.data()));
      });
      const int32_t stored = table->FTableID;
      NameUniquely(*this, *table);
      const int id = IssueTableID();
      table->FTableID = id;
      AppendTable(table.release());
      // At most kMaxTables tables are ever read, so every pair has its place.
      id_map[static_cast<size_t>(k)] = stored;
      id_map[static_cast<size_t>(kTableIdMapSize + k)] = id;
    }
  } catch (...) {
    try {
      LoadComplete(first);
    } catch (...) {
    }
    throw;
  }
  LoadComplete(first);
  return 0;
}

int TTableCollection::LoadRealTable(LSHMTBLEntry* entry) {
  if (Full()) return Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW;
  if (entry == nullptr || entry->mapAddress == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  check_addr_alignment(entry->mapAddress);
  void* cursor = entry->mapAddress;
  const void* end = EndOf(entry->mapAddress, entry->mapSize);
  ShmRecordReader r(&cursor, end);
  // The registry publishes table files only: the kind is read past.
  r.Map(1, kSysHeaderSize);
  ReadInt(r);
  auto table = std::make_unique<TRealTable>(&cursor, end, nullptr, entry);
  // A shared table is attached only under its own name, which other processes know it by.
  char unique[TBaseTable::kNameSize];
  if (GenTableName(table->FTableName, unique) < 0 || strcmp(unique, table->FTableName) != 0)
    return Q7_ERROR_SHMTBL_LOAD_FAILED;
  const int id = IssueTableID();
  table->FTableID = id;
  AppendTable(table.release());
  return id;
}

bool TTableCollection::UsesSharedImage() {
  for (int i = 0; i < FnTable; ++i) {
    if (FTables[i]->FShmImage != 0 && !FTables[i]->isQ7TShared()) return true;
  }
  return false;
}

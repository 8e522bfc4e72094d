// The real-table record in memory images, the memory stream and shared-memory images: the table
// file's record written through the other stores, and read back with the table file reader's
// checks.
#include <cstring>
#include <memory>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TMemStream.h"
#include "foundation/zpk_memory.h"
#include "values/ArrayRecord.h"

using table_files::CheckRange;
using table_files::CheckRecords;
using table_files::CheckValueNumbers;
using table_files::Damaged;

namespace {

// Data versions from which each filter record is followed by its high-speed flag, and the record
// ends with the sorted views.
constexpr int kFirstHighSpeedVersion = 23;

// The fewest bytes a stored view can take: two positions, an array record (four int32, the 64-byte
// attribute block, a capacity of at least 4 bytes) and the NULL count.
constexpr int64_t kMinViewBytes = 4 + 4 + (4 + 64 + 4 + 4 + 4) + 4;

char kSetRecordName[] = "SET";

int32_t ReadInt(ArrayRecordReader& r) {
  int32_t v = 0;
  r.Read(&v, 4, 1);
  return v;
}

// ---- Sources: what the record reader builds each part from ----

// Only a memory image may be read without knowing its length: its next array record is bounded
// by the counts read before it (LimitNext, -1 for none). The other sources know where they end.
struct ImageSource {
  CMemFile* mf;
  MemFileRecordReader r{mf};
  void LimitNext(int64_t most) { mf->LimitNextArrayCount(most); }
  void Base(TRealTable& t) { t.LoadBaseInfomem(mf); }
  TSetArray* Set(int id) { return new TSetArray(mf, kSetRecordName, id); }
  TFilter* Filter(int id) { return new TFilter(mf, id); }
  TSortedSetArray* View() { return new TSortedSetArray(mf, kSetRecordName, 0); }
};

struct StreamSource {
  MemStreamRecordReader r;
  void LimitNext(int64_t) {}
  void Base(TRealTable& t) { t.LoadBaseInfoMem(); }
  TSetArray* Set(int) { return new TSetArray(0); }
  TFilter* Filter(int id) { return new TFilter(id); }
  TSortedSetArray* View() { return new TSortedSetArray(0); }
};

struct InPlaceSource {
  void** cursor;
  const void* end;
  void* id_map;
  ShmRecordReader r{cursor, end};
  void LimitNext(int64_t) {}
  void Base(TRealTable& t) { t.LoadBaseInfo(cursor, end); }
  TSetArray* Set(int id) { return new TSetArray(cursor, end, kSetRecordName, id); }
  TFilter* Filter(int id) { return new TFilter(cursor, end, id, id_map); }
  TSortedSetArray* View() { return new TSortedSetArray(cursor, end); }
};

// ---- Targets: where the record writer puts each part ----

struct ImageTarget {
  CMemFile* mf;
  MemFileRecordWriter w{mf};
  void Int(int32_t v) { w.Write(&v, 4, 1); }
  void Base(TRealTable& t, int) { t.SaveBaseInfo2Mem(mf); }
  void Array(TBaseArray* a) { a->SaveArray2Mem(mf); }
  void Filter(TFilter* f) { f->SaveFilter2Mem(mf); }
};

// The sizing pass of ImageTarget: every unit reserves its padding too.
struct SizeTarget {
  CMemFile* mf;
  SizeRecordWriter w{mf};
  void Int(int32_t v) { w.Write(&v, 4, 1); }
  void Base(TRealTable& t, int) { t.SizeBaseInfo2Mem(mf); }
  void Array(TBaseArray* a) { a->SizeArray2Mem(mf); }
  void Filter(TFilter* f) { f->SizeFilter2Mem(mf); }
};

struct StreamTarget {
  MemStreamRecordWriter w;
  void Int(int32_t v) { w.Write(&v, 4, 1); }
  void Base(TRealTable& t, int set1_only) { t.SaveBaseInfoMem(set1_only); }
  void Array(TBaseArray* a) { a->SaveArrayMem(); }
  void Filter(TFilter* f) { f->SaveFilterMem(); }
};

}  // namespace

// ---- Readers ----

template <class Source>
void TRealTable::ReadImageRecord(Source& source, bool unique_name, TTableCollection* names) {
  ArrayRecordReader& r = source.r;
  // A limit not taken must not reach the next record.
  struct Unlimit {
    Source& source;
    ~Unlimit() { source.LimitNext(-1); }
  } unlimit{source};
  try {
    source.Base(*this);
    // Set 1 holds every record: a real table without it has no records to number.
    CheckRange(FnSet, 1, kMaxSets, "set count");
    if (unique_name) {
      char seed[kNameSize];
      memcpy(seed, FTableName, sizeof seed);
      NameTable(FTableID, seed, names);
    }

    FSets = static_cast<TSetArray**>(zpk_malloc(sizeof(TSetArray*) * static_cast<size_t>(FSetCapacity)));
    memset(FSets, 0, sizeof(TSetArray*) * static_cast<size_t>(FSetCapacity));
    // Set 1 holds every record: its count is the table's rows, which bound the arrays after it:
    // another set at most the rows, a view at most its set, a filter's value numbers rows + 1
    // (with element 0). A value list is not bounded by them: one that two filters of the table
    // borrow is stored as it stands, unused values and all.
    FSets[0] = source.Set(FSetIDs[0]);
    const int records = FSets[0]->FArraySize;
    for (int i = 1; i < FnSet; ++i) {
      source.LimitNext(records);
      FSets[i] = source.Set(FSetIDs[i]);
    }
    for (int i = 0; i < FnSet; ++i) CheckRecords(*FSets[i], records, "set element");

    const int32_t n_filters = ReadInt(r);
    CheckRange(n_filters, 0, kMaxFilters, "filter count");
    const int32_t last_filter_id = ReadInt(r);
    // New filters take the last filter ID + 1; the stored IDs are checked against it below.
    CheckRange(last_filter_id, 0, INT32_MAX, "last filter ID");
    for (int i = 0; i < n_filters; ++i) {
      const int32_t id = ReadInt(r);
      CheckRange(id, 1, last_filter_id, "filter ID");
      // The value numbers are the filter record's first array.
      source.LimitNext(int64_t{records} + 1);
      std::unique_ptr<TFilter> filter(source.Filter(id));
      // Filters are found by ID: the record's own ID must be the listed one, and unique.
      if (filter->FFilterID != id || FilterID2Pos(id) >= 0) Damaged("filter ID", filter->FFilterID);
      CheckValueNumbers(*filter, records);
      if (FDataVer >= kFirstHighSpeedVersion) filter->HighSpeedSearchEnable(ReadInt(r) != 0);
      FFilters[FnFilter++] = filter.release();
    }
    FLastFilterID = last_filter_id;

    if (FDataVer >= kFirstHighSpeedVersion) {
      const int32_t n_views = ReadInt(r);
      CheckRange(n_views, 0, int64_t{FnSet} * FnFilter, "view count");
      const int64_t left = r.BytesLeft();
      if (left >= 0 && kMinViewBytes * n_views > left) Damaged("views beyond the end", n_views);
      for (int i = 0; i < n_views; ++i) {
        const int32_t set_pos = ReadInt(r);
        const int32_t filter_pos = ReadInt(r);
        CheckRange(set_pos, 0, FnSet - 1, "view set position");
        CheckRange(filter_pos, 0, FnFilter - 1, "view filter position");
        TSetArray* set = FSets[set_pos];
        source.LimitNext(set->FArraySize);
        std::unique_ptr<TSortedSetArray> view(source.View());
        TFilter* filter = FFilters[filter_pos];
        // A dropped view is stored without rows; a built one orders every element of its set.
        if (view->FArraySize != 0)
          CheckRange(view->FArraySize, set->FArraySize, set->FArraySize, "view size");
        CheckRecords(*view, records, "view element");
        if (set->GetSortedSet(filter) != nullptr) Damaged("second view of filter position", filter_pos);
        view->initialize(set, filter);
        view.release();
      }
    }
  } catch (...) {
    // The base record may have counted sets that were never read.
    if (FSets == nullptr) FnSet = 0;
    FreeMem();
    throw;
  }
}

TRealTable::TRealTable(CMemFile* mf, int with_header, TTableCollection* names) {
  InitFields();
  if (mf == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  if (with_header) {
    mf->readFileHeader();
    int32_t kind = 0;
    zpk_readmem(mf, &kind, 4, 1);
    if (kind != table_files::kKindReal) throw CQ7Exception(Q7_ERROR_NOT_REAL_TYPE);
  }
  ImageSource source{mf};
  ReadImageRecord(source, with_header != 0, names);
}

TRealTable::TRealTable(int, TTableCollection* names) {
  InitFields();
  if (MemStream == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_MEMSTREAM);
  const long header = MemStream->readStreamHeader();
  if (header < 0) throw CQ7Exception(static_cast<int>(header));
  StreamSource source;
  if (ReadInt(source.r) != table_files::kKindReal) throw CQ7Exception(Q7_ERROR_NOT_REAL_TYPE);
  ReadImageRecord(source, true, names);
}

TRealTable::TRealTable(void** cursor, const void* end, void* id_map) {
  InitFields();
  InPlaceSource source{cursor, end, id_map};
  ReadImageRecord(source, false, nullptr);
}

TRealTable::TRealTable(void** cursor, const void* end, void* id_map, LSHMTBLEntry* entry) {
  InitFields();
  InPlaceSource source{cursor, end, id_map};
  ReadImageRecord(source, false, nullptr);
  // Taken only now: a table that failed to build must not detach the caller's entry.
  if (entry != nullptr) FShmEntry = *entry;
}

// ---- Writers ----

template <class Target>
void TRealTable::WriteImageRecord(Target& target, int set1_only) {
  // Stored value lists are compact and hold no pending values: the record has no place for them.
  if (FShmImage == 0 && !isQ7TShared()) {
    const int rc = CondenseTable();
    if (rc < 0) throw CQ7Exception(rc);
  }
  for (int i = 0; i < FnFilter; ++i) FFilters[i]->MergeTVL(true);

  target.Int(table_files::kKindReal);
  target.Base(*this, set1_only);
  const int n_sets = set1_only ? (FnSet > 0 ? 1 : 0) : FnSet;
  for (int i = 0; i < n_sets; ++i) target.Array(FSets[i]);
  target.Int(FnFilter);
  target.Int(FLastFilterID);
  for (int i = 0; i < FnFilter; ++i) {
    target.Int(FFilters[i]->FFilterID);
    target.Filter(FFilters[i]);
    target.Int(FFilters[i]->FHighSpeed != 0 ? 1 : 0);
  }

  struct ViewAt {
    int set_pos;
    int filter_pos;
    TSortedSetArray* view;
  };
  std::vector<ViewAt> views;
  for (int s = 0; s < n_sets; ++s) {
    for (int f = 0; f < FnFilter; ++f) {
      if (TSortedSetArray* view = FSets[s]->GetSortedSet(FFilters[f])) views.push_back({s, f, view});
    }
  }
  target.Int(static_cast<int32_t>(views.size()));
  for (const ViewAt& v : views) {
    target.Int(v.set_pos);
    target.Int(v.filter_pos);
    // The rows and the NULL count.
    target.Array(v.view);
  }
}

void TRealTable::Save2Mem(CMemFile* mf, int with_header) {
  if (mf == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  if (with_header) mf->writeFileHeader();
  ImageTarget target{mf};
  WriteImageRecord(target, 0);
}

int64_t TRealTable::GetFileSize() {
  CMemFile sizing;
  sizing.sizeFileHeader();
  SizeTarget target{&sizing};
  WriteImageRecord(target, 0);
  return static_cast<int64_t>(sizing.SizeCount());
}

void TRealTable::SaveTableMem(int set1_only) {
  if (MemStream == nullptr) {
    PutErrorLog("SaveBaseInfoMem", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem");
    throw CQ7Exception(Q7_ERROR_INVALID_MEMSTREAM);
  }
  // The header goes first: a stream that takes nothing fails before the table is condensed.
  StreamTarget target;
  const long header = MemStream->writeStreamHeader();
  if (header < 0) throw CQ7Exception(static_cast<int>(header));
  WriteImageRecord(target, set1_only);
}

// The real-table record: the writers of table files and of the tables inside database and
// multi-table files, and the readers (plain and diagnostic).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "values/TIntArray.h"

using table_files::CheckBytesLeft;
using table_files::CheckRange;
using table_files::CheckRecords;
using table_files::CheckValueNumbers;
using table_files::Damaged;
using table_files::ReadInt;
using table_files::WriteInt;

namespace {

// Data versions from which each filter record is followed by its high-speed flag, and the record
// ends with the sorted views.
constexpr int kFirstHighSpeedVersion = 23;

// The fewest bytes a stored view can take: two positions, an array record whose writer had 4-byte
// words (four int32, the 64-byte attribute block, a 4-byte capacity) and the NULL count.
constexpr int64_t kMinViewBytes = 4 + 4 + (4 + 64 + 4 + 4 + 4) + 4;

char kSetRecordName[] = "SET";

}  // namespace

// ---- Readers ----

TRealTable::TRealTable(zpk_fstream* fs, char* name, int keep_name, TTableCollection* names) {
  InitFields();
  ReadTableFile(fs, name, keep_name, false, names);
}

TRealTable::TRealTable(zpk_fstream* fs, char* name, int keep_name, int, TTableCollection* names) {
  InitFields();
  ReadTableFile(fs, name, keep_name, true, names);
}

TRealTable::TRealTable(zpk_fstream* fs, TTableCollection* names) {
  InitFields();
  if (fs == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  fs->readFileHeader(false);
  if (ReadInt(*fs) != table_files::kKindReal) throw CQ7Exception(Q7_ERROR_NOT_REAL_TYPE);
  ReadRecord(*fs, 0, false, names);
}

void TRealTable::ReadTableFile(zpk_fstream* fs, const char* name, int keep_name, bool verbose,
                               TTableCollection* names) {
  zpk_fstream own;
  if (fs == nullptr) {
    const std::string path = table_files::WithExtension(name, table_files::kTableExt);
    if (verbose) LogMsg("Open File ------> %s", path.c_str());
    zpk_open(own, path.c_str(), kZpkRead | kZpkBinary, 0);
    own.readFileHeader(false);
    const int32_t kind = ReadInt(own);
    if (verbose) LogMsg("TableType = %d ", kind);
    if (kind != table_files::kKindReal) {
      if (verbose) LogMsg("No Real Table - cannot LoadDB");
      throw CQ7Exception(Q7_ERROR_NOT_REAL_TYPE);
    }
    fs = &own;
  }
  // `own` closes the file it opened on every way out.
  ReadRecord(*fs, keep_name, verbose, names);
}

void TRealTable::ReadRecord(zpk_fstream& fs, int keep_name, bool verbose, TTableCollection* names) {
  try {
    LoadBaseInfo(fs);
    // Set 1 holds every record: a real table without it has no records to number.
    CheckRange(FnSet, 1, kMaxSets, "set count");
    if (keep_name == 0) {
      char seed[kNameSize];
      memcpy(seed, FTableName, sizeof seed);
      try {
        NameTable(FTableID, seed, names);
      } catch (const CQ7Exception&) {
        if (verbose) LogMsg("Cannot Generate TableName- stop");
        throw;
      }
    }

    FSets = static_cast<TSetArray**>(zpk_malloc(sizeof(TSetArray*) * static_cast<size_t>(FSetCapacity)));
    memset(FSets, 0, sizeof(TSetArray*) * static_cast<size_t>(FSetCapacity));
    for (int i = 0; i < FnSet; ++i) FSets[i] = new TSetArray(fs, kSetRecordName, FSetIDs[i]);
    const int records = FSets[0]->FArraySize;
    for (int i = 0; i < FnSet; ++i) CheckRecords(*FSets[i], records, "set element");

    const int32_t n_filters = ReadInt(fs);
    if (verbose) LogMsg("Filters Count = %d", n_filters);
    CheckRange(n_filters, 0, kMaxFilters, "filter count");
    const int32_t last_filter_id = ReadInt(fs);
    if (verbose) LogMsg("MaxFilterIDs  = %d", last_filter_id);
    // New filters take the last filter ID + 1; the stored IDs are checked against it below.
    CheckRange(last_filter_id, 0, INT32_MAX, "last filter ID");
    for (int i = 0; i < n_filters; ++i) {
      const int32_t id = ReadInt(fs);
      if (verbose) LogMsg("Filters ID = %d", id);
      CheckRange(id, 1, last_filter_id, "filter ID");
      std::unique_ptr<TFilter> filter(verbose ? new TFilter(fs, id, 1) : new TFilter(fs, id));
      // Filters are found by ID: the record's own ID must be the listed one, and unique.
      if (filter->FFilterID != id || FilterID2Pos(id) >= 0) Damaged("filter ID", filter->FFilterID);
      CheckValueNumbers(*filter, records);
      if (FDataVer >= kFirstHighSpeedVersion) {
        const int32_t high_speed = ReadInt(fs);
        if (verbose) LogMsg("HighSpeed Enable = %d", high_speed);
        filter->HighSpeedSearchEnable(high_speed != 0);
      }
      FFilters[FnFilter++] = filter.release();
    }
    FLastFilterID = last_filter_id;

    if (FDataVer >= kFirstHighSpeedVersion) {
      const int32_t n_views = ReadInt(fs);
      if (verbose) LogMsg("SetCount = %d", n_views);
      CheckRange(n_views, 0, int64_t{FnSet} * FnFilter, "view count");
      CheckBytesLeft(fs, kMinViewBytes * n_views, "views");
      for (int i = 0; i < n_views; ++i) {
        const int32_t set_pos = ReadInt(fs);
        if (verbose) LogMsg("SetPos = %d", set_pos);
        const int32_t filter_pos = ReadInt(fs);
        if (verbose) LogMsg("FltPos = %d", filter_pos);
        CheckRange(set_pos, 0, FnSet - 1, "view set position");
        CheckRange(filter_pos, 0, FnFilter - 1, "view filter position");
        auto view = std::make_unique<TSortedSetArray>(fs, kSetRecordName, 0);
        TSetArray* set = FSets[set_pos];
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

// ---- Writers ----

TTableCollection* TRealTable::FileCollection() {
  return FCollection != nullptr ? FCollection : TBaseTable::FileCollection();
}

void TRealTable::WriteRecord(zpk_fstream& fs, int set1_only) {
  // Stored value lists are compact and hold no pending values: the record has no place for them.
  if (FShmImage == 0 && !isQ7TShared()) {
    const int rc = CondenseTable();
    if (rc < 0) throw CQ7Exception(rc);
  }
  for (int i = 0; i < FnFilter; ++i) FFilters[i]->MergeTVL(true);

  WriteInt(fs, table_files::kKindReal);
  SaveBaseInfo(fs, set1_only);
  const int n_sets = set1_only ? (FnSet > 0 ? 1 : 0) : FnSet;
  for (int i = 0; i < n_sets; ++i) FSets[i]->SaveArray(fs);
  WriteInt(fs, FnFilter);
  WriteInt(fs, FLastFilterID);
  for (int i = 0; i < FnFilter; ++i) {
    WriteInt(fs, FFilters[i]->FFilterID);
    FFilters[i]->SaveFilter(fs);
    WriteInt(fs, FFilters[i]->FHighSpeed != 0 ? 1 : 0);
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
  WriteInt(fs, static_cast<int32_t>(views.size()));
  for (const ViewAt& v : views) {
    WriteInt(fs, v.set_pos);
    WriteInt(fs, v.filter_pos);
    v.view->SaveArray(fs);
  }
}

void TRealTable::WriteTableFile(zpk_fstream* fs, const char* path, int set1_only) {
  if (fs != nullptr) {
    WriteRecord(*fs, set1_only);
    return;
  }
  table_files::ReplacingFile file(path);
  TTableCollection* owner = FileCollection();
  const bool saved = owner != nullptr && owner->FUseSavedHeader != 0;
  if ((saved ? file.stream().writeFileHeader(owner->FSavedHeader) : file.stream().writeFileHeader()) != 0)
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  WriteRecord(file.stream(), set1_only);
  file.Commit();
}

void TRealTable::SaveTable(zpk_fstream* fs, int set1_only) {
  WriteTableFile(fs, (std::string(FTableName) + table_files::kTableExt).c_str(), set1_only);
}

void TRealTable::SaveTableAs(zpk_fstream* fs, const char* file_name, int set1_only) {
  WriteTableFile(fs, (std::string(file_name != nullptr ? file_name : "") + table_files::kTableExt).c_str(),
                 set1_only);
}

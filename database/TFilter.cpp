// The filter: construction, copies, its record's writers and readers, and its value-list services.
#include "database/TFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "foundation/CErrorLog.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "kernels/FindPos.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/ArrayRecord.h"
#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"

namespace {

// Copies a name into the filter's buffer; the caller has checked its length.
void StoreName(char* dst, const char* name) {
  memset(dst, 0, TFilter::kNameSize);
  qz7_strlcpy(dst, name, TFilter::kNameSize);
}

// ---- Where a record goes to or comes from ----
// Each target knows how to move the four header fields (through the array record glue) and how
// to hand an array record to the array's own reader or writer.

struct FileTarget {
  zpk_fstream& fs;
  int id;
  bool verbose;
  ArrayRecordReader* NewReader() const { return new FileRecordReader(fs, verbose); }
  ArrayRecordWriter* NewWriter() const { return new FileRecordWriter(fs); }
  template <class A>
  A* Read() const {
    return verbose ? new A(fs, nullptr, id, 1) : new A(fs, nullptr, id);
  }
  int64_t Write(TBaseArray* a) const {
    a->SaveArray(fs);
    return 0;
  }
};

struct MemFileTarget {
  CMemFile* mf;
  int id;
  ArrayRecordReader* NewReader() const { return new MemFileRecordReader(mf); }
  ArrayRecordWriter* NewWriter() const { return new MemFileRecordWriter(mf); }
  template <class A>
  A* Read() const {
    return new A(mf, nullptr, id);
  }
  int64_t Write(TBaseArray* a) const {
    a->SaveArray2Mem(mf);
    return 0;
  }
};

struct SizeTarget {
  CMemFile* mf;
  ArrayRecordWriter* NewWriter() const { return new SizeRecordWriter(mf); }
  int64_t Write(TBaseArray* a) const { return a->SizeArray2Mem(mf); }
};

struct MemStreamTarget {
  int id;
  ArrayRecordReader* NewReader() const { return new MemStreamRecordReader(); }
  ArrayRecordWriter* NewWriter() const { return new MemStreamRecordWriter(); }
  template <class A>
  A* Read() const {
    (void)id;
    return new A(0);
  }
  int64_t Write(TBaseArray* a) const {
    a->SaveArrayMem();
    return 0;
  }
};

struct ShmTarget {
  void** cursor;
  ArrayRecordWriter* NewWriter() const { return new ShmRecordWriter(cursor); }
  int64_t Write(TBaseArray* a) const { return a->WriteToSharedMemory(cursor); }
};

// The value list of a record: the array class that its stored type selects.
template <class Target>
std::unique_ptr<TBaseArray> ReadValueList(const Target& t, int type) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return std::unique_ptr<TBaseArray>(t.template Read<TIntArray>());
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      return std::unique_ptr<TBaseArray>(t.template Read<TDoubleArray>());
    case Q7_TYPE_STRING:
      return std::unique_ptr<TBaseArray>(t.template Read<TStrArray>());
    case Q7_TYPE_DECIMAL:
      return std::unique_ptr<TBaseArray>(t.template Read<TNumericArray>());
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

// The shared-memory image has no reader object: it is read in place through the cursor.
std::unique_ptr<TBaseArray> MapValueList(void** cursor, const void* end, int id, int type) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return std::make_unique<TIntArray>(cursor, end, nullptr, id);
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      return std::make_unique<TDoubleArray>(cursor, end, nullptr, id);
    case Q7_TYPE_STRING:
      return std::make_unique<TStrArray>(cursor, end, nullptr, id);
    case Q7_TYPE_DECIMAL:
      return std::make_unique<TNumericArray>(cursor, end, nullptr, id);
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

struct Header {
  int32_t id = 0;
  char name[TFilter::kNameSize] = {};
  int32_t org_tbl = 0;
  int32_t org_flt = 0;
};

void ReadHeader(ArrayRecordReader& r, Header* h) {
  r.Read(&h->id, 4, 1);
  r.Read(h->name, 1, TFilter::kNameSize);
  // The name comes from outside: never trust its terminator.
  h->name[TFilter::kNameSize - 1] = '\0';
  r.Read(&h->org_tbl, 4, 1);
  r.Read(&h->org_flt, 4, 1);
}

}  // namespace

// ---- Construction ----

TFilter::TFilter() = default;

TFilter::TFilter(int id, char* name) {
  if (!name || !ToFileName(name)) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
  FFilterID = id;
  StoreName(FFilterName, name);
}

TFilter::TFilter(TFilter* source) {
  if (!source) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  // A copy must never carry pending value numbers without the pending list they point into.
  source->MergeTVL(false);
  std::unique_ptr<TBaseArray> pv(source->PV ? source->PV->CopyArray() : nullptr);
  std::unique_ptr<TBaseArray> vl(source->VL ? source->VL->CopyArray() : nullptr);
  FFilterID = source->FFilterID;
  memcpy(FFilterName, source->FFilterName, kNameSize);
  FOrgTblID = source->FOrgTblID;
  FOrgFltID = source->FOrgFltID;
  PV = static_cast<TIntArray*>(pv.release());
  VL = vl.release();
}

template <class Target>
static void LoadFilterRecord(TFilter* f, const Target& t, bool verbose) {
  std::unique_ptr<ArrayRecordReader> r(t.NewReader());
  Header h;
  if (verbose) LogMsg("Reading FilterData ........");
  ReadHeader(*r, &h);
  if (verbose) {
    LogMsg("FFilterID\t= %d", h.id);
    LogMsg("FFilterName = %s", h.name);
    LogMsg("FOrgTblID\t= %d", h.org_tbl);
    LogMsg("FOrgFltID\t= %d", h.org_flt);
  }
  std::unique_ptr<TIntArray> pv(t.template Read<TIntArray>());
  int32_t type = 0;
  r->Read(&type, 4, 1);
  std::unique_ptr<TBaseArray> vl = ReadValueList(t, type);
  f->FFilterID = h.id;
  memcpy(f->FFilterName, h.name, TFilter::kNameSize);
  f->FOrgTblID = h.org_tbl;
  f->FOrgFltID = h.org_flt;
  f->PV = pv.release();
  f->VL = vl.release();
}

TFilter::TFilter(zpk_fstream& fs, int id) { LoadFilterRecord(this, FileTarget{fs, id, false}, false); }

TFilter::TFilter(CMemFile* mf, int id) { LoadFilterRecord(this, MemFileTarget{mf, id}, false); }

TFilter::TFilter(int id) { LoadFilterRecord(this, MemStreamTarget{id}, false); }

TFilter::TFilter(zpk_fstream& fs, int id, int verbose) {
  LoadFilterRecord(this, FileTarget{fs, id, verbose != 0}, verbose != 0);
}

TFilter::TFilter(void** cursor, const void* end, int id, void* table_id_map) {
  ShmRecordReader r(cursor, end);
  Header h;
  ReadHeader(r, &h);
  auto pv = std::make_unique<TIntArray>(cursor, end, nullptr, id);
  int32_t type = 0;
  r.Read(&type, 4, 1);
  std::unique_ptr<TBaseArray> vl = MapValueList(cursor, end, id, type);
  if (table_id_map) MapTableIDs(&h.org_tbl, table_id_map, 1);
  FFilterID = h.id;
  memcpy(FFilterName, h.name, kNameSize);
  FOrgTblID = h.org_tbl;
  FOrgFltID = h.org_flt;
  PV = pv.release();
  VL = vl.release();
}

TFilter::TFilter(zpk_fstream& fs, int id, TBaseArray* value_list) {
  FileRecordReader r(fs, false);
  Header h;
  ReadHeader(r, &h);
  PV = new TIntArray(fs, nullptr, id);
  FFilterID = h.id;
  memcpy(FFilterName, h.name, kNameSize);
  FOrgTblID = h.org_tbl;
  FOrgFltID = h.org_flt;
  VL = value_list;
}

TFilter::~TFilter() {
  FreeArrays();
  // Each view unregisters itself from this list (and from its set) as it goes.
  while (!FSortedSets.empty()) delete FSortedSets.back();
}

void TFilter::FreeArrays() {
  delete PV;
  PV = nullptr;
  // A borrowed list holds a count of its own too: this releases exactly this filter's hold.
  ReleaseValueList(VL);
  VL = nullptr;
  FSharedVL = 0;
  // The pending list is always this filter's own: it holds this filter's record numbers.
  delete TVL;
  delete TVLRecNo;
  TVL = nullptr;
  TVLRecNo = nullptr;
  TVLSize = 0;
  TVLCount = 0;
}

void TFilter::ReplaceValueList(TBaseArray* list) {
  TBaseArray* old = VL;
  VL = list;
  FSharedVL = 0;
  if (old != list) ReleaseValueList(old);
}

void TFilter::BorrowValueList(TBaseArray* list) {
  RetainValueList(list);  // first: it alone can fail
  TBaseArray* old = VL;
  VL = list;
  FSharedVL = 1;
  ReleaseValueList(old);
}

TFilter* TFilter::CopyFilter(int id, char* name, bool parallel) {
  char work[kNameSize];
  const size_t len = name ? strnlen(name, kNameSize) : 0;
  bool ok = len > 0 && len < static_cast<size_t>(kNameSize);
  if (ok) {
    memcpy(work, name, len + 1);
    ok = ToFileName(work);
  }
  if (!ok) {
    PutErrorLog("CopyFilter", Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName");
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
  }
  MergeTVL(false);
  auto copy = std::make_unique<TFilter>();
  copy->FFilterID = id;
  StoreName(copy->FFilterName, work);
  if (PV) {
    copy->PV = static_cast<TIntArray*>(parallel ? PV->MppCopyArray() : PV->CopyArray());
    memset(copy->PV->FUserArea, 0, TBaseArray::kUserAreaSize);
  }
  if (VL) copy->VL = parallel ? VL->MppCopyArray() : VL->CopyArray();
  copy->FOrgTblID = FOrgTblID;
  copy->FOrgFltID = FOrgFltID;
  return copy.release();
}

void TFilter::InitTVL() {
  TVL = nullptr;
  TVLRecNo = nullptr;
  TVLSize = 0;
  TVLCount = 0;
  TVLMaxSize = kTVLMaxSize;
  TVLMinRecs = kTVLMinRecs;
}

int ConvertInt2String(TIntArray*, TIntArray*, TIntArray** out_rows, TStrArray** out_list) {
  if (out_rows) *out_rows = nullptr;
  if (out_list) *out_list = nullptr;
  return 0;
}

// ---- Record writers ----

template <class Target>
static int64_t WriteFilterRecord(TFilter* f, const Target& t, bool sizing) {
  std::unique_ptr<ArrayRecordWriter> w(t.NewWriter());
  int64_t total = 0;
  total += w->Write(&f->FFilterID, 4, 1);
  total += w->Write(f->FFilterName, 1, TFilter::kNameSize);
  total += w->Write(&f->FOrgTblID, 4, 1);
  total += w->Write(&f->FOrgFltID, 4, 1);
  total += t.Write(f->PV);
  const int32_t type = sizing ? 0 : f->VL->GetDataType();
  total += w->Write(&type, 4, 1);
  total += t.Write(f->VL);
  return total;
}

void TFilter::SaveFilter(zpk_fstream& fs) { WriteFilterRecord(this, FileTarget{fs, 0, false}, false); }

void TFilter::SaveFilter2Mem(CMemFile* mf) { WriteFilterRecord(this, MemFileTarget{mf, 0}, false); }

void TFilter::SaveFilterMem() { WriteFilterRecord(this, MemStreamTarget{0}, false); }

int64_t TFilter::WriteToSharedMemory(void** cursor) {
  return WriteFilterRecord(this, ShmTarget{cursor}, false);
}

int64_t TFilter::SizeFilter2Mem(CMemFile* mf) { return WriteFilterRecord(this, SizeTarget{mf}, true); }

int TFilter::GetVLType(zpk_fstream& fs, char*, int) {
  int32_t type = 0;
  zpk_read(fs, &type, 4, 1);
  return type;
}

int TFilter::GetVLTypeMem() {
  MemStreamRecordReader r;
  int32_t type = 0;
  r.Read(&type, 4, 1);
  return type;
}

int64_t TFilter::GetMemSize() const {
  int64_t size = sizeof(TFilter);
  if (PV) size += PV->GetMemSize();
  if (!FSharedVL) {
    if (VL) size += VL->GetMemSize();
    if (TVL) size += TVL->GetMemSize();
    if (TVLRecNo) size += TVLRecNo->GetMemSize();
  }
  for (const TSortedSetArray* view : FSortedSets) size += view->GetMemSize();
  size += static_cast<int64_t>(FSortedSets.capacity() * sizeof(TSortedSetArray*));
  return size;
}

// ---- High-speed search and views ----

void TFilter::HighSpeedSearchEnable(bool on) {
  if (!on) {
    FHighSpeed = 0;
    return;
  }
  FHighSpeed = 1;
  for (TSortedSetArray* view : FSortedSets) view->Reclaim();
}

void TFilter::Taint() {
  if (FHighSpeed) {
    throw CQ7Exception(Q7_ERROR_HIGH_SPEED_FILTER, "Cannot modify high speed search filter: %s", FFilterName);
  }
  for (TSortedSetArray* view : FSortedSets) view->Taint();
}

void TFilter::RegisterSortedSet(TSortedSetArray* view) { FSortedSets.push_back(view); }

void TFilter::UnregisterSortedSet(TSortedSetArray* view) {
  const auto it = std::find(FSortedSets.begin(), FSortedSets.end(), view);
  if (it != FSortedSets.end()) FSortedSets.erase(it);
}

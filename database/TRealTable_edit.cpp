// Row editing of a real table: deleting and inserting records, overwriting and filling the values
// of one filter over a range of rows of a set, and adding a filter from raw values in parallel.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/CompiledValueList.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

// Records the refusal (unless log_name is null) and gives its code back for returning.
int Refuse(const char* log_name, int code, const char* message) {
  if (log_name != nullptr) PutErrorLog(log_name, code, message);
  return code;
}

// The plain missing-set text, in the form the write table holds (the fill's differs).
char* NoSuchSetPlain(int set_id) { return NoSuchSetText(set_id); }

// How one overwrite or fill operation checks and records: the name its argument refusals are
// recorded under (null: not recorded) with their texts (the missing set's from database/NoSuchTexts.h,
// the others each a format that may take the one number it is given, as a long long), the name a
// value list of a type that cannot be rebuilt is recorded under, and whether the rebuild is a fill
// and runs on the worker pool.
struct WriteOp {
  const char* log_name;
  char* (*no_set)(int set_id);
  const char* no_data;    // 0
  const char* bad_start;  // from - 1
  const char* bad_count;  // count
  const char* type_log_name;
  const char* type_text;  // the list's type
  bool fill;
  bool parallel;
};

// Indexed by TRealTable::WriteKind.
constexpr WriteOp kWriteOps[] = {
    {"OverWriteEx", NoSuchSetPlain, "Invalid Parameter : PWData(%lld)",
     "Invalid Parameter : WriteStart(%lld)", "Invalid Parameter : WriteCount(%lld)", "OverWriteEx",
     "Illegal data type  : %d", false, false},
    {"MppOverWriteEx", NoSuchSetPlain, "Invalid Parameter : PWData", "Invalid Parameter : WriteStart",
     "Invalid Parameter : WriteCount", "MppOverWriteEx", "Illegal data type", false, true},
    {nullptr, nullptr, "", "", "", "FillEx", "Illegal data type  : %d", true, false},
    {"MppFillEx", NoSuchSetIdText, "Invalid Parameter : PWData(%lld)", "Invalid Parameter : WriteStart(%lld)",
     "Invalid Parameter : WriteCount(%lld)", "MppFillEx", "Illegal data type", true, true},
    // The decimal overwrite: only its checks are read from here.
    {"OverWriteExNumeric", NoSuchSetPlain, "Invalid Parameter : PWData(%lld)",
     "Invalid Parameter : WriteStart(%lld)", "Invalid Parameter : WriteCount(%lld)", "OverWriteExNumeric",
     "Illegal data type  : %d", false, false},
};

// The argument texts take their number as a long long: the start is reported less one, which for
// the host's smallest int lies below the int range.
int RefuseWrite(const WriteOp& op, int code, const char* format, long long value) {
  if (op.log_name != nullptr) PutErrorLog(op.log_name, code, getString(format, value));
  return code;
}

// A missing set or filter, recorded with the lookup's own text.
int RefuseMissing(const WriteOp& op, int code, char* (*text)(int id), int id) {
  if (op.log_name != nullptr) PutErrorLog(op.log_name, code, text(id));
  return code;
}

// The argument checks shared by the overwrites and fills, in their order. Returns the number of
// rows to write (min(count, rows from `from` to the end of the set), at least 1) with the set and
// the filter, or the refusal's code.
int CheckWrite(TRealTable* table, const WriteOp& op, int set_id, int filter_id, int from, int count,
               const void* data, TSetArray** set, TFilter** filter) {
  *set = table->GetSet(set_id);
  if (*set == nullptr) return RefuseMissing(op, Q7_ERROR_ILLEGAL_SET_ID, op.no_set, set_id);
  if (data == nullptr) return RefuseWrite(op, Q7_ERROR_INVALID_PARAMETER, op.no_data, 0);
  const int size = (*set)->FArraySize;
  if (from < 1 || from > size) {
    return RefuseWrite(op, Q7_ERROR_INVALID_PARAMETER, op.bad_start, static_cast<long long>(from) - 1);
  }
  if (count < 1) return RefuseWrite(op, Q7_ERROR_INVALID_PARAMETER, op.bad_count, count);
  *filter = table->GetFilter(filter_id);
  if (*filter == nullptr) return RefuseMissing(op, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText, filter_id);
  return std::min(count, size - (from - 1));
}

// The basic type of a filter's value list for a rebuild; another one is recorded and thrown.
int RebuildType(TBaseArray* list, const WriteOp& op) {
  const int type = ArrayDataType(list);
  if (type == Q7_TYPE_INTEGER || type == Q7_TYPE_DOUBLE || type == Q7_TYPE_STRING ||
      type == Q7_TYPE_DECIMAL) {
    return type;
  }
  PutErrorLog(op.type_log_name, Q7_ERROR_ILLEGAL_FILTER_TYPE, getString(op.type_text, type));
  throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
}

// Writes the k value numbers to the records at set positions from .. from + k - 1.
void WriteValueNumbers(TFilter* filter, TSetArray* set, int from, int k, const int* numbers) {
  int* pv = filter->PV->PIntAr();
  const int* rows = set->PIntAr() + from;
  for (int i = 0; i < k; ++i) pv[rows[i]] = numbers[i];
}

// A one-entry value list holding the fill value (for a string, a copy of its text).
std::unique_ptr<TBaseArray> FillValueList(int type, const void* value) {
  const int width = ValueTypeWidth(type);
  auto* block = static_cast<unsigned char*>(zpk_malloc(static_cast<size_t>(width)));
  memcpy(block, value, static_cast<size_t>(width));
  // The fill value is read as the compiler reads values: a null text as the empty text, a NaN
  // double as the NULL (a NaN in a value list would break its order).
  if (type == Q7_TYPE_STRING) {
    const char* text = nullptr;
    memcpy(&text, block, sizeof text);
    if (text == nullptr) {
      static const char kEmpty[] = "";
      text = kEmpty;
      memcpy(block, &text, sizeof text);
    }
  } else if (type == Q7_TYPE_DOUBLE) {
    double v;
    memcpy(&v, block, sizeof v);
    if (std::isnan(v)) {
      v = -HUGE_VAL;
      memcpy(block, &v, sizeof v);
    }
  }
  return std::unique_ptr<TBaseArray>(AdoptCompiledList(type, 1, block));
}

// The decimal list rescaled from `from` to `to` (a larger scale, so nothing rounds and the order
// is kept): entry 0 of the result is the NULL, followed by every non-NULL entry that fits the new
// scale, in order. map[i] receives entry i's new number; an entry that does not fit, and a NULL
// entry, get 0 (the NULL). Returns whether any entry changed its number (the value numbers into
// the list must then be renumbered through map).
bool RescaleDecimalList(TNumericArray* list, const NumericInfo& from, const NumericInfo& to,
                        std::unique_ptr<TNumericArray>* out, std::vector<int>* map) {
  const int count = list->FArraySize;
  auto rescaled = std::make_unique<TNumericArray>(count + 1, 0);
  const Numeric* in = static_cast<const Numeric*>(list->FData);
  Numeric* dst = static_cast<Numeric*>(rescaled->FData);
  dst[0] = q7num::NanNumeric();
  map->assign(static_cast<size_t>(count), 0);
  int kept = 1;
  bool moved = false;
  for (int i = 0; i < count; ++i) {
    Numeric v;
    if (q7num::IsNan(in[i]) || q7num::NumericRescale(&from, &to, &in[i], &v) >= 3 || q7num::IsNan(v)) {
      moved = moved || i != 0;
      continue;
    }
    dst[kept] = v;
    moved = moved || kept != i;
    (*map)[static_cast<size_t>(i)] = kept++;
  }
  rescaled->SetArraySize(kept);
  rescaled->AdjustMemArea();
  rescaled->SetDecimalInfo(&to);
  *out = std::move(rescaled);
  return moved;
}

void Renumber(int* numbers, int n, const std::vector<int>& map) {
  for (int i = 0; i < n; ++i) numbers[i] = map[static_cast<size_t>(numbers[i])];
}

}  // namespace

// ---- Shared steps ----

void TRealTable::BeginRecordChange() {
  CloseFindSession();
  for (int i = 0; i < FnFilter; ++i) FFilters[i]->Taint();
}

void TRealTable::CheckFilterSizes(const char* log_name) {
  const int size = TotalRecs() + 1;
  for (int i = 0; i < FnFilter; ++i) {
    const TIntArray* pv = FFilters[i]->PV;
    if (pv == nullptr || pv->FArraySize != size) {
      PutErrorLog(log_name, Q7_ERROR_ROW_SIZE_OVERFLOW, "Illegal Data Size");
      throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
    }
  }
}

// ---- Deleting and inserting records ----

int TRealTable::DelRows(int from, int count) {
  BeginRecordChange();
  const int n = TotalRecs();
  if (from < 1 || from > n) {
    return Refuse("DelRows", Q7_ERROR_INVALID_ROW_POSITION,
                  getString("Invalid Parameter : DelStart(%d)", from));
  }
  if (count < 1) {
    return Refuse("DelRows", Q7_ERROR_INVALID_PARAMETER,
                  getString("Invalid Parameter : DelCount(%d)", count));
  }
  CheckMergeFilterTVL(false);
  CheckFilterSizes("DelRows");
  // end = min(n + 1, from + count), without overflowing.
  const int end = count > n + 1 - from ? n + 1 : from + count;
  const int d = end - from;

  for (int s = 0; s < FnSet; ++s) {
    TSetArray* set = FSets[s];
    int* rows = set->PIntAr();
    int kept = 0;
    for (int i = 0; i < set->FArraySize; ++i) {
      const int r = rows[i];
      if (r < from) {
        rows[kept++] = r;
      } else if (r >= end) {
        rows[kept++] = r - d;
      }
    }
    set->SetArraySize(kept);
    set->AdjustMemArea();
  }
  for (int f = 0; f < FnFilter; ++f) {
    TIntArray* pv = FFilters[f]->PV;
    int* numbers = pv->PIntAr();
    memmove(numbers + from, numbers + end, sizeof(int) * static_cast<size_t>(n + 1 - end));
    pv->SetArraySize(n + 1 - d);
    pv->AdjustMemArea();
  }
  return d;
}

int TRealTable::DelRowsEx(int set_id, int from, int count) {
  BeginRecordChange();
  TSetArray* set = GetSet(set_id);
  if (set == nullptr) {
    return Refuse("DelRowsEx", Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id));
  }
  const int size = set->FArraySize;
  if (from < 1 || from > size)
    return Refuse("DelRowsEx", Q7_ERROR_INVALID_ROW_POSITION, "Invalid Parameter : DelStart");
  if (count < 1) return Refuse("DelRowsEx", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : DelCount");
  CheckMergeFilterTVL(false);
  const int n = TotalRecs();
  const int last = count > size - (from - 1) ? size : from - 1 + count;
  const int d = last - (from - 1);

  // Everything that can fail is checked before the first filter or set changes, so a failure
  // leaves every filter with one value number per record.
  CheckFilterSizes("DelRowsEx");
  for (int s = 0; s < FnSet; ++s) CheckSetRecords(FSets[s], 0, FSets[s]->FArraySize, n);
  std::vector<uint8_t> keep(static_cast<size_t>(n) + 1, 1);
  ZpkBlock<int> renumber(static_cast<size_t>(n) + 2);
  std::fill(renumber.get(), renumber.get() + n + 1, 1);
  renumber[static_cast<size_t>(n) + 1] = 0;
  const int* rows = set->PIntAr();
  for (int i = from - 1; i < last; ++i) {
    keep[static_cast<size_t>(rows[i])] = 0;
    renumber[static_cast<size_t>(rows[i])] = 0;
  }
  const int kept = static_cast<int>(std::count(keep.begin(), keep.end(), 1));
  if (kept != n + 1 - d) {
    // The deleted rows name one record more than once: deleting would leave the filters shorter
    // than the row count says.
    PutErrorLog("DelRowsEx", Q7_ERROR_ROW_SIZE_OVERFLOW, "Illegal Data Size");
    throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
  }
  Aggregate(0, n + 2, renumber.get(), renumber.get());

  for (int f = 0; f < FnFilter; ++f) {
    TIntArray* pv = FFilters[f]->PV;
    int* numbers = pv->PIntAr();
    int w = 0;
    for (int r = 0; r <= n; ++r) {
      if (keep[static_cast<size_t>(r)]) numbers[w++] = numbers[r];
    }
    pv->SetArraySize(w);
    pv->AdjustMemArea();
  }
  for (int s = 0; s < FnSet; ++s) {
    TSetArray* each = FSets[s];
    int* records = each->PIntAr();
    int w = 0;
    for (int i = 0; i < each->FArraySize; ++i) {
      const int r = records[i];
      if (keep[static_cast<size_t>(r)]) records[w++] = renumber[static_cast<size_t>(r)];
    }
    each->SetArraySize(w);
    each->AdjustMemArea();
  }
  return d;
}

int TRealTable::InsRows(int position, int count) {
  BeginRecordChange();
  if (position < 0) {
    return Refuse("InsRows", Q7_ERROR_INVALID_ROW_POSITION,
                  getString("Invalid Parameter : InsPos(%d)", position));
  }
  const int n = TotalRecs();
  const int at = position == 0 ? 1 : std::min(n + 1, position);
  // A count that would take the record count (or a value-number array) past INT_MAX is refused
  // like any other count the table cannot take.
  if (count < 1 || count > INT_MAX - 1 - n) {
    return Refuse("InsRows", Q7_ERROR_INVALID_PARAMETER,
                  getString("Invalid Parameter : InsCount(%d)", count));
  }
  CheckFilterSizes("InsRows");

  // Every array gets its room first: a failed allocation then leaves the table as it was.
  TSetArray* all = FSets[0];
  if (all->FAllocSize < n + count) all->SetAllocSize(n + count);
  for (int f = 0; f < FnFilter; ++f) {
    TIntArray* pv = FFilters[f]->PV;
    if (pv->FAllocSize < n + 1 + count) pv->SetAllocSize(n + 1 + count);
  }

  all->SetArraySize(n + count);
  all->InitAsSet();
  for (int s = 1; s < FnSet; ++s) {
    int* rows = FSets[s]->PIntAr();
    for (int i = 0; i < FSets[s]->FArraySize; ++i) {
      if (rows[i] >= at) rows[i] += count;
    }
  }
  for (int f = 0; f < FnFilter; ++f) {
    TFilter* filter = FFilters[f];
    TIntArray* pv = filter->PV;
    pv->SetArraySize(n + 1 + count);
    int* numbers = pv->PIntAr();
    memmove(numbers + at + count, numbers + at, sizeof(int) * static_cast<size_t>(n + 1 - at));
    memset(numbers + at, 0, sizeof(int) * static_cast<size_t>(count));
    if (filter->TVLRecNo != nullptr) {
      int* pending_rows = filter->TVLRecNo->PIntAr();
      for (int k = 1; k <= filter->TVLCount; ++k) {
        if (pending_rows[k] >= at) pending_rows[k] += count;
      }
    }
  }
  return count;
}

// ---- Overwriting and filling ----

// The column is rebuilt as the pending list cannot take the write: the new values become a small
// value list of their own, which is merged into the filter's list (renumbering every record), and
// the written rows then take their values' numbers.
void TRealTable::RebuildColumn(int kind, TFilter* filter, TSetArray* set, int from, int k, const void* data) {
  const WriteOp& op = kWriteOps[kind];
  const int type = RebuildType(filter->VL, op);
  CheckSetRecords(set, from, k, filter->PV->FArraySize - 1);
  std::unique_ptr<TIntArray> numbers;
  std::unique_ptr<TBaseArray> list;
  if (op.fill) {
    numbers = std::make_unique<TIntArray>(k, 1);
    list = FillValueList(type, data);
  } else {
    ZpkBlock<int> rows;
    int distinct = 0;
    void* block = nullptr;
    if (op.parallel) {
      MppCompile(k, type, ValueTypeWidth(type), data, rows.Out(), &distinct, &block);
    } else {
      Compile(k, type, ValueTypeWidth(type), data, rows.Out(), &distinct, &block);
    }
    list.reset(AdoptCompiledList(type, distinct, block));
    numbers = std::make_unique<TIntArray>(k, rows.get());
    rows.Release();
  }
  TBaseArray* merged = nullptr;
  if (op.parallel) {
    MppAccommodationMain(filter->PV, filter->VL, numbers.get(), list.get(), &merged);
  } else {
    AccommodationMain(filter->PV, filter->VL, numbers.get(), list.get(), &merged);
  }
  if (merged != nullptr) {
    // The merged list keeps the column's meaning: DATE stays DATE, a decimal keeps its scale.
    CopyListAttributes(filter->VL, merged);
    filter->ReplaceValueList(merged);
  }
  WriteValueNumbers(filter, set, from, k, numbers->PIntAr());
}

int TRealTable::BeginWrite(int kind, int set_id, int filter_id, int from, int count, const void* data,
                           TSetArray** set, TFilter** filter) {
  if (FFindFilterID >= 0 && FFindFilterID == filter_id) CloseFindSession();
  const int k = CheckWrite(this, kWriteOps[kind], set_id, filter_id, from, count, data, set, filter);
  if (k > 0) (*filter)->Taint();
  return k;
}

int TRealTable::WriteRows(int kind, int set_id, int filter_id, int from, int count, const void* data) {
  const WriteOp& op = kWriteOps[kind];
  TSetArray* set = nullptr;
  TFilter* filter = nullptr;
  const int k = BeginWrite(kind, set_id, filter_id, from, count, data, &set, &filter);
  if (k < 0) return k;

  // The parallel fill stores a text without its trailing blanks while trimming is on; the cut is
  // made on a copy, never on the caller's text.
  std::string trimmed;
  const char* trimmed_text = nullptr;
  if (kind == kWriteMppFill && g_cut_last_space && ArrayDataType(filter->VL) == Q7_TYPE_STRING) {
    const char* text = *static_cast<const char* const*>(data);
    trimmed = text != nullptr ? text : "";
    DelLastSpc(trimmed.data());
    trimmed_text = trimmed.c_str();
    data = &trimmed_text;
  }
  if (filter->UseTVL(from - 1, k, data, op.fill, op.parallel, this, set)) return k;
  RebuildColumn(kind, filter, set, from - 1, k, data);
  return k;
}

int TRealTable::OverWriteEx(int set_id, int filter_id, int from, int count, void* data) {
  return WriteRows(kWriteOverWrite, set_id, filter_id, from, count, data);
}

int TRealTable::MppOverWriteEx(int set_id, int filter_id, int from, int count, void* data) {
  return WriteRows(kWriteMppOverWrite, set_id, filter_id, from, count, data);
}

int TRealTable::FillEx(int set_id, int filter_id, int from, int count, void* value) {
  return WriteRows(kWriteFill, set_id, filter_id, from, count, value);
}

int TRealTable::MppFillEx(int set_id, int filter_id, int from, int count, void* value) {
  return WriteRows(kWriteMppFill, set_id, filter_id, from, count, value);
}

int TRealTable::OverWriteExNumeric(int set_id, int filter_id, int from, int count, int scale,
                                   int rounding_mode, void* data) {
  const WriteOp& op = kWriteOps[kWriteNumeric];
  TSetArray* set = nullptr;
  TFilter* filter = nullptr;
  const int k = BeginWrite(kWriteNumeric, set_id, filter_id, from, count, data, &set, &filter);
  if (k < 0) return k;
  const int type = ArrayDataType(filter->VL);
  if (type != Q7_TYPE_DECIMAL) {
    PutErrorLog(op.log_name, Q7_ERROR_ILLEGAL_FILTER_TYPE, getString(op.type_text, type));
    return Q7_ERROR_ILLEGAL_FILTER_TYPE;
  }
  // The merge below needs every record on a number of the value list, none pending.
  filter->MergeTVL(false);
  CheckSetRecords(set, from - 1, k, filter->PV->FArraySize - 1);

  NumericInfo filter_info;
  static_cast<TNumericArray*>(filter->VL)->GetDecimalInfo(&filter_info);
  const NumericInfo new_info{scale, rounding_mode};

  ZpkBlock<int> rows;
  int distinct = 0;
  void* block = nullptr;
  Compile(k, Q7_TYPE_DECIMAL, ValueTypeWidth(Q7_TYPE_DECIMAL), data, rows.Out(), &distinct, &block);
  std::unique_ptr<TNumericArray> list(
      static_cast<TNumericArray*>(AdoptCompiledList(Q7_TYPE_DECIMAL, distinct, block)));
  list->SetDecimalInfo(&new_info);
  auto numbers = std::make_unique<TIntArray>(k, rows.get());
  rows.Release();

  // The list of the smaller scale goes up to the larger one; a value that does not fit there
  // becomes NULL. The filter's list then carries the larger scale and its mode.
  std::unique_ptr<TNumericArray> rescaled;
  std::vector<int> map;
  if (new_info.scale > filter_info.scale) {
    auto* old = static_cast<TNumericArray*>(filter->VL);
    const bool renumber = RescaleDecimalList(old, filter_info, new_info, &rescaled, &map);
    CopyListAttributes(old, rescaled.get());
    rescaled->SetDecimalInfo(&new_info);
    filter->ReplaceValueList(rescaled.release());
    if (renumber) Renumber(filter->PV->PIntAr(), filter->PV->FArraySize, map);
  } else if (new_info.scale < filter_info.scale) {
    if (RescaleDecimalList(list.get(), new_info, filter_info, &rescaled, &map)) {
      Renumber(numbers->PIntAr(), k, map);
    }
    list = std::move(rescaled);
  }

  TBaseArray* merged = nullptr;
  AccommodationMain(filter->PV, filter->VL, numbers.get(), list.get(), &merged);
  if (merged != nullptr) {
    CopyListAttributes(filter->VL, merged);
    filter->ReplaceValueList(merged);
  }
  WriteValueNumbers(filter, set, from - 1, k, numbers->PIntAr());
  return k;
}

// ---- Adding a filter from raw values in parallel ----

int TRealTable::MppAddFilter2(int position, char* name, int type, int count, int, void* data, int unused,
                              int origin_filter_id) {
  if (FnFilter > kMaxFilters - 1) return Q7_ERROR_FILTER_COUNT_OVERFLOW;
  if (name == nullptr || !ToFileName(name)) return Q7_ERROR_ILLEGAL_FILTER_NAME;
  const int id = AddEmptyFilter(position, name, type, unused, origin_filter_id);
  if (count == 0 || id < 0) return id;
  // The new filter stays, NULL in every row, when the write is refused.
  const int rc = MppOverWriteEx(FnSet > 0 ? FSetIDs[0] : 1, id, 1, count, data);
  return rc < 0 ? rc : id;
}

// The detail display: the distinct values of a column over a set, each with its row count.
#include "summary/DetailDisplay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "summary/SourceCheck.h"
#include "summary/SummaryCatch.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ValueListShare.h"
#include "values/ZpkBlock.h"

TDetailDisp* DetailDisp = nullptr;
int DetailHandle = 0;

namespace {

constexpr char kFailedHandle[] = "Failed to open handle";

TTableCollection* Collection() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

int TableValueCount(int table_id, int filter_id, int set_id, int* counts) {
  TBaseTable* table = Collection()->GetTable(table_id);
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  return table->CountN(set_id, filter_id, counts);
}

int PlainSortByCount(int n, int* counts, int* non_zero_count, int* non_zero_index, int* order) {
  int listed = 0;
  for (int i = 0; i < n; ++i) {
    order[i] = i;
    if (counts[i] != 0) non_zero_index[listed++] = i;
  }
  std::stable_sort(order, order + n, [counts](int a, int b) { return counts[a] > counts[b]; });
  *non_zero_count = listed;
  return 0;
}

DetailServices g_services{TableValueCount, PlainSortByCount};

int* NewInts(int n) {
  return static_cast<int*>(zpk_malloc(static_cast<size_t>(std::max(n, 1)) * sizeof(int)));
}

void Check(int result) {
  if (result < 0) throw CQ7Exception(result);
}

}  // namespace

void SetDetailServices(const DetailServices& services) { g_services = services; }

TDetailDisp::TDetailDisp(int table_id, int set_id, int column_id)
    : table_id_(table_id), filter_id_(column_id) {
  // The destructor does not run for a throwing constructor: what was taken so far goes here.
  try {
    table_ = Collection()->GetTable(table_id);
    if (table_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    set_id_ = set_id < 0 ? table_->GetCurrentSetID() : set_id;
    set_ = HasSet(table_, set_id_) ? table_->GetSet(set_id_) : nullptr;
    if (set_ == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_SET_ID);
    filter_ = table_->GetFilter(column_id);
    if (filter_ == nullptr || filter_->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    const bool real = table_->GetTableKind() == 0;
    if (real) static_cast<TRealTable*>(table_)->CheckMergeFilterTVL(true);
    data_type_ = ArrayDataTypeEx(filter_->VL);
    set_rows_ = table_->GetSetSize(set_id_);
    Check(set_rows_);
    RetainValueList(filter_->VL);
    list_ = filter_->VL;
    list_size_ = list_->FArraySize;

    if (real && set_rows_ < (list_size_ >> 3)) {
      compact_ = 1;
      if (set_rows_ == 0) return;  // nothing occurs: N = M = 0
      if (filter_->PV == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
      ZpkBlock<int> numbers(static_cast<size_t>(set_rows_));
      const int* rows = set_->PIntAr();
      const int* per_record = filter_->PV->PIntAr();
      for (int r = 0; r < set_rows_; ++r) numbers[r] = per_record[rows[r]];
      BuildCompact(numbers.get(), set_rows_);
    } else {
      BuildFull();
    }
    occurring_list_ = NewInts(entries_);
    by_frequency_ = NewInts(entries_);
    Check(g_services.sort_by_count(entries_, counts_, &occurring_, occurring_list_, by_frequency_));
  } catch (...) {
    Release();
    throw;
  }
}

void TDetailDisp::BuildCompact(const int* value_numbers, int rows) {
  // Compiled as integers: the ascending distinct value numbers and each row's index among them.
  ZpkBlock<int> entry_of_row;
  void* distinct = nullptr;
  Compile(rows, Q7_TYPE_INTEGER, 4, value_numbers, entry_of_row.Out(), &entries_, &distinct);
  entry_values_ = static_cast<int*>(distinct);
  counts_ = NewInts(entries_);
  std::fill(counts_, counts_ + entries_, 0);
  for (int r = 0; r < rows; ++r) ++counts_[entry_of_row[r]];
}

void TDetailDisp::BuildFull() {
  entries_ = list_size_;
  counts_ = NewInts(entries_);
  std::fill(counts_, counts_ + entries_, 0);
  Check(g_services.value_count(table_id_, filter_id_, set_id_, counts_));
}

TDetailDisp::~TDetailDisp() { Release(); }

void TDetailDisp::Release() noexcept {
  zpk_free(counts_);
  zpk_free(occurring_list_);
  zpk_free(by_frequency_);
  zpk_free(entry_values_);
  counts_ = occurring_list_ = by_frequency_ = entry_values_ = nullptr;
  ReleaseValueList(list_);
  list_ = nullptr;
}

int TDetailDisp::CheckCurrent() {
  // Identity before anything is dereferenced: table IDs are never reissued within a collection, and
  // the held list cannot be freed, so a column listing its values in it is this display's column.
  if (FindTableQuietly(table_id_) != table_ || !HasSet(table_, set_id_) ||
      FindFilterQuietly(table_, filter_id_) != filter_) {
    return Q7_ERROR_INVALID_SUM_HANDLE;
  }
  if (table_->GetTableKind() == 0) {
    try {
      static_cast<TRealTable*>(table_)->CheckMergeFilterTVL(true);
    } catch (...) {
      return Q7_ERROR_UNKNOWN;
    }
  }
  if (filter_->VL != list_ || list_->FArraySize != list_size_ || table_->GetSet(set_id_) != set_ ||
      table_->GetSetSize(set_id_) != set_rows_) {
    return Q7_ERROR_INVALID_SUM_HANDLE;
  }
  return 0;
}

int TDetailDisp::CalcPos(int order, int reverse, int occurring_only, int row) const {
  const int length = occurring_only != 0 ? occurring_ : entries_;
  if (row < 1 || row > length) {
    char text[64];
    // In 64 bits: row INT_MIN has no int predecessor.
    std::snprintf(text, sizeof text, "Invalid Parameter : Row(%lld)", static_cast<long long>(row) - 1);
    PutErrorLog("CalcPos", Q7_ERROR_OUT_OF_RANGE, text);
    return Q7_ERROR_OUT_OF_RANGE;
  }
  const int k = reverse != 0 ? length - row : row - 1;
  // The first M places of the frequency order are the occurring entries, so the occurring-only
  // list by frequency needs no list of its own.
  if (order != 0) return by_frequency_[k];
  return occurring_only != 0 ? occurring_list_[k] : k;
}

void PurgeDetailDisp() {
  delete DetailDisp;
  DetailDisp = nullptr;
}

void ForgetDetailDisp() { DetailDisp = nullptr; }

namespace {

// The steps every read shares: the display, the handle, the display's currency and the position.
// Returns the position (0 or more) or a code, recorded under log_name when log_name is not null.
int ReadPosition(const char* log_name, const char* missing_text, int handle, int order, int reverse,
                 int occurring_only, int row) {
  if (DetailDisp == nullptr) {
    if (log_name != nullptr) PutErrorLog(log_name, Q7_ERROR_DETAIL_FAILED, missing_text);
    return Q7_ERROR_DETAIL_FAILED;
  }
  int code = handle == DetailHandle ? DetailDisp->CheckCurrent() : Q7_ERROR_INVALID_SUM_HANDLE;
  if (code == Q7_ERROR_INVALID_SUM_HANDLE && log_name != nullptr) PutErrorLog(log_name, code, kFailedHandle);
  if (code < 0) return code;
  return DetailDisp->CalcPos(order, reverse, occurring_only, row);
}

int RefuseNull(const char* log_name) {
  PutErrorLog(log_name, Q7_ERROR_INVALID_PARAMETER, "Output area not reserved");
  return Q7_ERROR_INVALID_PARAMETER;
}

int ReadValue(const char* log_name, bool with_info, int handle, int order, int reverse, int occurring_only,
              int row, int* data_type, void* value) {
  if (data_type == nullptr || value == nullptr)
    return RefuseNull(log_name != nullptr ? log_name : "RQ7GetDetailValueStr");
  const int pos =
      ReadPosition(log_name, "Failed to make detailvalue", handle, order, reverse, occurring_only, row);
  if (pos < 0) return pos;
  TBaseArray* list = DetailDisp->ValueList();
  const int type = DetailDisp->DataType();
  *data_type = type;
  auto* out = static_cast<char*>(value);
  if (with_info && type == Q7_TYPE_DECIMAL) {
    auto* decimals = static_cast<TNumericArray*>(list);
    const NumericInfo info{decimals->GetScale(), decimals->GetRoundingMode()};
    std::memcpy(out, &info, sizeof info);
    out += sizeof info;
  }
  list->GetData(DetailDisp->ValueNumber(pos), out);
  return 0;
}

template <class Op>
int Guarded(Op&& op) noexcept {
  return SummaryCaught(nullptr, 0, nullptr, op);
}

}  // namespace

int innerRQ7OpenDetailInfo(int table_id, int set_id, int column_id, int* data_type, int* entries,
                           int* occurring) {
  if (data_type == nullptr || entries == nullptr || occurring == nullptr)
    return RefuseNull("RQ7OpenDetailInfo");
  const int handle = ++DetailHandle;
  PurgeDetailDisp();
  return Guarded([&] {
    auto display = std::make_unique<TDetailDisp>(table_id, set_id, column_id);
    *data_type = display->DataType();
    *entries = display->EntryCount();
    *occurring = display->OccurringCount();
    DetailDisp = display.release();
    return handle;
  });
}

int innerRQ7GetDetailValue(int handle, int order, int reverse, int occurring_only, int row, int* data_type,
                           void* value) {
  return Guarded([&] {
    return ReadValue("RQ7GetDetailValue", true, handle, order, reverse, occurring_only, row, data_type,
                     value);
  });
}

int innerRQ7GetDetailValueStr(int handle, int order, int reverse, int occurring_only, int row, int* data_type,
                              void* value) {
  return Guarded([&] {
    return ReadValue(nullptr, false, handle, order, reverse, occurring_only, row, data_type, value);
  });
}

int innerRQ7GetDetailCount(int handle, int order, int reverse, int occurring_only, int row, int* count) {
  constexpr char kLog[] = "RQ7GetDetailCount";
  return Guarded([&] {
    if (count == nullptr) return RefuseNull(kLog);
    const int pos =
        ReadPosition(kLog, "Failed to make detailcount", handle, order, reverse, occurring_only, row);
    if (pos < 0) return pos;
    *count = DetailDisp->Count(pos);
    return 0;
  });
}

int innerRQ7CloseDetailInfo(int handle) {
  if (handle >= 0 && handle != DetailHandle) return Q7_ERROR_INVALID_SUM_HANDLE;
  PurgeDetailDisp();
  return 0;
}

// The eight summary handles and the operations on the cube summaries they hold.
#include "summary/cube/SummaryHandles.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "summary/DetailDisplay.h"
#include "summary/SummaryCatch.h"
#include "summary/cube/TSummary.h"
#include "values/DateTime.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

TSummary* Summaries[kSummaryHandles] = {};

namespace {

constexpr char kSumHandleText[] = "Invalid Parameter : SumHandle";
constexpr char kFailedToOpen[] = "Failed to open";
constexpr int kNameBufferSize = 256;
// The longest text a value list holds, without its zero byte.
constexpr size_t kLongestText = 4095;

SummaryExtractFn g_extract = nullptr;
SummaryDropFn g_drop = nullptr;

bool ValidHandle(int handle) { return handle >= 0 && handle < kSummaryHandles; }

// The range check every operation but Status starts with: 0, or the recorded refusal's code.
int CheckHandle(const char* log_name, int handle) {
  if (!ValidHandle(handle)) {
    PutErrorLog(log_name, Q7_ERROR_INVALID_SUM_HANDLE, kSumHandleText);
    return Q7_ERROR_INVALID_SUM_HANDLE;
  }
  return 0;
}

int RefuseFree(const char* log_name) {
  PutErrorLog(log_name, Q7_ERROR_NO_SUCH_SUMMARY, kSumHandleText);
  return Q7_ERROR_NO_SUCH_SUMMARY;
}

// Runs one summary operation: a CQ7Exception is recorded under log_name (with `text`, or its own
// message when text is null) and its code returned; anything else is Q7_ERROR_UNKNOWN.
template <class Op>
int Guarded(const char* log_name, const char* text, Op&& op) noexcept {
  return SummaryCaught(log_name, 0, text, op);
}

}  // namespace

int StaleSummaryRefusal(const char* log_name, int handle) {
  if (!ValidHandle(handle) || Summaries[handle] == nullptr || Summaries[handle]->Current()) return 0;
  if (log_name != nullptr) PutErrorLog(log_name, Q7_ERROR_INVALID_SUM_HANDLE, kSumHandleText);
  return Q7_ERROR_INVALID_SUM_HANDLE;
}

void initializeSummaries() {
  for (TSummary*& s : Summaries) s = nullptr;
  ForgetDetailDisp();
}

void PurgeSummaries() {
  PurgeDetailDisp();
  for (TSummary*& s : Summaries) {
    delete s;
    s = nullptr;
  }
}

void SetSummaryExtract(SummaryExtractFn fn) { g_extract = fn; }

int RunSummaryExtract(char* name, int table_id, int set_id, int* filter_ids) {
  int result = 0;
  if (g_extract != nullptr) {
    result = g_extract(name, table_id, set_id, filter_ids);
  } else {
    TTableCollection* db = CSmpEngine::Instance()->Database();
    if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    result = db->MppExtractRealTable(name, table_id, set_id, 0, 0, filter_ids);
  }
  if (result < 0) throw CQ7Exception(result);
  return result;
}

void SetSummaryDrop(SummaryDropFn fn) { g_drop = fn; }

int RunSummaryDrop(int table_id) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) return 0;
  return g_drop != nullptr ? g_drop(table_id) : db->DelTable(table_id);
}

int DefaultDimName(int handle, int /*table*/, int dim, int /*column*/, int count, int category, char** name) {
  static char buffer[kNameBufferSize];
  if (category < 0 || category >= count) {
    PutErrorLog("DefaultDimName", Q7_ERROR_UNKNOWN, "Invalid Parameter : CategoryNo");
    *name = const_cast<char*>("Out of Range");
    return Q7_ERROR_UNKNOWN;
  }
  TSummary* summary = ValidHandle(handle) ? Summaries[handle] : nullptr;
  // The held list, not the column's: the column may be gone.
  TBaseArray* list =
      summary != nullptr && dim >= 0 && dim < summary->DimCount() ? summary->DimList(dim) : nullptr;
  if (list == nullptr || category >= list->FArraySize) {
    PutErrorLog("DefaultDimName", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : DimVL");
    return Q7_ERROR_INVALID_PARAMETER;
  }
  switch (list->GetDataType()) {
    case Q7_TYPE_INTEGER:
      *name = IntToStr(static_cast<TIntArray*>(list)->PIntAr()[category]);
      return 0;
    case Q7_TYPE_DOUBLE: {
      auto* doubles = static_cast<TDoubleArray*>(list);
      const double value = doubles->GetDouble(category);
      switch (doubles->GetExtendType()) {
        case Q7_TYPE_DATE:
          Double2DateStrNoValidation(value, buffer, 0, '/');
          break;
        case Q7_TYPE_TIME:
          Double2TimeStrNoValidation(value, buffer, 0);
          break;
        case Q7_TYPE_DATETIME:
          Double2DateTimeStrNoValidation(value, buffer, 0, 0, '/');
          break;
        default:
          std::snprintf(buffer, sizeof buffer, "%10.*f", 3 + static_cast<int8_t>(list->FUserArea[5]), value);
          break;
      }
      *name = buffer;
      return 0;
    }
    case Q7_TYPE_STRING:
      *name = static_cast<char*>(list->GetAddress(category));
      return 0;
    case Q7_TYPE_DECIMAL: {
      auto* decimals = static_cast<TNumericArray*>(list);
      NumericInfo info;
      decimals->GetDecimalInfo(&info);
      const auto* value = static_cast<const Numeric*>(list->GetAddress(category));
      if (q7num::NumericNum2Str(value, &info, 0, info.scale, buffer, sizeof buffer) < 0) {
        std::snprintf(buffer, sizeof buffer, "######");
      }
      *name = buffer;
      return 0;
    }
    default:
      PutErrorLog("DefaultDimName", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : DimVL");
      return Q7_ERROR_INVALID_PARAMETER;
  }
}

void CopySummaryValue(int value_type, const void* from, const NumericInfo* info, void* to) {
  switch (value_type) {
    case Q7_TYPE_INTEGER:
      std::memcpy(to, from, sizeof(int32_t));
      break;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      std::memcpy(to, from, sizeof(double));
      break;
    case Q7_TYPE_STRING: {
      const size_t length = strnlen(static_cast<const char*>(from), kLongestText);
      std::memcpy(to, from, length);
      static_cast<char*>(to)[length] = '\0';
      break;
    }
    case Q7_TYPE_DECIMAL: {
      std::memcpy(to, from, sizeof(Numeric));
      const NumericInfo none{};
      std::memcpy(static_cast<char*>(to) + sizeof(Numeric), info != nullptr ? info : &none,
                  sizeof(NumericInfo));
      break;
    }
    default:
      break;
  }
}

int innerQ7GetN_Summary() { return kSummaryHandles; }

int innerQ7SummaryOpen(int handle, int table, int set, int dim_count, _TDimensionDef* dims, int measure) {
  constexpr char kLog[] = "Q7SummaryOpen";
  if (const int code = CheckHandle(kLog, handle)) return code;
  if (Summaries[handle] != nullptr) {
    PutErrorLog(kLog, Q7_ERROR_SUMMARY_IN_USE, kSumHandleText);
    return Q7_ERROR_SUMMARY_IN_USE;
  }
  return Guarded(kLog, kFailedToOpen, [&] {
    Summaries[handle] = new TSummary(handle, table, set, dim_count, dims, measure);
    return 0;
  });
}

int innerQ7SummaryStatus(int handle, int* table, int* set, int* dim_count, _TDimensionDef* dims, int* measure,
                         int* computed) {
  if (!ValidHandle(handle)) return Q7_ERROR_INVALID_SUM_HANDLE;
  TSummary* s = Summaries[handle];
  if (s == nullptr) return 0;
  if (const int code = StaleSummaryRefusal(nullptr, handle)) return code;
  // A host asks for what it needs: an output it passes as null is left out.
  if (table != nullptr) *table = s->TableID();
  if (set != nullptr) *set = s->SetID();
  if (dim_count != nullptr) *dim_count = s->DimCount();
  if (dims != nullptr) {
    for (int d = 0; d < TSummary::kMaxDims; ++d) dims[d] = d < s->DimCount() ? s->Dim(d) : _TDimensionDef{};
  }
  if (measure != nullptr) *measure = s->MeasureID();
  if (computed != nullptr) *computed = s->ComputedBits();
  return 1;
}

int innerQ7SummaryExec(int handle, int bits, int* computed) {
  constexpr char kLog[] = "Q7SummaryExec";
  if (const int code = CheckHandle(kLog, handle)) return code;
  TSummary* s = Summaries[handle];
  if (s == nullptr) return RefuseFree(kLog);
  if (const int code = StaleSummaryRefusal(kLog, handle)) return code;
  if (s->ComputedBits() != 0) {
    PutErrorLog(kLog, Q7_ERROR_SUMMARY_STATE, kSumHandleText);
    return Q7_ERROR_SUMMARY_STATE;
  }
  return Guarded(kLog, kFailedToOpen, [&] { return s->SummaryExec(bits, computed); });
}

namespace {

int RefuseNull(const char* log_name, const char* what) {
  char text[64];
  std::snprintf(text, sizeof text, "Invalid Parameter : %s", what);
  PutErrorLog(log_name, Q7_ERROR_INVALID_PARAMETER, text);
  return Q7_ERROR_INVALID_PARAMETER;
}

// The checks and the catch of both cell reads: read(summary, a copy of the categories). The host's
// array holds one category number per dimension of the open summary and may be no longer than that.
template <class Read>
int ReadCell(int handle, const int* categories, const void* result_type, const void* value_type,
             const void* count, const void* value, Read&& read) {
  constexpr char kLog[] = "Q7SummaryRead";
  if (const int code = CheckHandle(kLog, handle)) return code;
  TSummary* s = Summaries[handle];
  if (s == nullptr) return RefuseFree(kLog);
  if (const int code = StaleSummaryRefusal(kLog, handle)) return code;
  if (categories == nullptr && s->DimCount() > 0) return RefuseNull(kLog, "Categories");
  if (result_type == nullptr || value_type == nullptr || count == nullptr || value == nullptr) {
    return RefuseNull(kLog, "Output");
  }
  int cells[TSummary::kMaxDims] = {};
  if (s->DimCount() > 0) std::memcpy(cells, categories, sizeof(int) * static_cast<size_t>(s->DimCount()));
  return Guarded(kLog, kFailedToOpen, [&] { return read(s, cells); });
}

}  // namespace

int innerQ7SummaryRead(int handle, int bit, const int* categories, int* result_type, int* value_type,
                       int* count, void** value) {
  return ReadCell(handle, categories, result_type, value_type, count, value,
                  [&](TSummary* s, const int* cells) {
                    return s->SummaryRead(bit, cells, result_type, value_type, count, value);
                  });
}

int innerQ7SummaryRead2(int handle, int bit, const int* categories, int* result_type, int* value_type,
                        int* count, void** value, NumericInfo** info) {
  return ReadCell(handle, categories, result_type, value_type, count, value,
                  [&](TSummary* s, const int* cells) {
                    return s->SummaryRead2(bit, cells, result_type, value_type, count, value, info);
                  });
}

int innerQ7CategoryRead(int handle, int dim, int category, char** name, int* callback_result) {
  constexpr char kLog[] = "Q7CategoryRead";
  if (name == nullptr) return RefuseNull(kLog, "Name");
  *name = nullptr;
  if (callback_result == nullptr) return RefuseNull(kLog, "CallBackRet");
  if (const int code = CheckHandle(kLog, handle)) return code;
  TSummary* s = Summaries[handle];
  if (s == nullptr) return RefuseFree(kLog);
  if (const int code = StaleSummaryRefusal(kLog, handle)) return code;
  return Guarded(kLog, nullptr, [&]() -> int {
    if (dim < 0 || dim >= s->DimCount()) {
      PutErrorLog(kLog, Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : DimNo");
      return Q7_ERROR_OUT_OF_RANGE;
    }
    const _TDimensionDef& def = s->Dim(dim);
    if (category < 0 || category >= def.category_count) {
      PutErrorLog(kLog, Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : CatNo");
      return Q7_ERROR_OUT_OF_RANGE;
    }
    if (def.name_callback == nullptr) {
      *callback_result = 0;
      *name = def.category_names[category];
      return 0;
    }
    *callback_result =
        def.name_callback(handle, s->TableID(), dim, def.column_id, def.category_count, category, name);
    if (*callback_result != Q7_ERROR_INVALID_PARAMETER) return 0;
    PutErrorLog(kLog, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : CallBackRet");
    return Q7_ERROR_INVALID_PARAMETER;
  });
}

int innerQ7SummaryClose(int handle) {
  constexpr char kLog[] = "Q7SummaryClose";
  if (const int code = CheckHandle(kLog, handle)) return code;
  // The handle is free afterwards whatever the deletion of the temporary table says.
  std::unique_ptr<TSummary> s(Summaries[handle]);
  Summaries[handle] = nullptr;
  if (s == nullptr) return 0;
  return Guarded(kLog, kFailedToOpen, [&] {
    s->DropTempTable();
    return 0;
  });
}

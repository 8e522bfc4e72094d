// Decimal scale changes, high-speed search marks and saves in the previous file version.
#include "api/ops/ops_scale.h"

#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_tables.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CharCode.h"
#include "foundation/SystemHeader.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ValueListShare.h"

namespace {

// ---- Merging equal decimals ----

// For each entry of `values`, the index of its entry in the merged list, and the merged list: NaN
// entries each keep a place of their own (their rows go to entry 0), every other entry goes to
// the first equal one.
struct MergePlan {
  std::vector<Numeric> merged;
  std::vector<int> map;
};

MergePlan PlanMerge(const Numeric* values, int n) {
  MergePlan plan;
  plan.merged.reserve(n);
  plan.map.assign(n, 0);
  // The lists are sorted, and rescaling keeps the order, so equal entries are neighbours and one
  // look at the last kept number finds them. An unsorted list takes the general road.
  bool sorted = true;
  const Numeric* previous = nullptr;
  for (int i = 0; i < n && sorted; ++i) {
    if (q7num::IsNan(values[i])) continue;
    if (previous != nullptr && q7num::Compare(*previous, values[i]) < 0) sorted = false;
    previous = &values[i];
  }
  std::map<std::pair<int64_t, uint64_t>, int> seen;
  int last_number = -1;
  for (int i = 0; i < n; ++i) {
    const Numeric& v = values[i];
    if (q7num::IsNan(v)) {
      plan.merged.push_back(v);
      continue;
    }
    int found = -1;
    if (sorted) {
      if (last_number >= 0 && q7num::Compare(plan.merged[last_number], v) == 0) found = last_number;
    } else {
      auto it = seen.find({v.high, v.low});
      if (it != seen.end()) found = it->second;
    }
    if (found < 0) {
      found = static_cast<int>(plan.merged.size());
      plan.merged.push_back(v);
      if (!sorted) seen.emplace(std::make_pair(v.high, v.low), found);
      last_number = found;
    }
    plan.map[i] = found;
  }
  return plan;
}

// Applies a plan: the list takes the merged entries, every value number its new index. Nothing
// here can fail once the plan exists (the list only shrinks).
void ApplyMerge(TNumericArray* list, TIntArray* numbers, const MergePlan& plan) {
  auto* data = static_cast<Numeric*>(list->FData);
  if (!plan.merged.empty()) memcpy(data, plan.merged.data(), plan.merged.size() * sizeof(Numeric));
  list->SetArraySize(static_cast<int>(plan.merged.size()));
  int* pv = numbers->PIntAr();
  for (int r = 0; r < numbers->FArraySize; ++r) pv[r] = plan.map[pv[r]];
}

// The checks of innerQ7NumericFltUpDate; throws with nothing changed.
TNumericArray* CheckedDecimalList(TBaseArray* list, TIntArray* numbers) {
  if (list == nullptr || numbers == nullptr) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : %s", list == nullptr ? "VL" : "PV");
  }
  if (list->GetDataType() != Q7_TYPE_DECIMAL) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE, "Invalid Filter Type (Not NumericType)");
  }
  const int n = list->FArraySize;
  const int* pv = numbers->PIntAr();
  for (int r = 0; r < numbers->FArraySize; ++r) {
    if (pv[r] < 0 || pv[r] >= n) {
      throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Illegal value number : PV[%d] = %d", r, pv[r]);
    }
  }
  return static_cast<TNumericArray*>(list);
}

MergePlan PlanMergeOrThrow(const Numeric* values, int n) {
  try {
    return PlanMerge(values, n);
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY, "Out of memory (ConvArray Area )");
  }
}

// ---- High-speed search ----

struct MarkTarget {
  TRealTable* table;
  TSetArray* set;
  TFilter* filter;
};

TRealTable* HighSpeedTable(const char* ring, int table_id) {
  RequireDatabase(ring);
  return FindRealTable(ring, table_id, MissEntry::kTrailingBlank, "Not RealTable: %d ",
                       Q7_ERROR_NOT_REAL_TABLE);
}

MarkTarget FindMarkTarget(const char* ring, int table_id, int set_id, int filter_id) {
  TRealTable* table = HighSpeedTable(ring, table_id);
  TSetArray* set = FindSet(ring, table, set_id, MissEntry::kTrailingBlank, Q7_ERROR_NO_SUCH_SET);
  TFilter* filter = FindFilter(ring, table, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
  return {table, set, filter};
}

// ---- Old-version saves ----

int OSCharCode() {
  char name[kCharCodeNameSize];
  return getOSCharCode(name);
}

}  // namespace

// ---- Decimal scale ----

int innerQ7NumericFltUpDate(TBaseArray* value_list, TIntArray* value_numbers) {
  return RunOp("innerQ7NumericFltUpDate", [&] {
    TNumericArray* list = CheckedDecimalList(value_list, value_numbers);
    const MergePlan plan = PlanMergeOrThrow(static_cast<const Numeric*>(list->FData), list->FArraySize);
    ApplyMerge(list, value_numbers, plan);
    return 0;
  });
}

int innerQ7SetNumericInfo(int table_id, int filter_id, const NumericInfo* info, bool check_shared) {
  constexpr char kRing[] = "innerQ7SetNumericInfo";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kRing, [&] {
        TBaseTable* table = FindTable(kRing, table_id);
        const int referring = innerQ7TableCanEdit(table_id, nullptr);
        if (referring < 0) Refuse(kRing, referring, referring, "Not Editable: %d", table_id);
        if (referring > 0)
          Refuse(kRing, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", table_id);
        auto* real = static_cast<TRealTable*>(table);  // TableCanEdit accepts real tables only
        TFilter* filter = FindFilter(kRing, real, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
        if (check_shared && (filter->VL == nullptr || filter->VL->FNotOwned != 0)) {
          RefuseSilently(Q7_ERROR_SHARED_READ_ONLY);
        }
        if (filter->VL == nullptr || filter->VL->GetDataType() != Q7_TYPE_DECIMAL) {
          Refuse(kRing, Q7_ERROR_ILLEGAL_FILTER, Q7_ERROR_ILLEGAL_FILTER,
                 "Invalid Filter Type (Not NumericType)");
        }
        if (info == nullptr) {
          Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
                 "Invalid Parameter (Ninfo is NULL)");
        }
        if (static_cast<unsigned>(info->scale) > static_cast<unsigned>(q7num::kMaxColumnScale)) {
          Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
                 "Invalid Parameter : scale(%d)", info->scale);
        }
        if (!q7num::IsValidMode(info->roundingMode)) {
          Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
                 "Invalid Parameter : rounding_mode(%d)", info->roundingMode);
        }
        const NumericInfo target = *info;
        real->CheckMergeFilterTVL(true);

        // The new list is built aside; the filter changes only once it is complete.
        auto* old_list = static_cast<TNumericArray*>(filter->VL);
        NumericInfo from{};
        old_list->GetDecimalInfo(&from);
        std::unique_ptr<TNumericArray> list(static_cast<TNumericArray*>(old_list->CopyArray()));
        memcpy(list->FUserArea, old_list->FUserArea, sizeof list->FUserArea);
        auto* values = static_cast<Numeric*>(list->FData);
        for (int i = 1; i < list->FArraySize; ++i) {
          Numeric rescaled = q7num::NanNumeric();
          const int status = q7num::NumericRescale(&from, &target, &values[i], &rescaled);
          if (status == Q7_NUMERIC_OVERFLOW_POSITIVE || status == Q7_NUMERIC_OVERFLOW_NEGATIVE ||
              status < 0) {
            Refuse(kRing, Q7_ERROR_OUT_OF_RANGE, Q7_ERROR_OUT_OF_RANGE, "Value out of range : scale(%d)",
                   target.scale);
          }
          values[i] = rescaled;
        }
        list->SetDecimalInfo(&target);
        CheckedDecimalList(list.get(), filter->PV);
        const MergePlan plan = PlanMergeOrThrow(values, list->FArraySize);

        // From here on nothing can fail.
        ApplyMerge(list.get(), filter->PV, plan);
        filter->ReplaceValueList(list.release());  // a borrowed list only loses this filter's hold
        return 0;
      }));
}

// ---- High-speed search ----

int innerQ7HighSpeedSearchSetMark(int table_id, int set_id, int filter_id, bool mark) {
  constexpr char kRing[] = "innerQ7HighSpeedSearchSetMark";
  const int result = RunOp(kRing, [&] {
    const MarkTarget t = FindMarkTarget(kRing, table_id, set_id, filter_id);
    t.table->CheckMergeFilterTVL(true);
    if (!mark) {
      t.set->RemoveSortedSet(t.filter);
      return 0;
    }
    if (t.set->GetSortedSet(t.filter) != nullptr) return 0;
    auto owned = std::make_unique<TSortedSetArray>();
    owned->initialize(t.set, t.filter);
    // Registered now: the view belongs to the set and the filter.
    TSortedSetArray* view = owned.release();
    view->Taint();
    if (t.filter->FHighSpeed != 0) view->Reclaim();
    return 0;
  });
  return ChangedOnSuccess(Changes::kSets, result);
}

int innerQ7HighSpeedSearchHasMark(int table_id, int set_id, int filter_id) {
  constexpr char kRing[] = "innerQ7HighSpeedSearchHasMark";
  return RunOp(kRing, [&] {
    const MarkTarget t = FindMarkTarget(kRing, table_id, set_id, filter_id);
    return t.set->GetSortedSet(t.filter) != nullptr ? 1 : 0;
  });
}

int innerQ7HighSpeedSearchEnable(int table_id, int filter_id, bool on) {
  constexpr char kRing[] = "innerQ7HighSpeedSearchEnable";
  const int result = RunOp(kRing, [&] {
    TRealTable* table = HighSpeedTable(kRing, table_id);
    if (filter_id == -1) {
      for (int i = 0; i < table->FnFilter; ++i) table->FFilters[i]->HighSpeedSearchEnable(on);
      return 0;
    }
    if (filter_id < 1) RefuseSilently(Q7_ERROR_ILLEGAL_FILTER);
    FindFilter(kRing, table, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER)
        ->HighSpeedSearchEnable(on);
    return 0;
  });
  return ChangedOnSuccess(Changes::kTables, result);
}

int innerQ7HighSpeedSearchIsEnabled(int table_id, int filter_id) {
  constexpr char kRing[] = "innerQ7HighSpeedSearchIsEnabled";
  return RunOp(kRing, [&] {
    TRealTable* table = HighSpeedTable(kRing, table_id);
    if (filter_id == -1) {
      for (int i = 0; i < table->FnFilter; ++i) {
        if (table->FFilters[i]->FHighSpeed != 0) return 1;
      }
      return 0;
    }
    if (filter_id < 1) RefuseSilently(Q7_ERROR_ILLEGAL_FILTER);
    return FindFilter(kRing, table, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER)->FHighSpeed != 0
               ? 1
               : 0;
  });
}

// ---- Saves in the previous file version ----

bool FileVerson_ExistChack(int version) { return version == kOldFileVersion; }

bool DbCode_UsedChack() { return getSystemInfoDBCharCode() != OSCharCode(); }

int innerQ7SavePossibleCheck(int table_id, int version) {
  constexpr char kRing[] = "innerQ7SavePossibleCheck";
  return RunOp(kRing, [&] {
    if (!FileVerson_ExistChack(version)) {
      Refuse(kRing, Q7_ERROR_UNKNOWN, Q7_ERROR_INVALID_FILE_VERSION, "fileversion is not exist : %d",
             version);
    }
    if (RequireDatabase(kRing)->NumericUsedCheck(table_id) || DbCode_UsedChack()) {
      Refuse(kRing, Q7_ERROR_UNKNOWN, Q7_ERROR_NO_FILE_VERSION, "Invalid fileversion");
    }
    return 0;
  });
}

int innerQ7SaveDBAsOldver(const char* path, const char* name, int version) {
  return SaveDatabaseFile("Q7SaveDBAs", path, name, version);
}

int innerQ7SaveRealTableOldver(const char* path, int table_id, int version) {
  return SaveRealTableFile("Q7SaveRealTable", "Failed to save realtable ( SaveRealTable module )", path,
                           nullptr, table_id, version);
}

int innerQ7SaveRealTableAsOldver(const char* path, const char* name, int table_id, int version) {
  return SaveRealTableFile("Q7SaveRealTableAs", "Failed to save realtable ( SaveRealTableAs module )", path,
                           name != nullptr ? name : "", table_id, version);
}

namespace {

// The saves in the previous file version run only after the check that the version can hold the
// data; a refusal is returned as it is.
template <class Save>
int AfterSaveCheck(int table_id, int version, Save save) {
  const int check = innerQ7SavePossibleCheck(table_id, version);
  return check < 0 ? check : save();
}

}  // namespace

int innerRQ7SaveDBAsOldVer(const char* path, const char* name, int version) {
  return AfterSaveCheck(0, version, [&] { return innerQ7SaveDBAsOldver(path, name, version); });
}

int innerRQ7SaveRealTableOldVer(const char* path, int table_id, int version) {
  return AfterSaveCheck(table_id, version,
                        [&] { return innerQ7SaveRealTableOldver(path, table_id, version); });
}

int innerRQ7SaveRealTableAsOldVer(const char* path, const char* name, int table_id, int version) {
  return AfterSaveCheck(table_id, version,
                        [&] { return innerQ7SaveRealTableAsOldver(path, name, table_id, version); });
}

// Filling a new, empty real table from other real tables: a duplicate of a whole table, an
// extract of one set, and the combination of a set of one table with a set of another.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "database/DerivedColumns.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"

namespace {

constexpr char kCombineLog[] = "CombineRealTable";

// Appends a built column under a copy of the name (the filter layer rewrites the name it is given,
// and it may be a source filter's own). A refusal is thrown with its code; the arrays are the
// table's only once the filter stands.
void AddColumn(TRealTable* table, int position, const char* name, DerivedColumn column) {
  char work[TFilter::kNameSize];
  qz7_strlcpy(work, name, sizeof work);
  const int id = table->AddFilter(position, work, column.numbers.get(), column.list.get(), false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  column.numbers.release();
  column.list.release();
}

// An INTEGER column compiled from one value per record; a refusal is thrown with `code`, or with
// the refusal's own code when `code` is 0.
void AddIntColumn(TRealTable* table, int position, const char* name, const int* values, int count,
                  int code = 0) {
  char work[TFilter::kNameSize];
  qz7_strlcpy(work, name, sizeof work);
  const int rc = table->AddFilter2(position, work, Q7_TYPE_INTEGER, count, 4, values, 0, -1);
  if (rc < 0) throw CQ7Exception(code != 0 ? code : rc);
}

const int* Elements(TSetArray* set) { return set->FArraySize > 0 ? set->PIntAr() : nullptr; }

// Entry i of a filter-ID list; a list that is not there reads as 0 everywhere.
int Entry(const int* ids, int i) { return ids != nullptr ? ids[i] : 0; }

// The consuming combine gives a source column up once the last pair that names it is built. A join
// key refuses to go; the source then keeps it. By ID: when both sides are one table, the first
// count-down of a pair may already have dropped the filter of the second.
void CountDown(TRealTable* source, int id, int n_filter, const int* all, int* uses) {
  if (id < 1 || all == nullptr || uses == nullptr) return;
  for (int j = 0; j < n_filter; ++j) {
    if (all[j] != id) continue;
    if (uses[j] > 0 && --uses[j] == 0) source->DropFilter(id);
    return;
  }
}

}  // namespace

int TRealTable::DuplicateRealTable(TRealTable* source) {
  source->CheckMergeFilterTVL(false);
  for (int i = 0; i < source->FnFilter; ++i) {
    TFilter* filter = source->GetFilter(source->FFilters[i]->FFilterID);
    if (filter == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    AddColumn(this, i, filter->FFilterName, CopyColumn(filter));
  }
  return RegisterCopyOfAllRows(this, source, false);
}

void TRealTable::ExtractRealTable(int set_id, TRealTable* source, int add_table_id, int add_rec_no,
                                  int* filter_ids) {
  source->CheckMergeFilterTVL(false);
  TSetArray* set = source->GetSet(set_id);
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  const int n = set->FArraySize;
  const int* rows = Elements(set);
  RegisterAllRows(this, n);

  int budget = kMaxFilters;
  int position = 0;
  if (add_table_id != 0) {
    const std::vector<int> ids(static_cast<size_t>(n), source->FTableID);
    AddIntColumn(this, position++, "#TABLE_ID", ids.data(), n, Q7_ERROR_INNER_ENGINE);
    --budget;
  }
  if (add_rec_no != 0) {
    AddIntColumn(this, position++, "#REC_NO", rows, n, Q7_ERROR_INNER_ENGINE);
    --budget;
  }
  for (int k = 0; k < budget && Entry(filter_ids, k) >= 1; ++k) {
    TFilter* filter = source->GetFilter(filter_ids[k]);
    if (filter == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    AddColumn(this, position + k, filter->FFilterName, ExtractColumn(filter, rows, n));
  }
}

void TRealTable::CombineRealTable(int add_table_id, int add_rec_no, int set_a, int* ids_a, TRealTable* a,
                                  int set_b, int* ids_b, TRealTable* b, int n_filter_a, int n_filter_b,
                                  int* all_a, int* all_b, int* uses_a, int* uses_b) {
  TSetArray* sa = a->GetSet(set_a);
  TSetArray* sb = sa != nullptr ? b->GetSet(set_b) : nullptr;
  if (sa == nullptr || sb == nullptr) {
    PutErrorLog(kCombineLog, Q7_ERROR_NO_SUCH_SOURCE_SET, NoSuchSetText(sa == nullptr ? set_a : set_b));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SOURCE_SET);
  }
  const int n_a = sa->FArraySize;
  const int n_b = sb->FArraySize;
  if (int64_t{n_a} + n_b >= INT32_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  a->CheckMergeFilterTVL(false);
  if (b != a) b->CheckMergeFilterTVL(false);
  RegisterAllRows(this, n_a + n_b);

  const int extras = (add_table_id != 0 ? 1 : 0) + (add_rec_no != 0 ? 1 : 0);
  int pairs = 0;
  for (; pairs < kMaxFilters - extras; ++pairs) {
    const int fa = Entry(ids_a, pairs);
    const int fb = Entry(ids_b, pairs);
    if (fa < 1 && fb < 1) break;
    if (fa < 0 || fb < 0) {
      PutErrorLog(kCombineLog, Q7_ERROR_ILLEGAL_FILTER, "Invalid Parameter : FltIDList1,FltIDList2");
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
    }
  }

  const int* rows_a = Elements(sa);
  const int* rows_b = Elements(sb);
  if (add_table_id != 0) {
    std::vector<int> ids(static_cast<size_t>(n_a) + n_b, b->FTableID);
    std::fill(ids.begin(), ids.begin() + n_a, a->FTableID);
    AddIntColumn(this, kAppendPosition, "TableID", ids.data(), n_a + n_b);
  }
  if (add_rec_no != 0) {
    std::vector<int> records(rows_a, rows_a + n_a);
    records.insert(records.end(), rows_b, rows_b + n_b);
    // Named by the filter-naming rule, which makes it "RECNO".
    AddIntColumn(this, kAppendPosition, "RecNo", records.data(), n_a + n_b);
  }
  for (int i = 0; i < pairs; ++i) {
    const int id_a = Entry(ids_a, i);
    const int id_b = Entry(ids_b, i);
    TFilter* fa = id_a >= 1 ? a->GetFilter(id_a) : nullptr;
    if (id_a >= 1 && fa == nullptr) {
      PutErrorLog(kCombineLog, Q7_ERROR_NO_SUCH_FILTER,
                  getString("No Such Filter: FltIDList1[%d](%d)", i, id_a));
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }
    TFilter* fb = id_b >= 1 ? b->GetFilter(id_b) : nullptr;
    if (id_b >= 1 && fb == nullptr) {
      PutErrorLog(kCombineLog, Q7_ERROR_NO_SUCH_FILTER,
                  getString("No Such Filter: FltIDList2[%d](%d)", i, id_b));
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }
    AddColumn(this, kAppendPosition, (fa != nullptr ? fa : fb)->FFilterName,
              CombineColumn(fa, rows_a, n_a, fb, rows_b, n_b));
    CountDown(a, id_a, n_filter_a, all_a, uses_a);
    CountDown(b, id_b, n_filter_b, all_b, uses_b);
  }
}

// New real tables made from the database's own real tables: duplicates, extracts, combinations of
// two tables and the combined listing of the rows of many tables.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "database/DerivedColumns.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "values/ArrayFunctions.h"
#include "values/TIntArray.h"

namespace {

constexpr int kMaxListedTables = 64;
constexpr int kDataLists = 4;

// The index of id in the first n entries of ids, or -1.
int IndexOf(const int* ids, int n, int id) {
  const int* end = ids + n;
  const int* at = std::find(ids, end, id);
  return at == end ? -1 : static_cast<int>(at - ids);
}

}  // namespace

// ---- Shared steps ----

TRealTable* TTableCollection::FindSourceRealTable(int table_id) {
  TBaseTable* table = GetTable(table_id);
  if (table == nullptr) ThrowNoSuchTable(Q7_ERROR_NO_SUCH_TABLE, table_id);
  if (table->GetType() != TBaseTable::kTypeReal) {
    throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "Illegal table type ( Not REAL )");
  }
  return static_cast<TRealTable*>(table);
}

int TTableCollection::AddBuiltRealTable(char* name, const std::function<void(TRealTable*)>& fill) {
  // Built under the ID it is going to get, which is issued only once the table is complete: a
  // failure leaves neither a table nor a used ID behind.
  std::unique_ptr<TRealTable> table(new (std::nothrow) TRealTable(FTblIDIssued + 1, name, this));
  if (!table) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  fill(table.get());
  const int id = IssueTableID();
  AppendTable(table.release());
  return id;
}

// ---- Duplicate and extract ----

int TTableCollection::DuplicateRealTable(char* name, int source_id) {
  return DuplicateRealTableWith(&TRealTable::DuplicateRealTable, name, source_id);
}

int TTableCollection::DuplicateRealTableWith(DuplicateFill fill, char* name, int source_id) {
  if (Full()) return Q7_ERROR_TABLE_COUNT_OVERFLOW;
  TRealTable* source = FindSourceRealTable(source_id);
  return AddBuiltRealTable(name, [&](TRealTable* table) { (table->*fill)(source); });
}

int TTableCollection::ExtractRealTable(char* name, int source_id, int set_id, int add_table_id,
                                       int add_rec_no, int* filter_ids) {
  return ExtractRealTableWith(&TRealTable::ExtractRealTable, name, source_id, set_id, add_table_id,
                              add_rec_no, filter_ids);
}

int TTableCollection::ExtractRealTableWith(ExtractFill fill, char* name, int source_id, int set_id,
                                           int add_table_id, int add_rec_no, int* filter_ids) {
  if (Full()) throw CQ7Exception(Q7_ERROR_TABLE_COUNT_OVERFLOW, "TableCount overflow");
  char unique[TBaseTable::kNameSize];
  if (GenTableName(name, unique) < 0) throw CQ7Exception(Q7_ERROR_TABLE_NAME_GENERATION);
  TRealTable* source = FindSourceRealTable(source_id);
  return AddBuiltRealTable(unique, [&](TRealTable* table) {
    (table->*fill)(set_id, source, add_table_id, add_rec_no, filter_ids);
  });
}

// ---- Combining two tables ----

int TTableCollection::CombineRealTable(char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                                       int* ids_a, int table_b, int set_b, int* ids_b, int consume_sources) {
  return CombineRealTableWith(&TRealTable::CombineRealTable, "CombineRealTable", name, add_table_id,
                              add_rec_no, table_a, set_a, ids_a, table_b, set_b, ids_b, consume_sources);
}

int TTableCollection::CombineRealTableWith(CombineFill fill, const char* overflow_log, char* name,
                                           int add_table_id, int add_rec_no, int table_a, int set_a,
                                           int* ids_a, int table_b, int set_b, int* ids_b,
                                           int consume_sources) {
  if (Full()) {
    if (overflow_log != nullptr)
      PutErrorLog(overflow_log, Q7_ERROR_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_TABLE_COUNT_OVERFLOW;
  }
  char unique[TBaseTable::kNameSize];
  if (GenTableName(name, unique) < 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME);
  TRealTable* a = FindSourceRealTable(table_a);
  TRealTable* b = FindSourceRealTable(table_b);
  if (a->GetSetSize(set_a) < 0 || b->GetSetSize(set_b) < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);

  // A missing pair list stands for the table's filters in display order, then -1s.
  int all_a[TRealTable::kMaxFilters];
  int all_b[TRealTable::kMaxFilters];
  std::fill(all_a, all_a + TRealTable::kMaxFilters, -1);
  std::fill(all_b, all_b + TRealTable::kMaxFilters, -1);
  const int n_filter_a = a->GetFilterIDList(all_a);
  const int n_filter_b = b->GetFilterIDList(all_b);
  int* list_a = ids_a != nullptr ? ids_a : all_a;
  int* list_b = ids_b != nullptr ? ids_b : all_b;

  const bool consume = consume_sources != 0;
  // How many pairs name each source filter; one count serves both sides of a table combined with
  // itself, so that its filter goes only after the last pair of either side.
  std::vector<int> uses_a(TRealTable::kMaxFilters, 0);
  std::vector<int> uses_b(TRealTable::kMaxFilters, 0);
  std::vector<int>& counts_b = a == b ? uses_a : uses_b;
  for (int i = 0; i < TRealTable::kMaxFilters; ++i) {
    const int fa = list_a[i];
    const int fb = list_b[i];
    if (fa < 1 && fb < 1) break;
    if (fa < 0 || fb < 0) throw CQ7Exception(Q7_ERROR_FILTER_TYPE_MISMATCH);
    if (fa >= 1 && fb >= 1) {
      TFilter* x = a->GetFilter(fa);
      TFilter* y = b->GetFilter(fb);
      if (x == nullptr || y == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
      if (ArrayDataType(x->VL) != ArrayDataType(y->VL)) throw CQ7Exception(Q7_ERROR_FILTER_TYPE_MISMATCH);
    } else if (consume && (fa >= 1 ? a->GetFilter(fa) : b->GetFilter(fb)) == nullptr) {
      // Found now, before any source filter is given up, rather than halfway through the table.
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }
    if (!consume) continue;
    if (const int j = IndexOf(all_a, n_filter_a, fa); j >= 0) ++uses_a[static_cast<size_t>(j)];
    if (const int j = IndexOf(all_b, n_filter_b, fb); j >= 0) ++counts_b[static_cast<size_t>(j)];
  }

  int id = 0;
  try {
    id = AddBuiltRealTable(unique, [&](TRealTable* table) {
      if (consume) {
        // Columns no pair uses go before the first column is built.
        for (int j = 0; j < n_filter_a; ++j) {
          if (uses_a[static_cast<size_t>(j)] == 0) a->DropFilter(all_a[j]);
        }
        for (int j = 0; j < n_filter_b && b != a; ++j) {
          if (uses_b[static_cast<size_t>(j)] == 0) b->DropFilter(all_b[j]);
        }
      }
      (table->*fill)(add_table_id, add_rec_no, set_a, list_a, a, set_b, list_b, b, n_filter_a, n_filter_b,
                     consume ? all_a : nullptr, consume ? all_b : nullptr, consume ? uses_a.data() : nullptr,
                     consume ? counts_b.data() : nullptr);
    });
  } catch (...) {
    // A source that has given up columns does not stay behind half emptied.
    if (consume && (a->FnFilter != n_filter_a || b->FnFilter != n_filter_b)) {
      DelTable(table_a);
      if (table_b != table_a) DelTable(table_b);
    }
    throw;
  }
  if (consume) {
    // A source that others depend on stays, without the columns it gave up.
    DelTable(table_a);
    if (table_b != table_a) DelTable(table_b);
  }
  return id;
}

// ---- Combining the rows of a list of tables ----

int TTableCollection::CombineTableList(char* name, int* table_ids, int* set_ids, int** data_lists) {
  constexpr char kLog[] = "CombineTableList";
  auto refuse = [&](int code, const char* message) {
    PutErrorLog(kLog, code, message);
    return code;
  };
  if (Full()) return refuse(Q7_ERROR_TABLE_COUNT_OVERFLOW, "TableCount overflow");
  char unique[TBaseTable::kNameSize];
  if (GenTableName(name, unique) < 0) {
    return refuse(Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME, getString("Invalid Parameter : PCTblName(%s)", name));
  }

  struct Source {
    TRealTable* table;
    TSetArray* set;
    TFilter* data[kDataLists];
  };
  std::vector<Source> sources;
  int64_t total = 0;
  for (int i = 0; i < kMaxListedTables && table_ids != nullptr && table_ids[i] >= 1; ++i) {
    const int table_id = table_ids[i];
    TBaseTable* table = GetTable(table_id);
    if (table == nullptr) return refuse(Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
    if (table->GetType() != TBaseTable::kTypeReal) {
      return refuse(Q7_ERROR_NO_SUCH_TABLE, "Illegal table type ( Not REAL )");
    }
    Source source{static_cast<TRealTable*>(table), nullptr, {}};
    const int set_id = set_ids != nullptr ? set_ids[i] : 0;
    source.set = set_ids != nullptr ? table->GetSet(set_id) : nullptr;
    if (source.set == nullptr) {
      return refuse(Q7_ERROR_NO_SUCH_SET, getString("No Such Set: SetIDList[%d] %d]", i, set_id));
    }
    for (int j = 0; j < kDataLists; ++j) {
      if (data_lists == nullptr || data_lists[j] == nullptr) continue;
      const int filter_id = data_lists[j][i];
      const int pos = source.table->FilterID2Pos(filter_id);
      if (pos < 0) return refuse(Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
      source.data[j] = source.table->FFilters[pos];
      if (ArrayDataType(source.data[j]->VL) != Q7_TYPE_INTEGER) {
        return refuse(Q7_ERROR_ILLEGAL_FILTER_TYPE, "Illegal data type ( Not INTEGER )");
      }
    }
    total += source.set->FArraySize;
    sources.push_back(source);
  }
  if (sources.empty()) return refuse(Q7_ERROR_NO_SUCH_TABLE, "Not Real Table");
  if (total >= INT32_MAX) return refuse(Q7_ERROR_ROW_SIZE_OVERFLOW, "Invalid Parameter : TotalRows");
  const int n = static_cast<int>(total);

  try {
    // Only once every source has passed: a refused call leaves the sources as they were.
    for (const Source& s : sources) s.table->CheckMergeFilterTVL(false);
    return AddBuiltRealTable(unique, [&](TRealTable* combined) {
      RegisterAllRows(combined, n);
      std::vector<int> values(static_cast<size_t>(n));
      auto add = [&](const char* column_name) {
        char work[TFilter::kNameSize];
        qz7_strlcpy(work, column_name, sizeof work);
        const int rc = combined->AddFilter2(TRealTable::kAppendPosition, work, Q7_TYPE_INTEGER, n, 4,
                                            values.data(), 0, -1);
        if (rc < 0) throw CQ7Exception(rc);
      };
      // One pass over every source's rows in order, writing each row's value.
      auto fill_rows = [&](auto value_of) {
        size_t at = 0;
        for (const Source& s : sources) {
          const int* rows = s.set->PIntAr();
          for (int r = 0; r < s.set->FArraySize; ++r) values[at++] = value_of(s, rows[r]);
        }
      };
      fill_rows([](const Source& s, int) { return s.table->FTableID; });
      add("TableID");
      fill_rows([](const Source&, int record) { return record; });
      add("RecNo");  // named "RECNO" by the filter-naming rule
      for (int j = 0; j < kDataLists; ++j) {
        if (data_lists == nullptr || data_lists[j] == nullptr) continue;
        fill_rows([j](const Source& s, int record) {
          TFilter* filter = s.data[j];
          if (filter->PV == nullptr || record < 1 || record >= filter->PV->FArraySize) {
            throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
          }
          const int v = filter->PV->PIntAr()[record];
          if (v < 0 || v >= filter->VL->FArraySize) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
          return static_cast<const int*>(filter->VL->FData)[v];
        });
        add("DATA");
      }
    });
  } catch (const CQ7Exception& e) {
    PutErrorLog(kLog, e.ErrorCode(), e.Message());
    throw;
  }
}

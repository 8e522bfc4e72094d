// Tree tables (the real tables a realised join chain makes): qualifying their records with the
// columns of another real table, and deleting nodes with their subtrees.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/TIntArray.h"

namespace {

constexpr int kDepthFilterID = 1;
constexpr int kNodeFilterID = 2;
constexpr int kNullInt = INT_MIN;

bool IsIntegerFilter(const TFilter* f) {
  return f != nullptr && f->PV != nullptr && f->VL != nullptr && ArrayDataType(f->VL) == Q7_TYPE_INTEGER;
}

TFilter* FilterOf(TRealTable* table, int filter_id) {
  const int pos = table->FilterID2Pos(filter_id);
  return pos < 0 ? nullptr : table->FFilters[pos];
}

// The value number of a record; 0 (NULL) for a record outside the column.
int VnoAt(const TFilter* f, int record) {
  if (record < 0 || record >= f->PV->FArraySize) return 0;
  const int v = f->PV->PIntAr()[record];
  return v >= 0 && v < f->VL->FArraySize ? v : 0;
}

// The INTEGER value of a record (the NULL value for one outside the column).
int IntAt(const TFilter* f, int record) { return static_cast<const int*>(f->VL->FData)[VnoAt(f, record)]; }

}  // namespace

int TTableCollection::Qualify(int treeTable, int depth, int sourceTable, const int* SrcFltIDs, int inherit) {
  constexpr char kLog[] = "Qualify";
  auto refuse = [&](int code, const char* message) {
    PutErrorLog(kLog, code, message);
    return code;
  };
  auto find_real = [&](int table_id, TRealTable** out) {
    TBaseTable* table = GetTable(table_id);
    if (table == nullptr) return refuse(Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
    if (table->GetType() != TBaseTable::kTypeReal) {
      return refuse(Q7_ERROR_NOT_REAL_TABLE, "Illegal table type ( Not REAL )");
    }
    *out = static_cast<TRealTable*>(table);
    return 0;
  };

  TRealTable* tree = nullptr;
  if (const int rc = find_real(treeTable, &tree); rc < 0) return rc;
  const int n = tree->TotalRecs();
  if (n == 0) return 0;
  tree->CheckMergeFilterTVL(false);
  TFilter* depth_filter = nullptr;
  TFilter* node_filter = nullptr;
  for (const int id : {kDepthFilterID, kNodeFilterID}) {
    TFilter* f = FilterOf(tree, id);
    if (f == nullptr) return refuse(Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(id));
    if (!IsIntegerFilter(f)) return refuse(Q7_ERROR_ILLEGAL_FILTER_TYPE, "Illegal data type ( Not INTEGER )");
    (id == kDepthFilterID ? depth_filter : node_filter) = f;
  }

  TRealTable* source = nullptr;
  if (const int rc = find_real(sourceTable, &source); rc < 0) return rc;
  std::vector<TFilter*> sources;
  for (int i = 0; i < m_nMaxJoinChain && SrcFltIDs != nullptr && SrcFltIDs[i] >= 1; ++i) {
    TFilter* f = FilterOf(source, SrcFltIDs[i]);
    if (f == nullptr) break;
    sources.push_back(f);
  }
  if (sources.empty()) return refuse(Q7_ERROR_NO_SUCH_FILTER, "Invalid Parameter : SrcFltIDs");
  source->CheckMergeFilterTVL(false);

  // One pass over the tree's records fills every output.
  const int source_records = source->TotalRecs();
  std::vector<std::unique_ptr<TIntArray>> outputs;
  try {
    for (size_t s = 0; s < sources.size(); ++s) outputs.push_back(std::make_unique<TIntArray>(n + 1, 1));
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  auto take = [&](int record, int from) {
    // The current record 0 (no ancestor at the depth yet) and a number that is no record of the
    // source leave the record NULL.
    if (from < 1 || from > source_records) return;
    for (size_t s = 0; s < sources.size(); ++s) {
      if (sources[s]->PV == nullptr || from >= sources[s]->PV->FArraySize) continue;
      outputs[s]->PIntAr()[record] = sources[s]->PV->PIntAr()[from];
    }
  };
  int current = 0;
  for (int r = 1; r <= n; ++r) {
    const int d = IntAt(depth_filter, r);
    const int x = IntAt(node_filter, r);
    if (depth < 0) {
      if (d != kNullInt && d > 0) take(r, x);
    } else if (inherit == 0) {
      if (d == depth) take(r, x);
    } else {
      if (d == depth) current = x;
      if (d != kNullInt && d >= depth) take(r, current);
    }
  }

  for (size_t s = 0; s < sources.size(); ++s) {
    char name[TFilter::kNameSize];
    snprintf(name, sizeof name, "%s", sources[s]->FFilterName);
    std::unique_ptr<TBaseArray> list(sources[s]->VL->CopyArray());
    const int id =
        tree->AddFilter(TRealTable::kAppendPosition, name, outputs[s].get(), list.get(), false, 0, -1);
    // The outputs not yet added are freed with the vector.
    if (id < 0) return -1;
    outputs[s].release();
    list.release();
  }
  return 0;
}

int TRealTable::DelTreeNodes(int setOnly, int level, int levelFilter, int setID, int nodeFilter,
                             const int* nodes, int* newSetOut, int* newFilterOut) {
  constexpr char kLog[] = "DelTreeNodes";
  auto no_tree = [&] {
    PutErrorLog(kLog, Q7_ERROR_NO_TREE, "Failed to get tree");
    return Q7_ERROR_NO_TREE;
  };
  if (setID < 0) setID = GetCurrentSetID();
  if (nodeFilter < 0) nodeFilter = kNodeFilterID;
  if (newSetOut != nullptr) *newSetOut = setID;
  if (newFilterOut != nullptr) *newFilterOut = nodeFilter;

  TSetArray* set = GetSet(setID);
  if (set == nullptr) {
    PutErrorLog(kLog, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(setID));
    return Q7_ERROR_NO_SUCH_SET;
  }
  if (set->FArraySize == 0) return 0;
  CheckMergeFilterTVL(false);
  TFilter* depth_filter = FilterOf(this, kDepthFilterID);
  if (!IsIntegerFilter(depth_filter)) return no_tree();
  TFilter* level_filter = FilterOf(this, levelFilter);
  if (level_filter == nullptr || level_filter->PV == nullptr) return 0;
  if (!IsIntegerFilter(level_filter)) return Q7_ERROR_INVALID_KEY_PARAMETER;
  TFilter* node_filter = FilterOf(this, nodeFilter);
  if (!IsIntegerFilter(node_filter)) return no_tree();
  const int n_values = node_filter->VL->FArraySize;
  if (n_values < 2) return 0;
  const int* values = static_cast<const int*>(node_filter->VL->FData);
  // Entry 0 is NULL and the rest ascend: entry 1 is the smallest node value.
  if (values[1] < 0) return no_tree();

  std::vector<int> wanted;
  for (int i = 0; nodes != nullptr && nodes[i] >= 1; ++i) wanted.push_back(nodes[i]);
  if (wanted.empty()) return 0;
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

  std::vector<uint8_t> marked(static_cast<size_t>(n_values), 0);
  for (size_t v = 1, w = 0; v < static_cast<size_t>(n_values) && w < wanted.size();) {
    if (values[v] < wanted[w]) {
      ++v;
    } else if (wanted[w] < values[v]) {
      ++w;
    } else {
      marked[v++] = 1;
    }
  }

  // A removed row takes with it the rows after it of greater depth: its subtree in pre-order.
  const int records = TotalRecs();
  const int* rows = set->PIntAr();
  const int n_rows = set->FArraySize;
  std::vector<int> kept;
  std::vector<uint8_t> is_kept(static_cast<size_t>(records) + 1, 0);
  int removed = 0;
  for (int i = 0; i < n_rows;) {
    const int record = rows[i];
    if (IntAt(level_filter, record) == level &&
        marked[static_cast<size_t>(VnoAt(node_filter, record))] != 0) {
      const int d = IntAt(depth_filter, record);
      int j = i + 1;
      while (j < n_rows && IntAt(depth_filter, rows[j]) > d) ++j;
      removed += j - i;
      i = j;
      continue;
    }
    // As a host's list of rows is registered: a record given twice keeps its first place.
    if (record >= 1 && record <= records && is_kept[static_cast<size_t>(record)] == 0) {
      is_kept[static_cast<size_t>(record)] = 1;
      kept.push_back(record);
    }
    ++i;
  }
  const int new_set = AddSetFromRows(static_cast<int>(kept.size()), kept.data());
  if (new_set < 0) return new_set;
  if (newSetOut != nullptr) *newSetOut = new_set;
  if (setOnly != 0) return removed;

  // Node values renumbered without the removed ones: entry i less the marked entries before it.
  std::vector<int> renumbered(static_cast<size_t>(n_values));
  int gaps = 0;
  for (int v = 0; v < n_values; ++v) {
    renumbered[static_cast<size_t>(v)] = v == 0 ? values[0] : values[v] - gaps;
    gaps += marked[static_cast<size_t>(v)];
  }
  std::vector<int> column(static_cast<size_t>(records), kNullInt);
  for (const int record : kept) {
    const int v = VnoAt(node_filter, record);
    column[static_cast<size_t>(record) - 1] =
        IntAt(level_filter, record) == level ? renumbered[static_cast<size_t>(v)] : values[v];
  }
  char name[] = "RecNo";
  const int filter_id = AddFilter2(kAppendPosition, name, Q7_TYPE_INTEGER, records, 4, column.data(), 0, -1);
  if (filter_id < 0) return filter_id;
  if (newFilterOut != nullptr) *newFilterOut = filter_id;
  return removed;
}

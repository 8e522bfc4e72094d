// Realizing a chain of inner joins as one tree table, serially and on the worker pool.
//
// The subtree of a node depends only on its level and its key group (a record of Tk that Jk pairs
// has exactly the partners of its key value number), so the sizes are computed once per group,
// from the last level up, and saturated: counting costs the size of the joins, not of the tree,
// and a tree too large for a table is refused before anything is allocated for it.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "join/JoinChain.h"
#include "join/TJoinTable.h"
#include "kernels/KernelPool.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/TIntArray.h"

namespace {

constexpr char kLog[] = "RealizeJoinChain";
constexpr int kMaxColumns = 4;
// Sizes saturate here, far above any table's row limit, so that no sum can wrap.
constexpr int64_t kCountCap = INT64_C(1) << 62;
// A table holds at most INT32_MAX - 1 records (its value-number arrays hold one more element).
constexpr int64_t kMaxTreeRows = INT32_MAX - 1;

// For 0 <= a <= kCountCap and 0 <= b <= kCountCap + 1.
int64_t SaturatingAdd(int64_t a, int64_t b) { return b >= kCountCap - a ? kCountCap : a + b; }

[[noreturn]] void ThrowIllegalTree() { throw CQ7Exception(Q7_ERROR_ILLEGAL_TREE); }

const int* IntsOf(TSetArray* set) { return set != nullptr && set->FArraySize > 0 ? set->PIntAr() : nullptr; }
int CountOf(TSetArray* set) { return set != nullptr ? set->FArraySize : 0; }

JoinChainWork& Work(TTableCollection* db) {
  if (db->FJoinChain == nullptr) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  return *db->FJoinChain;
}

// The partner range [*begin, *end) of a node of the level, or an empty one for a record without
// partners. Every index is checked: the arrays come from the join, but a node index that does
// not agree with them means the pairing is not what the walk expects.
void ChildRange(const JoinChainWork::Level& lv, int node, int* begin, int* end) {
  *begin = *end = 0;
  if (node < 0 || static_cast<size_t>(node) >= lv.node_index.size()) ThrowIllegalTree();
  const int pos = lv.node_index[static_cast<size_t>(node)];
  if (pos < 0) return;
  if (pos >= lv.n_masters || lv.masters[pos] != node) ThrowIllegalTree();
  if (node >= lv.n_master_vno) ThrowIllegalTree();
  const int g = lv.master_vno[node];
  if (g < 0 || g >= lv.n_groups) ThrowIllegalTree();
  *begin = lv.group_start[g];
  *end = lv.group_start[g + 1];
  if (*begin < 0 || *begin > *end || *end > lv.n_partners) ThrowIllegalTree();
}

int64_t Descendants(const JoinChainWork& w, int node, int level) {
  if (level >= w.level_count) return 0;
  const JoinChainWork::Level& lv = w.levels[static_cast<size_t>(level)];
  int begin = 0;
  int end = 0;
  ChildRange(lv, node, &begin, &end);
  if (begin == end) return 0;
  return lv.group_size[static_cast<size_t>(lv.master_vno[node])];
}

int ColumnValue(const JoinChainWork::Column& c, int record) {
  if (record < 0 || record >= c.n_vno) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  const int v = c.vno[record];
  if (v < 0 || v >= c.n_values) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  return c.values[v];
}

// The node index and the group sizes of every level, the last level first (its partners are
// leaves).
void PrepareLevels(JoinChainWork& w, const std::vector<TRealTable*>& tables) {
  for (int k = 0; k < w.level_count; ++k) {
    JoinChainWork::Level& lv = w.levels[static_cast<size_t>(k)];
    lv.node_index.assign(static_cast<size_t>(tables[static_cast<size_t>(k)]->TotalRecs()) + 1, -1);
    for (int i = 0; i < lv.n_masters; ++i) {
      const int record = lv.masters[i];
      if (record < 0 || static_cast<size_t>(record) >= lv.node_index.size()) ThrowIllegalTree();
      lv.node_index[static_cast<size_t>(record)] = i;
    }
  }
  for (int k = w.level_count - 1; k >= 0; --k) {
    JoinChainWork::Level& lv = w.levels[static_cast<size_t>(k)];
    lv.group_size.assign(static_cast<size_t>(lv.n_groups), 0);
    for (int g = 0; g < lv.n_groups; ++g) {
      const int begin = lv.group_start[g];
      const int end = lv.group_start[g + 1];
      if (begin < 0 || begin > end || end > lv.n_partners) ThrowIllegalTree();
      int64_t size = 0;
      for (int i = begin; i < end; ++i) size = SaturatingAdd(size, 1 + Descendants(w, lv.partners[i], k + 1));
      lv.group_size[static_cast<size_t>(g)] = size;
    }
  }
}

// An INTEGER filter of a chain table for column c, checked; null after a refusal (returned in
// *code, recorded when `log` is set).
struct ColumnCheck {
  int code = 0;
  TFilter* filter = nullptr;
};
ColumnCheck CheckColumn(TRealTable* table, int filter_id, bool log) {
  ColumnCheck r;
  const int pos = table->FilterID2Pos(filter_id);
  if (pos < 0) {
    r.code = Q7_ERROR_NO_SUCH_FILTER;
    if (log) PutErrorLog(kLog, r.code, getString("No Such Filter: %d", filter_id));
    return r;
  }
  TFilter* f = table->FFilters[pos];
  if (f->PV == nullptr || ArrayDataType(f->VL) != Q7_TYPE_INTEGER) {
    r.code = Q7_ERROR_ILLEGAL_FILTER_TYPE;
    if (log) PutErrorLog(kLog, r.code, "Illegal data type ( Not INTEGER )");
    return r;
  }
  r.filter = f;
  return r;
}

JoinChainWork::Column ColumnOf(TFilter* f) {
  JoinChainWork::Column c;
  c.vno = f->PV->PIntAr();
  c.n_vno = f->PV->FArraySize;
  c.values = static_cast<const int*>(f->VL->FData);
  c.n_values = f->VL->FArraySize;
  return c;
}

// ---- Task 25 ----
struct ChainParam {
  MppParamHeader header;
  TTableCollection* db;
  int32_t write;  // 0: count the rows of the roots; 1: write them from first_row on
  int32_t first_root;
  int32_t end_root;
  int64_t first_row;
  int64_t rows;
};

void ChunkOf(int t, int workers, int n, int32_t* start, int32_t* end) {
  const int64_t step = (static_cast<int64_t>(n) + workers - 1) / workers;
  *start = static_cast<int32_t>(std::min<int64_t>(n, step * t));
  *end = t == workers - 1 ? n : static_cast<int32_t>(std::min<int64_t>(n, step * (t + 1)));
}

}  // namespace

int mpp_join_chain(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<ChainParam*>(param);
    JoinChainWork& w = Work(p->db);
    int64_t rows = 0;
    int64_t at = p->first_row;
    for (int i = p->first_root; i < p->end_root; ++i) {
      const int root = w.roots[i];
      if (p->write == 0) {
        rows = SaturatingAdd(rows, 1 + p->db->CalcTreeSize(root, 0));
      } else {
        at = p->db->put1Data2(root, 0, at);
        at += p->db->BuildTree2(root, 0, at);
      }
    }
    p->rows = p->write == 0 ? rows : at - p->first_row;
    return 0;
  });
}

// ---- The walk ----

int64_t TTableCollection::CalcTreeSizeEx(int node, int level) { return Descendants(Work(this), node, level); }

int64_t TTableCollection::CalcTreeSize(int node, int level) { return Descendants(Work(this), node, level); }

int64_t TTableCollection::put1Data2(int node, int depth, int64_t index) {
  JoinChainWork& w = Work(this);
  if (index < 0 || index >= w.row_total || depth < 0 || depth > w.level_count) {
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
  const size_t i = static_cast<size_t>(index);
  w.depth[i] = depth;
  w.rec_no[i] = node;
  const auto& columns = w.columns[static_cast<size_t>(depth)];
  for (int c = 0; c < w.association_count; ++c)
    w.data[c][i] = ColumnValue(columns[static_cast<size_t>(c)], node);
  return index + 1;
}

int64_t TTableCollection::put1Data(int node, int depth) {
  JoinChainWork& w = Work(this);
  w.out_counter = put1Data2(node, depth, w.out_counter);
  return w.out_counter;
}

int64_t TTableCollection::BuildTree(int node, int level) {
  JoinChainWork& w = Work(this);
  // The serial walk writes the same rows in the same order from the output counter on.
  const int64_t written = BuildTree2(node, level, w.out_counter);
  w.out_counter += written;
  return written;
}

int64_t TTableCollection::BuildTree2(int node, int level, int64_t index) {
  JoinChainWork& w = Work(this);
  if (level >= w.level_count) return 0;
  const JoinChainWork::Level& lv = w.levels[static_cast<size_t>(level)];
  int begin = 0;
  int end = 0;
  ChildRange(lv, node, &begin, &end);
  int64_t written = 0;
  for (int i = begin; i < end; ++i) {
    const int64_t at = put1Data2(lv.partners[i], level + 1, index + written);
    written += 1 + BuildTree2(lv.partners[i], level + 1, at);
  }
  return written;
}

int TTableCollection::ClearJoinChain() {
  delete FJoinChain;
  FJoinChain = nullptr;
  return 0;
}

// ---- The realization ----

namespace {

// Clears the work area when the realization ends, whichever way.
struct ChainGuard {
  TTableCollection* db;
  ~ChainGuard() { db->ClearJoinChain(); }
};

// Reads and checks the chain into the (cleared) work area. Returns 0, or the refusal's code after
// recording it (serial form) under "RealizeJoinChain".
int GatherChain(TTableCollection* db, bool log, const int* ids, int n_columns, const int (*columns)[4],
                int* table_ids_out, int (*sets_out)[510], std::vector<TRealTable*>* tables) {
  JoinChainWork& w = *db->FJoinChain;
  auto refuse = [log](int code, const char* message) {
    if (log) PutErrorLog(kLog, code, message);
    return code;
  };
  std::vector<std::array<TFilter*, kMaxColumns>> filters;
  table_ids_out[0] = table_ids_out[1] = 0;
  sets_out[0][0] = sets_out[0][1] = 0;
  for (int k = 0; k < TTableCollection::m_nMaxJoinChain && ids != nullptr && ids[k] >= 1; ++k) {
    TBaseTable* table = db->GetTable(ids[k]);
    if (table == nullptr) {
      return refuse(Q7_ERROR_NO_SUCH_TABLE, getString("No Such JTableIDs[%d]: %d ", k, ids[k]));
    }
    if (table->GetType() != TBaseTable::kTypeJoin) {
      return refuse(Q7_ERROR_NOT_JOIN_TYPE, "Illegal table type ( Not JOIN )");
    }
    auto* join = static_cast<TJoinTable*>(table);
    if (join->FOuter != 0)
      return refuse(Q7_ERROR_NOT_INNER_JOIN_TABLE, "Illegal table type ( Not INNER JOIN )");
    if (k == 0) {
      table_ids_out[0] = join->FMasterTableID;
      table_ids_out[1] = join->FSlaveTableID;
    } else {
      if (table_ids_out[k] != join->FMasterTableID) {
        return refuse(Q7_ERROR_ILLEGAL_CHAIN_TYPE, "Illegal chain type ( Not JOIN CHAIN )");
      }
      table_ids_out[k + 1] = join->FSlaveTableID;
    }
    sets_out[0][k] = join->FMasterSetID;
    sets_out[1][k] = join->FSlaveSetID;
    if (join->FMasterTable == nullptr || join->FSlaveTable == nullptr || join->FMasterKeyFilter == nullptr ||
        join->FMasterKeyFilter->PV == nullptr) {
      ThrowIllegalTree();
    }

    // The pairing of set 1: master-driven, its partners grouped by key value number.
    const int pos = join->SetID2Pos(1);
    if (pos < 0) ThrowIllegalTree();
    JoinSetEntry& e = join->Entry(pos);
    if (e.side != 0 || e.rows[0] == nullptr || e.rows[1] == nullptr || e.projection[1] == nullptr ||
        e.projection[1]->FArraySize < 1) {
      ThrowIllegalTree();
    }
    JoinChainWork::Level lv;
    lv.joined_rows = e.size;
    lv.masters = IntsOf(e.rows[0]);
    lv.n_masters = CountOf(e.rows[0]);
    lv.partners = IntsOf(e.rows[1]);
    lv.n_partners = CountOf(e.rows[1]);
    lv.master_vno = join->FMasterKeyFilter->PV->PIntAr();
    lv.n_master_vno = join->FMasterKeyFilter->PV->FArraySize;
    lv.group_start = e.projection[1]->PIntAr();
    lv.n_groups = e.projection[1]->FArraySize - 1;

    if (k == 0) {
      TRealTable* master = join->FMasterTable;
      TSetArray* roots = master->GetSet(join->FMasterSetID);
      if (roots == nullptr) {
        return refuse(Q7_ERROR_NO_SUCH_SET, getString("No Such Set(Master): %d", join->FMasterSetID));
      }
      w.roots = IntsOf(roots);
      w.root_count = CountOf(roots);
      std::array<TFilter*, kMaxColumns> own{};
      for (int c = 0; c < n_columns; ++c) {
        // The first table's columns are refused without an entry of their own.
        const ColumnCheck check = CheckColumn(master, columns[0][c], false);
        if (check.filter == nullptr) return check.code;
        own[static_cast<size_t>(c)] = check.filter;
      }
      tables->push_back(master);
      filters.push_back(own);
    }
    TRealTable* slave = join->FSlaveTable;
    if (slave->GetSet(join->FSlaveSetID) == nullptr) {
      return refuse(Q7_ERROR_NO_SUCH_SET, getString("No Such Set(Slave): %d", join->FSlaveSetID));
    }
    std::array<TFilter*, kMaxColumns> own{};
    for (int c = 0; c < n_columns; ++c) {
      const ColumnCheck check = CheckColumn(slave, columns[k + 1][c], log);
      if (check.filter == nullptr) return check.code;
      own[static_cast<size_t>(c)] = check.filter;
    }
    tables->push_back(slave);
    filters.push_back(own);
    w.levels.push_back(std::move(lv));
    ++w.level_count;
  }
  if (w.level_count == 0) return refuse(Q7_ERROR_NO_SUCH_TABLE, "Not Join Table");

  // Only now that the chain is accepted: pending values are folded in before any column is read
  // (which may replace a filter's arrays, so the pointers are taken afterwards).
  for (TRealTable* t : *tables) t->CheckMergeFilterTVL(false);
  for (size_t k = 0; k < tables->size(); ++k) {
    w.table_ids.push_back((*tables)[k]->FTableID);
    std::array<JoinChainWork::Column, kMaxColumns> cols{};
    for (int c = 0; c < n_columns; ++c)
      cols[static_cast<size_t>(c)] = ColumnOf(filters[k][static_cast<size_t>(c)]);
    w.columns.push_back(cols);
  }
  return 0;
}

// The new table of `rows` records with the tree's columns, or the table's refusal thrown; a
// failure after the table was made removes it again.
int AddTreeTable(TTableCollection* db, bool parallel, char* name, JoinChainWork& w) {
  const int id = db->AddRealTable(name, static_cast<int>(w.row_total));
  if (id < 0) throw CQ7Exception(id);
  try {
    auto* table = static_cast<TRealTable*>(db->GetTable(id));
    const int n = static_cast<int>(w.row_total);
    auto add = [&](int position, const char* column_name, std::vector<int32_t>& values) {
      char work[TFilter::kNameSize];
      snprintf(work, sizeof work, "%s", column_name);
      const int rc = parallel
                         ? table->MppAddFilter2(position, work, Q7_TYPE_INTEGER, n, 4, values.data(), 0, -1)
                         : table->AddFilter2(position, work, Q7_TYPE_INTEGER, n, 4, values.data(), 0, -1);
      if (rc < 0) throw CQ7Exception(rc);
      // The column holds its own copy; the work array is not needed any more.
      std::vector<int32_t>().swap(values);
    };
    add(0, "depth", w.depth);
    add(1, "RecNo", w.rec_no);
    for (int c = 0; c < w.association_count; ++c) {
      const std::string column_name = "data_" + std::to_string(c);
      add(c + 2, column_name.c_str(), w.data[c]);
    }
  } catch (...) {
    db->DelTable(id);
    throw;
  }
  return id;
}

int Realize(TTableCollection* db, bool parallel, const char* name, const int* ids, int n_columns,
            const int (*columns)[4], int* table_ids_out, int (*sets_out)[510]) {
  const bool log = !parallel;
  char unique[TBaseTable::kNameSize];
  if (db->GenTableName(name, unique) < 0) {
    if (log) {
      PutErrorLog(kLog, Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME,
                  getString("Invalid Parameter : ChainTblName(%s)", name != nullptr ? name : ""));
    }
    return Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME;
  }
  if (n_columns < 0 || n_columns > kMaxColumns) {
    if (log) {
      PutErrorLog(kLog, Q7_ERROR_OUT_OF_RANGE, getString("Invalid Parameter : nAssociation(%d)", n_columns));
    }
    return Q7_ERROR_OUT_OF_RANGE;
  }
  if ((n_columns > 0 && columns == nullptr) || table_ids_out == nullptr || sets_out == nullptr) {
    if (log) PutErrorLog(kLog, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : null pointer");
    return Q7_ERROR_INVALID_PARAMETER;
  }

  db->ClearJoinChain();
  ChainGuard guard{db};
  try {
    db->FJoinChain = new JoinChainWork();
    JoinChainWork& w = *db->FJoinChain;
    w.association_count = n_columns;
    std::vector<TRealTable*> tables;
    const int refused = GatherChain(db, log, ids, n_columns, columns, table_ids_out, sets_out, &tables);
    if (refused < 0) return refused;
    PrepareLevels(w, tables);

    // Pass 1: the rows of each share of the roots, and where each share starts.
    const int workers = parallel && w.root_count > 0 ? KernelThreads(w.root_count) : 1;
    std::vector<int64_t> first_row(static_cast<size_t>(workers) + 1, 0);
    if (parallel && w.root_count > 0) {
      for (int t = 0; t < workers; ++t) {
        ChainParam* p = PoolParam<ChainParam>(t);
        p->db = db;
        p->write = 0;
        ChunkOf(t, workers, w.root_count, &p->first_root, &p->end_root);
        p->first_row = 0;
        p->rows = 0;
      }
      RunKernelTask(workers, kMppTaskJoinChain);
      for (int t = 0; t < workers; ++t) {
        first_row[static_cast<size_t>(t) + 1] =
            SaturatingAdd(first_row[static_cast<size_t>(t)], PoolParam<ChainParam>(t)->rows);
      }
    } else {
      for (int i = 0; i < w.root_count; ++i)
        first_row[1] = SaturatingAdd(first_row[1], 1 + db->CalcTreeSizeEx(w.roots[i], 0));
    }
    w.row_total = first_row[static_cast<size_t>(workers)];
    if (w.row_total > kMaxTreeRows) {
      throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW, "JoinChain size overflow");
    }

    const size_t n = static_cast<size_t>(w.row_total);
    w.depth.resize(n);
    w.rec_no.resize(n);
    for (int c = 0; c < n_columns; ++c) w.data[c].resize(n);
    w.out_counter = 0;

    // Pass 2: the rows, each share from its first row on.
    int64_t written = 0;
    if (parallel && w.root_count > 0) {
      for (int t = 0; t < workers; ++t) {
        ChainParam* p = PoolParam<ChainParam>(t);
        p->write = 1;
        p->first_row = first_row[static_cast<size_t>(t)];
        p->rows = 0;
      }
      RunKernelTask(workers, kMppTaskJoinChain);
      for (int t = 0; t < workers; ++t) written += PoolParam<ChainParam>(t)->rows;
    } else {
      for (int i = 0; i < w.root_count; ++i) {
        db->put1Data(w.roots[i], 0);
        db->BuildTree(w.roots[i], 0);
      }
      written = w.out_counter;
    }
    if (written != w.row_total) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "JoinChain rows written differ");

    return AddTreeTable(db, parallel, unique, w);
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
}

}  // namespace

int TTableCollection::RealizeJoinChain(const char* ChainTblName, const int* JTableIDs, int nAssociation,
                                       const int (*columns)[4], int* tableIDsOut, int (*setsOut)[510]) {
  return Realize(this, false, ChainTblName, JTableIDs, nAssociation, columns, tableIDsOut, setsOut);
}

int TTableCollection::MppRealizeJoinChain(const char* ChainTblName, const int* JTableIDs, int nAssociation,
                                          const int (*columns)[4], int* tableIDsOut, int (*setsOut)[510]) {
  return Realize(this, true, ChainTblName, JTableIDs, nAssociation, columns, tableIDsOut, setsOut);
}

// The work area of a join-chain realization (TTableCollection::RealizeJoinChain and its parallel
// form) and the task function of the parallel form.
//
// The area holds, per level k (join Jk), pointers into Jk's set 1 (its master records with
// partners, its partner records grouped by key value number, the group starts) and into its
// master key column, plus two arrays of its own: the node index (the position of each record of
// Tk among the master records with partners, or -1) and the subtree size of a node of each key
// group. Those pointers stay valid because the realization runs under the API lock and changes
// no join. Ownership: the collection (FJoinChain), from the start of a realization to its
// ClearJoinChain.
//
// Thread safety: filled on the calling thread; during the parallel passes the workers only read
// it, and each writes only its own range of the output arrays.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct JoinChainWork {
  // An INTEGER column of a chain table: value numbers by record, and the value list.
  struct Column {
    const int* vno = nullptr;
    int n_vno = 0;
    const int* values = nullptr;
    int n_values = 0;
  };
  struct Level {
    const int* masters = nullptr;  // Jk's master records that have partners
    int n_masters = 0;
    const int* partners = nullptr;  // Jk's slave records, grouped by key value number
    int n_partners = 0;
    const int* master_vno = nullptr;  // the master key value number of every record of Tk
    int n_master_vno = 0;
    const int* group_start = nullptr;  // n_groups + 1 starts into partners
    int n_groups = 0;
    int32_t joined_rows = 0;
    std::vector<int32_t> node_index;  // one per record of Tk, and record 0
    std::vector<int64_t> group_size;  // descendants of a node of each key group
  };

  int level_count = 0;
  int association_count = 0;
  const int* roots = nullptr;
  int root_count = 0;
  int64_t row_total = 0;
  int64_t out_counter = 0;
  std::vector<int32_t> table_ids;              // T0 .. Tm
  std::vector<Level> levels;                   // J0 .. Jm-1
  std::vector<std::array<Column, 4>> columns;  // per table T0 .. Tm
  std::vector<int32_t> depth;
  std::vector<int32_t> rec_no;
  std::vector<int32_t> data[4];
};

// Task 25: the two passes of the parallel realization over each worker's share of the roots (the
// count of its rows, then their writing from its first row on). Registered by RegisterJoinTasks.
int mpp_join_chain(void* param);

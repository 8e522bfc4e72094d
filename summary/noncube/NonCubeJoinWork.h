// The work arrays of the non-cube summary of a join set: per side the rows grouped by the side's
// dimensions and laid out by join key, then the combinations of a key's master and slave groups,
// the output rows they fall on and the joined rows behind each output row. The steps of
// TNonCubeSum fill them in order (summary/noncube/TNonCubeSum_join.cpp,
// summary/noncube/TNonCubeSum_mppjoin.cpp); each setter takes over its arrays.
//
// Side numbers are 0 master, 1 slave. Group numbers start at 1; group 0 is a side without
// dimensions or without rows for a key.
//
// Ownership: the object owns every array it holds; Clear frees them, at the latest the destructor.
// Thread safety: none for the setters and Clear; once the steps that fill an array are done, worker
// tasks may read it concurrently.
#pragma once

#include <cstdint>
#include <utility>

#include "values/ZpkBlock.h"

class NonCubeJoinWork {
 public:
  // More combinations than this refuse the summary (Q7_ERROR_SUMMARY_ROWS_OVERFLOW).
  static constexpr int64_t kMaxCombinations = 2000000000;

  // One side's arrays. A side without dimensions keeps neither group numbers nor run lengths.
  struct Side {
    int row_count = 0;
    ZpkBlock<int> rows;          // record numbers: by dimensions, then stably by key
    ZpkBlock<int> group_of_row;  // group of each entry of rows
    int group_count = 0;         // groups + 1 (entry 0 reserved)
    ZpkBlock<int> reps;          // first row of each group; element 0 is 0
    ZpkBlock<int> key_starts;    // K + 1: first position of each key value; last = row_count
    ZpkBlock<int> run_lengths;   // run length at a run's first position, -1 elsewhere
  };

  Side& side(int s) { return s == 0 ? master_ : slave_; }
  const Side& side(int s) const { return s == 0 ? master_ : slave_; }

  // Frees every array that is set and zeroes the counters; may run any number of times.
  void Clear() {
    for (Side* s : {&slave_, &master_}) *s = Side{};
    key_count_ = 0;
    comb_count_ = 0;
    comb_master_group_.Reset();
    comb_slave_group_.Reset();
    comb_order_.Reset();
    out_row_count_ = 0;
    out_master_group_.Reset();
    out_slave_group_.Reset();
    comb_out_row_.Reset();
    out_counts_.Reset();
  }

  // K: the value-list size of the join key columns (both number into one list).
  int key_count() const { return key_count_; }
  void SetKeyCount(int k) { key_count_ = k; }

  // Per side: the group whose dimension values are all NULL, which a side without rows for a key
  // (outer join) shows; 0 when no group has them. Combinations of such a side take this group, so
  // that equal dimension values make one output row.
  int null_group(int s) const { return null_group_[s]; }
  void SetNullGroup(int s, int group) { null_group_[s] = group; }

  // The combinations: every master group of a key with every slave group of the same key, keys
  // ascending, master-major; the group of each side in each.
  int64_t comb_count() const { return comb_count_; }
  void SetCombCount(int64_t n) { comb_count_ = n; }
  const int* comb_master_group() const { return comb_master_group_.get(); }
  const int* comb_slave_group() const { return comb_slave_group_.get(); }
  void SetCombGroups(ZpkBlock<int> master, ZpkBlock<int> slave) {
    comb_master_group_ = std::move(master);
    comb_slave_group_ = std::move(slave);
  }
  // The combinations by master group, then slave group.
  const int* comb_order() const { return comb_order_.get(); }
  void SetCombOrder(ZpkBlock<int> order) { comb_order_ = std::move(order); }

  // The output rows (R): the master and slave group of each, and the output row of each combination.
  int out_row_count() const { return out_row_count_; }
  const int* out_group(int s) const { return s == 0 ? out_master_group_.get() : out_slave_group_.get(); }
  const int* comb_out_row() const { return comb_out_row_.get(); }
  void SetOutputRows(int rows, ZpkBlock<int> master_group, ZpkBlock<int> slave_group, ZpkBlock<int> out_row) {
    out_row_count_ = rows;
    out_master_group_ = std::move(master_group);
    out_slave_group_ = std::move(slave_group);
    comb_out_row_ = std::move(out_row);
  }
  // The joined rows behind each output row (null until set).
  const int* out_counts() const { return out_counts_.get(); }
  void SetOutCounts(ZpkBlock<int> counts) { out_counts_ = std::move(counts); }

 private:
  Side slave_;
  Side master_;
  int key_count_ = 0;
  int null_group_[2] = {};
  int64_t comb_count_ = 0;
  ZpkBlock<int> comb_master_group_;
  ZpkBlock<int> comb_slave_group_;
  ZpkBlock<int> comb_order_;
  int out_row_count_ = 0;
  ZpkBlock<int> out_master_group_;
  ZpkBlock<int> out_slave_group_;
  ZpkBlock<int> comb_out_row_;
  ZpkBlock<int> out_counts_;
};

// The rule by which a slave column moves into the master table of a join: the value number each
// master record takes. The serial move and the pool's workers apply the same rule; it only reads,
// so any number of threads may apply one at once while the join and its arrays stay unchanged.
#pragma once

#include <cstdint>

struct JoinSetEntry;
class TIntArray;

struct ItemTransfer {
  const int* master_vno;  // the master key's value numbers, by record
  int master_vno_count;
  const int* group_start;  // set 1's slave projection: n_groups + 1 entries
  int n_groups;
  const int* partners;  // set 1's slave rows
  int n_partners;
  const int* slave_vno;  // the moved column's value numbers, by slave record
  int slave_vno_count;
  int n_values;  // entries of the moved column's value list
  int records;   // master records
};

// The rule of set 1 of entry e (master_vno: the master key filter's value numbers, null: none;
// slave_vno: the moved column's; n_values: the size of the list the column moves with).
ItemTransfer MakeItemTransfer(const JoinSetEntry& e, TIntArray* master_vno, TIntArray* slave_vno,
                              int n_values, int records);

// The value number master record r takes: its first slave partner's, or -1 (none) when r is no
// master record or has no partner.
int TransferredValue(const ItemTransfer& rule, int r);

// The join key merge: turns the key tuple of every row of a master set and of a slave set into one
// integer, so that the rest of the join works on a single key column per side.
//
// The two results are new filters: "#MASTER" (ID 10000) over the master table's records and
// "#SLAVE" (ID 10001) over the slave table's records, sharing one value list. A record of the set
// carries the number of its key tuple among the distinct tuples present in either set: equal
// tuples on the two sides get the same number, different tuples different numbers, numbers rise
// with the tuple order (key 1 most significant, each key compared by value number after the two
// sides' value lists of that key have been merged), the all-NULL tuple gets 0, and so do element
// 0 and every record outside the set. The value list holds the int NULL at entry 0 and i at every
// other entry i; some entries past the largest number issued may be referenced by no record.
//
// Key columns are never changed: every rescale and value-list merge works on copies. A DECIMAL
// pair is first brought to the larger of the two scales, so 1.5 (scale 2) matches 1.5000 (scale 4).
//
// Thread safety: none. Call under the API lock from the thread that drives the worker pool (the
// value-list merge and the sorts use the pool); never from inside a task.
#pragma once

class TFilter;
class TIntArray;

constexpr int kJoinMasterKeyFilterID = 10000;
constexpr int kJoinSlaveKeyFilterID = 10001;
constexpr int kJoinMaxKeys = 32;

// Builds the two combined key columns serially (one stable counting sort per key and a merge of
// the two sides' runs). keyCount is 1..32; masterKeys / slaveKeys hold keyCount filters, pair k of
// one basic type (a date may meet a double); masterRows / slaveRows are sets of record numbers of
// their tables (each 1..record count). The value list has master's last run number + slave's last
// run number + 4 entries (a run number counting one side's distinct tuples, the all-NULL one
// excluded). The caller owns *masterOut and *slaveOut; "#MASTER" holds the value list as its own
// and "#SLAVE" borrows it (FSharedVL), so it is freed with the last of the two.
// A key filter's pending values are folded into its value list first (TFilter::MergeTVL), as every
// sort over filters does; that changes the representation, never the values.
// Failures (thrown as CQ7Exception; *masterOut and *slaveOut are then null, nothing is left
// allocated and the key values are unchanged): Q7_ERROR_INVALID_PARAMETER for a key count outside
// 1..32, a null pointer, a filter without value numbers or value list, key filters of one side with
// value-number arrays of different lengths, or a row outside its table; Q7_ERROR_DATA_TYPE_MISMATCH
// for a pair of different basic types; Q7_ERROR_DATA_OVERFLOW for a DECIMAL value that does not fit
// the larger scale (it could match nothing, but it cannot be ordered either);
// Q7_ERROR_OUT_OF_MEMORY; Q7_ERROR_ROW_SIZE_OVERFLOW when the value count would not fit an int.
void ConcatJoinFilter(int keyCount, TFilter** masterKeys, TIntArray* masterRows, TFilter** slaveKeys,
                      TIntArray* slaveRows, TFilter** masterOut, TFilter** slaveOut);

// Compares the tuple of row rowA (arraysA[k][rowA], k < keyCount) with that of row rowB in
// arraysB, key 0 first, by value number: -1 when A's is smaller, 1 when it is larger, 0 when
// equal. keyCount < 1 gives 0. The arrays of one key must number into one value list.
int CompArea(int keyCount, int rowA, int** arraysA, int rowB, int** arraysB);

// Run search of the serial merge: advances *pos while groups[*pos] + offset < target (not past
// n), then sets *len to the number of following positions (below n) whose groups + offset equal
// target. Returns 1 when *len is at least 1, else 0.
int GetUniqueRange(int target, int n, int* groups, int* pos, int* len, int offset);

// Writes value into array[start .. start + count - 1].
void FixUniqueNo(int value, int start, int count, int* array);

// ---- Shared with the parallel merge (join/MppJoinKeyMerge.h) and the join build ----

// Brings a DECIMAL key pair (the join's own copies) to the larger of the two scales, so that 1.5 at
// scale 2 and 1.5000 at scale 4 become one value in the merge; scaling up is exact, so each list
// stays sorted and distinct. Other pairs are left alone. A value too large for the larger scale
// throws Q7_ERROR_DATA_OVERFLOW.
void UnifyDecimalKeyScales(TFilter* master, TFilter* slave);

// The work copies of the key pairs, rescaled (DECIMAL) and on one merged value list per pair.
// Owns the copies; the destructor frees them (a list both copies hold goes with the second).
class JoinKeyCopies {
 public:
  // Checks the arguments as ConcatJoinFilter states, copies every pair, rescales DECIMAL pairs to
  // the larger scale and merges each pair's value lists (on the pool when parallel is set).
  JoinKeyCopies(int keyCount, TFilter** masterKeys, TIntArray* masterRows, TFilter** slaveKeys,
                TIntArray* slaveRows, bool parallel);
  ~JoinKeyCopies();
  JoinKeyCopies(const JoinKeyCopies&) = delete;
  JoinKeyCopies& operator=(const JoinKeyCopies&) = delete;

  int KeyCount() const { return key_count_; }
  // Value numbers by record number, one array per key.
  int** MasterArrays() { return master_arrays_; }
  int** SlaveArrays() { return slave_arrays_; }
  TFilter** MasterCopies() { return master_; }
  TFilter** SlaveCopies() { return slave_; }
  // The merged value count of pair k (value numbers run 0 .. count - 1).
  int ValueCount(int k) const;
  // Value-number array lengths (record count + 1) of the two tables.
  int MasterLength() const { return master_length_; }
  int SlaveLength() const { return slave_length_; }

 private:
  int key_count_ = 0;
  TFilter* master_[kJoinMaxKeys] = {};
  TFilter* slave_[kJoinMaxKeys] = {};
  int* master_arrays_[kJoinMaxKeys] = {};
  int* slave_arrays_[kJoinMaxKeys] = {};
  int master_length_ = 0;
  int slave_length_ = 0;

  void Free();
};

// Builds the two output filters from per-record numbers (masterNumbers: the master table's
// value-number array length entries, likewise the slave's; both adopted, zpk_malloc blocks) and a
// value list of valueCount entries (at least 1). On failure frees both blocks and throws.
void BuildJoinKeyFilters(int masterLength, int* masterNumbers, int slaveLength, int* slaveNumbers,
                         int valueCount, TFilter** masterOut, TFilter** slaveOut);

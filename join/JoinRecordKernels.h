// The integer kernels of the join: dropping or collecting the rows of one side that have no partner
// on the other side, laying out the inner-join row space by prefix sums of partner counts, resolving
// a joined row back to its two records, and marking the starts of runs of equal key tuples.
//
// Shapes. A row list is a TIntArray of record numbers of one table. A value-number array (vno) is a
// key column's value numbers indexed by record number (element 0 belongs to record 0, the pseudo
// record of an outer join); both sides' key columns number into one shared value list of nValues
// entries, so two rows are partners exactly when their value numbers are equal. Value number 0
// (NULL) is a value like any other here: NULL rows pair with NULL rows.
//
// The caller guarantees every value number of a key column is below the value count it hands in
// (nValues, or the length of a partner-count or group-start array). A row outside its
// value-number array, or a value number at or above nValues, throws Q7_ERROR_INDEX_OUT_OF_RANGE
// instead of being read past the array. After any failure the row list and the cut-out list are in
// an unspecified partial state: the caller discards the join set being built.
//
// Thread safety: none. Call under the API lock from the thread that drives the worker pool. The
// Mpp forms run tasks 32 "Q7_MPP_FLAG_SET", 33 "Q7_MPP_JOIN_CUTUNUSE", 63
// "Q7_MPP_JOIN_SETUP_AGGR" and 64 "Q7_MPP_JOIN_UNIQUE", whose workers write only their own chunk
// and their own parameter block; every result equals the serial one whatever the worker count.
#pragma once

class TIntArray;

// Keeps in rows, in order, only the rows whose value number occurs among the partner rows' value
// numbers; the others go, in order, to cut_out (replacing its contents; its capacity is trimmed).
// A null cut_out records "Invalid Parameter : CutOutSet" under "CutUnUsedJoinRec" in the error ring
// and throws Q7_ERROR_INVALID_CUTOUT_SET. Also Q7_ERROR_OUT_OF_MEMORY, and Q7_ERROR_SHARED_READ_ONLY
// when cut_out lies in a shared-memory image and must grow.
void CutUnUsedJoinRec(TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                      TIntArray* vno, TIntArray* cut_out);

// As CutUnUsedJoinRec, but rows stays unchanged: only cut_out receives the rows without partner.
// A null cut_out is recorded under "ExtractUnUsedJoinRec".
void ExtractUnUsedJoinRec(TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                          TIntArray* vno, TIntArray* cut_out);

// The parallel CutUnUsedJoinRec (one bit per value, OR-reduced over the workers). A null cut_out
// throws Q7_ERROR_INVALID_CUTOUT_SET without an error-ring entry.
void MppCutUnUsedJoinRec(TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                         TIntArray* vno, TIntArray* cut_out);

// mode != 0: MppCutUnUsedJoinRec; mode 0: the parallel ExtractUnUsedJoinRec.
void MppExtractJoinHitAndNonHitRecs(int mode, TIntArray* partner_rows, TIntArray* partner_vnos, int nValues,
                                    TIntArray* rows, TIntArray* vno, TIntArray* cut_out);

// The join starts of the driving rows: starts[i] (the caller's, one int per row of rows) = the sum
// of partner_count[vno[rows[k]]] over k < i, the first joined row of driving row i; *total = the
// sum over all rows. partner_count holds one count per value number. A total above 2,147,483,647
// records "JoinTable size overflow" under "SetupMainN" and throws Q7_ERROR_OVERFLOW_JOIN; a total
// of exactly 2,147,483,647 is accepted. *total is written only on success.
void SetupMainN(TIntArray* rows, TIntArray* vno, const int* partner_count, int* starts, int* total);

// SetupMainN with the counts gathered on the pool. On overflow it writes the line
// "Q7_ERROR_OVERFLOW_JOIN " to standard output (no error-ring entry) and throws
// Q7_ERROR_OVERFLOW_JOIN.
void MppSetupMainN(TIntArray* rows, TIntArray* vno, const int* partner_count, int* starts, int* total);

// MppCutUnUsedJoinRec of rows against partners whose per-value counts are partner_count (nValues
// entries: a row is kept when its value's count is not 0), then MppSetupMainN of the kept rows,
// in one pass over the rows: rows, cut_out and *total end as those two calls leave them, and starts
// (a set of any size, resized here) holds one start per kept row. The rows are read from source,
// or from rows itself where source is rows; a distinct source (left unchanged) must hold as many
// rows as rows, whose elements need not be filled in (else Q7_ERROR_INDEX_OUT_OF_RANGE). Failures
// as the two calls'.
void MppCutAndSetupMainN(TIntArray* source, TIntArray* rows, TIntArray* vno, int nValues,
                         const int* partner_count, TIntArray* cut_out, TIntArray* starts, int* total);

// Resolves joined row j (the caller ensures 0 <= j < the total of SetupMainN) to its driving
// record (rows[i], i = FindLoc(j, rows count, starts)) and its partner record
// (partner_rows[j - starts[i] + group_start[vno[rows[i]]]]), where group_start holds, per value
// number, the position in partner_rows at which that value's rows begin. Writes both and returns the
// partner record. An index outside rows, vno or partner_rows throws Q7_ERROR_INDEX_OUT_OF_RANGE (an
// empty rows list included).
int DesolveJoinRecNo(int j, TIntArray* rows, const int* starts, TIntArray* vno, TIntArray* partner_rows,
                     const int* group_start, int* driving_rec, int* partner_rec);

// The index of the last of starts[0 .. n-1] (non-decreasing) that is <= target; 0 when there is
// none or n < 1. Of equal starts the last is taken: driving rows without partners share their start
// with the next row that has partners, and that row owns the joined rows from there.
int FindLoc(int target, int n, const int* starts);

// Marks the run starts of n rows sorted by key tuple: flags[i] (the caller's, n ints) = 1 where the
// tuple of sortedRows[i] (keys[k][sortedRows[i]], k < keyCount) differs from that of the position
// before, and at position 0; else 0. *run_count = the number of distinct tuples (0 for n < 1, when
// nothing is written). The caller guarantees that every sorted row indexes every key array.
void MppExtractJoinUnique(int n, int keyCount, const int* sortedRows, int** keys, int* flags, int* run_count);

// Task functions of rows 32, 33, 63 and 64 of mpp_func_map (registered by RegisterJoinTasks). Each
// takes its worker's parameter block and returns 0, or a negative code on failure.
int mpp_flag_set(void* param);
int mpp_join_cutunuse(void* param);
int mpp_join_setup_aggr(void* param);
int mpp_join_unique(void* param);

// Fast non-cube sum over sorted cell addresses (methods 2 and 3 of the non-cube summary): the
// packed cell address of every set row is computed once, the rows are sorted by address, the
// occurring addresses are numbered densely as groups, and every measure is summed per group by
// workers that each own whole groups, so no cube and no per-worker arrays are ever allocated and
// nothing needs folding. Memory grows with the set size and the number of groups, never with the
// cube. Method 2 carries every measure's value number through the sort; method 3 carries only the
// row and looks the values up afterwards (one payload int per row instead of one per measure).
// The result is a new real table equal to that of methods 0 and 1 (summary/cube/TSummary.h states the
// output columns).
//
// Thread safety: drives the worker pool; call from the thread that holds the API lock, never from a
// task. The table collection must not change during the call.
#pragma once

// As MppFastCubeSum (summary/noncube/FastCubeSum.h: the same arguments, refusals and codes, the same 30
// address-bit limit); carry_measures 1 runs method 2, 0 method 3.
int MppFastNonCubeSum(int table_id, int set_id, int n_dims, const int* dim_ids, int n_measures,
                      const int* measure_ids, const int* masks, const int* unused, int carry_measures);

// The worker ranges of the per-group passes over n sorted positions holding g groups (sizes in
// address order) for `workers` workers: ranges close after the group at which their position count
// reaches n / workers (the last worker takes the rest), so no group straddles two ranges. Writes
// each group's address (that of its first position) to group_addr[0 .. g), and for each range used
// its position count to counts[], and returns the number of ranges used (0 when g is 0, at most
// `workers`). Then rewrites addr[0 .. n) in place as group numbers 0 .. g-1 on the worker pool.
// Throws the pool's codes.
int MppCellAddrReNumber(int n, int g, int workers, const int* sizes, int* addr, int* counts, int* group_addr);

// Task functions (rows 54 to 56 of mpp_func_map).
int mpp_fastnoncubesum_celladdr_calc(void* param);
int mpp_fastnoncubesum_renumber(void* param);
int mpp_fastnoncubesum_measure(void* param);

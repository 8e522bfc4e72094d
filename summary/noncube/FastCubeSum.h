// Fast cube sum over bit-packed cell addresses (method 1 of the non-cube summary): the cell address
// of every set row (the dimensions' value numbers packed into bit fields, the last dimension
// lowest) and the row's value numbers in every measure are computed once, grouped by the upper
// radix digit of the address so that later writes of a worker stay in a band of the cube, counted
// per cell, and then summed measure by measure into per-worker arrays that are folded together.
// The result is a new real table (see the output columns in summary/cube/TSummary.h), with the same rows
// and values as the parallel cube sum of summary/noncube/MppCubeSum.h.
//
// Thread safety: drives the worker pool; call from the thread that holds the API lock, never from a
// task. The table collection must not change during the call.
#pragma once

// As MppCubeSum (summary/noncube/MppCubeSum.h), for cubes of at most 30 address bits (more:
// Q7_ERROR_SUMMARY_CELLS_OVERFLOW); the per-worker arrays take 2^bits cells each.
int MppFastCubeSum(int table_id, int set_id, int n_dims, const int* dim_ids, int n_measures,
                   const int* measure_ids, const int* masks, const int* unused);

// Groups n cell addresses in [0, cells) by the upper digit of a build_radix_info(cells, cells) plan,
// stably, each carrying its row of `width` ints of *matrix; replaces *addr and *matrix (zpk_malloc
// blocks of n + 1 and (n + 1) * width ints) by new blocks of the same shape and frees the old ones.
// n <= 0 does nothing. Throws Q7_ERROR_OUT_OF_MEMORY with the caller's blocks untouched.
void MppHalfSortForCellAddr(int n, int cells, int width, int** addr, int** matrix);

// Task functions (rows 49 to 53 of mpp_func_map).
int mpp_cubesum_celladdr_calc(void* param);
int mpp_cubesum_countarr(void* param);
int mpp_fastcubesum_measure_step1(void* param);
int mpp_multi_halfsort_countup(void* param);
int mpp_multi_halfsort_transfer(void* param);

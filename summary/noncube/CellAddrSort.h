// Parallel sorts of packed cell addresses, each carrying a fixed-width row of ints, for the
// summaries that group a set's rows by cell: the rows come out in ascending address order, and the
// sort tells how many distinct addresses (occurring cells) there are and how many rows each has.
//
// Shapes: N keys in [0, K) (K the cell count); payload holds W ints per key, row-major (key i's row
// is payload[i*W .. i*W + W)); W = 0 needs no payload. Both arrays are the caller's and are sorted
// in place, stably: equal keys keep their input order, with their payload rows. The result is the
// same for any worker count.
//
// Returns G, the number of distinct keys; N < 0 returns 0 and does nothing. With group_sizes given,
// *group_sizes receives a new zpk_malloc block (the caller frees it) holding the G row counts in key
// order (N = 0: a block with no entries). A key outside [0, K), K < 1 with N > 0, W < 0, or a null
// array that is needed throws CQ7Exception(Q7_ERROR_INVALID_PARAMETER) with both arrays untouched.
// Exhaustion throws Q7_ERROR_OUT_OF_MEMORY (the caller's arrays are then undefined); every work
// block is freed on every path, and *group_sizes stays null on failure.
//
// SortForCellAddr takes the one-pass form for K <= 65535 and otherwise sorts by the upper digit of
// a build_radix_info(K, K) plan and then, per bucket, by the lower digit. SortForCellAddrSingle is
// the one-pass form for any K (its per-worker histograms hold K + 1 counters).
//
// Thread safety: drives the worker pool: call from the thread that holds the API lock, never from a
// task. Count-up tasks write private histograms, transfer tasks disjoint destination slots, the
// per-bucket pass disjoint bucket ranges.
#pragma once

int SortForCellAddr(int N, int K, int W, int* keys, int* payload, int** group_sizes);
int SortForCellAddrSingle(int N, int K, int W, int* keys, int* payload, int** group_sizes);

// Task functions (rows 60, 61, 62, 70 and 71 of mpp_func_map).
int mpp_multi_celladdr_sort_countup(void* param);
int mpp_multi_celladdr_sort_transfer(void* param);
int mpp_celladdr_sort_2step(void* param);
int mpp_single_celladdr_sort_countup(void* param);
int mpp_single_celladdr_sort_transfer(void* param);

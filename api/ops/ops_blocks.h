// Block reads of the operation layer: runs of consecutive set positions read in one call, as
// values of one filter, engine addresses, record numbers or value numbers. Each row is one read of
// api/ops/ops_data.h, whose ring entries it leaves.
//
// A block starts at the 1-based position first_row. The first row's result (or failure) is the
// block's; the set's end, a later failure or a value that does not fit ends the block without an
// error, and *count receives the rows kept. No position past the set's end is read, so a block
// that succeeds leaves nothing in the error ring. A position past INT_MAX is never read.
//
// These operations have no catch of their own: a null output is thrown as
// CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : <name>") for the exported frame to
// record (nothing is read or cleared then), and so is anything thrown below. Each is named by the
// exported function it serves; the ring names in quotes are the ones these operations record under
// themselves.
//
// Thread safety: call under the API lock (from inside an exported frame). innerRQ7GetData1MEx
// reads through a process-wide buffer that the lock guards.
#pragma once

#include "q7api.h"

// The last position a block read of the set may read, asked once its first read has succeeded (so
// that the table and the set exist): the set's size. A read past it would fail and leave an entry
// in the error ring though the block succeeds. INT_MAX when the size cannot be had.
int BlockLastRow(int table_id, int set_id);

// The value buffer of RQ7GetData1Ex: a text comes cut to one byte less.
inline constexpr int kData1ExBytes = 1048576;

// Up to 128 values of the filter. values (1024 bytes) and texts (4096 bytes) are cleared first;
// values holds 4-byte ints or text offsets into texts, 8-byte doubles, or for a decimal filter the
// first row's NumericInfo and Numeric and the later rows' Numerics. *type receives the rows' type.
// A value of no known type fails the block with Q7_ERROR_INNER_ENGINE ("Error (Inner Engine)").
int innerRQ7GetData1M(int table_id, int filter_id, int set_id, int first_row, int* type, int* count,
                      void* values, char* texts);
// Up to `rows` values (rows < 1: Q7_ERROR_UNKNOWN, no entry), read with innerQ7GetData1Ex through
// a 1048584-byte buffer: values holds `rows` elements as above, texts (text_size bytes, cleared
// first; null allowed when 0) the texts that fit. A negative text_size is recorded
// ("RQ7GetData1MEx", Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: %d") and returned.
int innerRQ7GetData1MEx(int table_id, int filter_id, int set_id, int first_row, int rows, int text_size,
                        int* type, int* count, void* values, char* texts);
// Up to `rows` engine addresses as innerQ7GetData1ExPtr gives them (rows < 1: Q7_ERROR_UNKNOWN).
int innerRQ7GetData1MExPtr(int table_id, int filter_id, int set_id, int first_row, int rows, int* type,
                           int* count, long* addresses);
// Up to 128 record numbers into records (128 ints); other (128 ints, may be null) gets 0 per row.
int innerRQ7GetRowNo1M(int table_id, int set_id, int first_row, int* count, int* records, int* other);
// The value numbers of the filter at positions first_row .. into vnos, at most n and up to the set's
// last row; returns how many were written (0 when first_row lies beyond the set). A negative n is
// recorded ("RQ7GetVNoList", Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: %d") and returned.
int innerRQ7GetVNoList(int table_id, int filter_id, int set_id, int first_row, int n, int* vnos);

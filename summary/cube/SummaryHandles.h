// The eight summary handles and their operations: open a cube summary (TSummary) in a handle,
// execute it once, read cells and category names, close it.
//
// Every operation takes the handle number first, checks it (Q7_ERROR_INVALID_SUM_HANDLE for one
// outside 0..7, recorded as "Invalid Parameter : SumHandle"), catches what the summary throws,
// records a CQ7Exception under its log name ("Q7SummaryOpen", "Q7SummaryExec", "Q7SummaryRead",
// "Q7CategoryRead", "Q7SummaryClose") and returns its code; any other exception returns
// Q7_ERROR_UNKNOWN. Nothing throws out of them.
//
// A handle whose summary is no longer current (TSummary::Current: its table deleted, the database
// cleared or replaced, its set or a column of it gone) is stale: Status, Exec, the reads, CategoryRead
// and the outputs into tables answer Q7_ERROR_INVALID_SUM_HANDLE (recorded where their other handle
// refusals are), as a stale detail display does; Close frees it.
//
// Thread safety: none of their own; the exported callers hold the API lock for the whole call, which
// also guards the handle table and DefaultDimName's buffer.
#pragma once

#include "q7api.h"

class TSummary;

inline constexpr int kSummaryHandles = Q7_SUMMARY_HANDLES;

// The handle table: null means free. Owned: Close and PurgeSummaries delete the summaries.
extern TSummary* Summaries[kSummaryHandles];

// Engine start and re-initialisation: forgets every handle and the detail display without deleting
// anything.
void initializeSummaries();
// Engine stop and re-initialisation (first): deletes the detail display and every open summary and
// frees its handle.
void PurgeSummaries();

// The copy of a set's rows into a temporary table that a summary of a small set sums instead: the
// listed filters (ended by 0) of set_id of table_id, under a name made unique from `name`; the new
// table's ID or a negative code. The API layer installs the engine task's extraction at start-up;
// until then (programs that link the summary folder directly) the table collection's own extraction
// runs. Set before any summary is opened; read under the API lock.
using SummaryExtractFn = int (*)(char* name, int table_id, int set_id, int* filter_ids);
void SetSummaryExtract(SummaryExtractFn fn);
// Runs the installed extraction (or the collection's); throws its negative result.
int RunSummaryExtract(char* name, int table_id, int set_id, int* filter_ids);
// The deletion of that copy when its summary goes (Close, or an Open that fails after the copy was
// made): 0 or a negative code. The API layer installs one that also clears the tables saved flag, as
// the extraction did: a save made while the summary was open wrote the copy into the file, which a
// host saving only on a change must write again. Until then the collection's own DelTable runs.
// Without a database there is nothing to delete: 0. Set and read as the extraction is.
using SummaryDropFn = int (*)(int table_id);
void SetSummaryDrop(SummaryDropFn fn);
int RunSummaryDrop(int table_id);

// The category-name callback of a dimension without a map: the text of value number `category` of
// the dimension's value list, in a static buffer of 256 characters (overwritten by the next call).
// Returns 0; Q7_ERROR_UNKNOWN ("Out of Range") for a category outside the dimension;
// Q7_ERROR_INVALID_PARAMETER for a value list of another type or a handle that holds no summary.
int DefaultDimName(int handle, int table, int dim, int column, int count, int category, char** name);

// Copies a value that a summary read pointed at into a host buffer by its value type: a text with its
// zero byte, at most 4095 characters (the longest a value list holds); a decimal followed by its
// info (null: a zeroed one). Other types copy nothing.
void CopySummaryValue(int value_type, const void* from, const NumericInfo* info, void* to);

// Q7_ERROR_INVALID_SUM_HANDLE when `handle` holds a summary that is not current, recorded as
// (log_name, code, "Invalid Parameter : SumHandle") unless log_name is null; 0 for a current summary,
// a free handle and a handle outside 0..7 (the callers' own checks answer those).
int StaleSummaryRefusal(const char* log_name, int handle);

int innerQ7GetN_Summary();
// dims: dim_count host records (maps and names are copied).
int innerQ7SummaryOpen(int handle, int table, int set, int dim_count, _TDimensionDef* dims, int measure);
// 1 and the outputs for an open handle, 0 for a free one (outputs untouched),
// Q7_ERROR_INVALID_SUM_HANDLE (unrecorded) for one outside 0..7 or stale. dims receives kMaxDims records; a
// null output is skipped.
int innerQ7SummaryStatus(int handle, int* table, int* set, int* dim_count, _TDimensionDef* dims, int* measure,
                         int* computed);
int innerQ7SummaryExec(int handle, int bits, int* computed);
// categories: one entry per dimension of the open summary (only that many are read); null, or a null
// output, is Q7_ERROR_INVALID_PARAMETER (recorded), except null categories without a dimension.
int innerQ7SummaryRead(int handle, int bit, const int* categories, int* result_type, int* value_type,
                       int* count, void** value);
int innerQ7SummaryRead2(int handle, int bit, const int* categories, int* result_type, int* value_type,
                        int* count, void** value, NumericInfo** info);
// A null name or callback_result is Q7_ERROR_INVALID_PARAMETER (recorded).
int innerQ7CategoryRead(int handle, int dim, int category, char** name, int* callback_result);
int innerQ7SummaryClose(int handle);

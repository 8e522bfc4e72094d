// Semi-join filtering between two real tables: the rows of set A whose INTEGER key value occurs
// (in mode, mode != 0) or does not occur (out mode, mode 0) among the key values of set B's rows,
// registered as a new set of table A, without building a join table. Keys compare by value, so
// the two tables keep their own value lists; a NULL key (0x80000000) matches a NULL key.
//
// Both the operation layer's semi-join (checks and ring entries of its own) and the engine task's
// parallel form run ExtractInOutSet once their checks have passed, so the two give the same rows.
//
// Thread safety: none; call under the API lock, from the thread that drives the worker pool.
#pragma once

class TFilter;
class TRealTable;
class TSetArray;

// One side of the comparison, as the checks found it: a real table, one of its sets and one of
// its filters, whose value list is INTEGER.
struct InOutSide {
  TRealTable* table = nullptr;
  TSetArray* set = nullptr;
  TFilter* key = nullptr;
};

// Finds one side in the engine's collection without any ring entry, checking in this order: the
// table exists (Q7_ERROR_NO_SUCH_TABLE) and is real (Q7_ERROR_NOT_REAL_TABLE), holds set_id (a
// negative ID: its current set; Q7_ERROR_NO_SUCH_SET), has filter key_id (Q7_ERROR_NO_SUCH_FILTER)
// whose value list is INTEGER (Q7_ERROR_INVALID_DATA_TYPE). Returns 0 and fills *side, or the code.
int FindInOutSide(int table_id, int set_id, int key_id, InOutSide* side);
// Whether the filter's value list holds INTEGER values.
bool IsIntegerKey(const TFilter* key);

// The work after the checks. Folds the pending values of both tables into their lists, registers a
// copy of a.set as a new set of a.table (AddSet; it becomes current) and keeps in it, in a.set's
// order, the rows selected by mode. Returns the new set's ID, or AddSet's negative code (nothing
// registered). Failures after the registration (Q7_ERROR_OUT_OF_MEMORY, the compiler's codes, a
// value number outside its list: Q7_ERROR_INDEX_OUT_OF_RANGE) are thrown with every work array
// freed; the new set then stays registered. `parallel` compiles the value lists with MppCompile
// and marks B's values on the worker pool (task 24); the result is the same either way.
int ExtractInOutSet(const InOutSide& a, const InOutSide& b, int mode, bool parallel);

// The engine task's form: FindInOutSide for A, then for B (each refusal returned as its code, with
// no ring entry and nothing registered), then ExtractInOutSet on the pool. The new set's ID, or a
// negative code; failures after the registration are thrown as ExtractInOutSet states.
int MppExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b, int mode);

// Task functions of rows 21 ("Q7_MPP_ITEM_TRANSFER", join/TJoinTable_movecol.cpp) and 24
// ("Q7_MPP_JOIN_INOUT") of mpp_func_map, registered by RegisterJoinTasks. Each takes its worker's
// parameter block and returns 0 or a negative code.
int mpp_item_transfer(void* param);
int mpp_join_inout(void* param);

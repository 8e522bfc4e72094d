// Categories, serial road: a category table read as an ordered list of conditions, and the marking
// of a target column's sorted value list by those conditions.
//
// A category table has at least one row and at least four filters, taken by position: the operator
// text (STRING, see summary/category/CategoryOperators.h), param1, param2 (the same value type as param1)
// and the category value. Row r is definition r; the first definition whose condition holds for a
// value gives that value's category, and a value no definition covers gets NULL.
//
// The serial road never tests a definition per row or per value: each definition costs one or two
// binary searches over the target's value list (where NULL, entry 0, is the smallest value and an
// ordinary candidate) and work proportional to the still unassigned intervals it touches. The
// unassigned indexes are kept as a list of disjoint, ascending intervals in three node arrays.
//
// Ownership: TCatTarget and TCatDef borrow the tables and filters they name (which must outlive
// them); TCatDef owns its work arrays. Thread safety: none; used under the API lock by the thread
// that drives the pool.
//
// Failures are thrown as CQ7Exception with the codes stated below; the construction records each
// refusal in the error ring under "Constructor of TCatDef" / "Constructor of TCatTarget".
#pragma once

#include <cstdint>
#include <memory>

#include "q7api.h"

class TFilter;
class TRealTable;
class TTableCollection;

// One parameter of a definition row: as read from its filter (an int, a double, a decimal or the
// address of a text) and, after convDataType, as the search key (a double, a decimal or a text).
union TCatKey {
  int32_t i;
  double d;
  Numeric n;
  const char* s;
};

// The column to categorise.
class TCatTarget {
 public:
  // Records ("Constructor of TCatTarget", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d") and
  // throws that code when the table has no such filter.
  TCatTarget(TRealTable* table, int filterID);

  TRealTable* FTable;
  int32_t FFilterID;
  TFilter* FFilter;
  int32_t FnVL;          // entries of the value list, the NULL sentinel at index 0 included
  int32_t FDataType;     // 2, 3, 6 or 8
  NumericInfo FNumInfo;  // decimals only
};

class TCatDef {
 public:
  // Parses the category table for the target filter; `tables` (null: the engine's database) holds
  // the category table. Refusals, in this order (Q7_ERROR_CATEGORY_DEFINITION unless stated):
  // no such table (Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d "), not real
  // (Q7_ERROR_NOT_REAL_TYPE, "Illegal table type ( Not REAL )"), no rows ("no definition in
  // category table"), fewer than four filters ("Illegal data table"), a missing filter
  // (Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d"), a command that is not STRING ("Illegal data
  // type ( command is Not STRING )"), param1 and param2 of different types ("data type differs
  // between param1 and param2"), a failed condense ("Failed to condense: FilterID[%d]", its
  // code), a row without a command ("blank command/operator not allowed"), a command that is no
  // operator ("Illegal data"), Q7_ERROR_OUT_OF_MEMORY ("Out of memory").
  //
  // The command and category-value filters are condensed first, unless the category table is a
  // shared one (a memory image or a registry view), which is never written to.
  TCatDef(int categoryTableID, TFilter* target, TTableCollection* tables = nullptr);
  ~TCatDef();

  TCatDef(const TCatDef&) = delete;
  TCatDef& operator=(const TCatDef&) = delete;

  // Marks the target's values definition by definition until every value is assigned or the rows
  // run out; piCatNo then holds, per value-list index, the first definition row that covers it (0:
  // none). Throws Q7_ERROR_INNER_ENGINE for a parameter type the target does not accept, or for a
  // key that cannot be converted.
  void MapCategory();
  // Moves to the next definition row and reads its operator code and raw parameters (TCatKey);
  // false after the last row.
  bool iGet1Line(int* op, void* p1, void* p2);
  // Marks the current row's condition (keys already converted); true once every value is assigned.
  bool MarkUp(int op, void* p1, void* p2);
  // The single-parameter codes (0, 2, 3, 4, 6, 7) with param1's key.
  void CaseSingle(int op, void* key);
  // The two-parameter codes (1, 5).
  void CaseDouble(int op, void* key1, void* key2);
  // Marks a single-parameter code given param1's search result (where, lo, hi).
  void Mark1(int where, int op, int lo, int hi);
  // Turns piCatNo from definition rows into category value numbers (0 stays 0: NULL).
  void Fix_piCatNo();

  // Readers for the caller once MapCategory has run.
  int Rows() const { return FCmdVNoLen - 1; }
  int Assigned() const { return FAssigned; }

  // ---- Fields ----
  TRealTable* FCatTable = nullptr;
  TFilter* FCmdFilter = nullptr;
  const int* FCmdVNo = nullptr;
  int32_t FCmdVNoLen = 0;           // rows + 1
  std::unique_ptr<int[]> FOpeCode;  // per command value-list entry; entry 0 is 0
  TFilter* FParam1Filter = nullptr;
  TFilter* FParam2Filter = nullptr;
  TFilter* FCatValFilter = nullptr;
  const int* FCatValVNo = nullptr;  // row -> category value number
  TFilter* FTargetFilter = nullptr;
  int32_t FTargetType = 0;
  NumericInfo FTargetInfo = {};  // decimals only
  int32_t FnTarget = 0;          // n: target value-list entries
  int32_t FParamType = 0;
  NumericInfo FP1Info = {};  // decimals only
  NumericInfo FP2Info = {};
  int32_t FCurRow = 0;             // 1-based; 0 before the first iGet1Line
  int32_t FListHead = -1;          // unassigned intervals, ascending; -1: none
  int32_t FFreeHead = -1;          // free nodes; -1: none
  int32_t FAssigned = 0;           // target values assigned so far
  int32_t FNodeCap = 0;            // m = n / 2 + 4
  std::unique_ptr<int[]> piCatNo;  // n entries
  std::unique_ptr<int[]> FStart;   // m nodes each
  std::unique_ptr<int[]> FLength;
  std::unique_ptr<int[]> FNext;

 private:
  // Assigns every unassigned index in [lo, hi] (already within 0 .. n - 1) to the current row.
  void AssignRange(int lo, int hi);
  // Assigns every unassigned index but `keep` (-1: none).
  void AssignAllBut(int keep);
  int TakeNode();
  void FreeNode(int node);
  // Searches the target's value list for a converted key: the where-flag, lo and hi.
  int Search(const void* key, const NumericInfo* key_info, int* lo, int* hi);
};

// Converts a parameter read from its row into the key kind of the target's value list (type 2,
// 3, 6 or 8), in place: for an INTEGER or double-kind target a double (an int as double, a decimal
// under param_info), for a STRING target the text as is, for a DECIMAL target a decimal (an int or
// a double converted under target_info; a decimal parameter as is, compared under its own info).
// A NULL parameter (the int NULL, minus infinity, the decimal NaN) becomes the target's NULL (the
// int NULL as a double, minus infinity, NaN). Any other pair, or a conversion that overflows,
// throws Q7_ERROR_INNER_ENGINE.
void convDataType(int target_type, const NumericInfo* target_info, int param_type,
                  const NumericInfo* param_info, TCatKey* value);

// Searches a sorted value list of n entries (index 0 the NULL sentinel) for a key. Returns -1
// (lo = hi = -1) for a key below entry 0, 1 (lo = hi = n) for a key above entry n - 1, else 0 with
// lo the greatest index whose entry is <= key and hi = lo on an exact hit, else lo + 1. n == 0
// throws Q7_ERROR_INNER_ENGINE "BufSize == 0", a negative n "BufSize < 0 or too large".
// Texts compare as strcmp does; decimals across scales, NaN (NULL) below every number.
int iBiSectionI(const int* list, int n, double key, int* lo, int* hi);
int iBiSectionD(const double* list, int n, double key, int* lo, int* hi);
int iBiSectionS(const uint64_t* offsets, const char* area, int n, const char* key, int* lo, int* hi);
int iBiSectionN(const Numeric* list, int n, const NumericInfo* list_info, const Numeric* key,
                const NumericInfo* key_info, int* lo, int* hi);

// out[r] = map[vno[r]] for the rows r = 1 .. rows (out[0] is left alone); map has n_map entries.
// Above 99,999 elements (rows + 1) the rows are split over every worker of the pool (task 38),
// else the caller's thread does it. A value number outside the map throws
// Q7_ERROR_ILLEGAL_ARRAY_DATA.
void CategorizeRows(const int* map, int n_map, const int* vno, int* out, int rows);

// Task 38: one worker's slice of CategorizeRows.
int mpp_categorize(void* param);

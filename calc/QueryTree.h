// The tree of one text query: the nodes the parser builds, the two checking passes that turn it into
// searches of one table, and their execution into a new set.
//
// A query's life: a TQueryTree is made on the caller's stack for the searched table and source-set
// position; QueryParse scans and parses the text into it (the nodes live in the tree's vector and are
// destroyed with the tree, whatever the parse result); the top node then goes through Stage1 (NOT
// pushed down to the comparisons, column names resolved to filters) and Stage2 (literals converted to
// constants of the compared column's type, shape checked); Execute or MppExecute runs the searches and
// set operations and registers the result as a new set of the table.
//
// Failures are thrown as CQ7Exception: Q7_ERROR_QUERY_INTERNAL, Q7_ERROR_QUERY_OPERAND,
// Q7_ERROR_QUERY_VALUE_TYPE, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_SET_COUNT_OVERFLOW,
// Q7_ERROR_OUT_OF_MEMORY and the searches' own codes. A failure registers nothing and leaves no set
// behind. On a join table the result is a new join set: the searched sides' rows paired again.
//
// Thread safety: a tree belongs to one thread. QueryErrorMessage is one process buffer: parses that
// read it run under the API lock. Execute and MppExecute drive the worker pool from the calling thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "q7api.h"

class TBaseTable;
class TFilter;
class TJoinTableBase;
class TRealTable;
class TSetArray;
class TQueryTree;

// Node kinds; the names the dump and the messages print are QueryNodeKindName's.
enum QueryNodeKind : int32_t {
  kQueryInvalid = 0,
  kQuerySymbol = 1,
  kQueryFilter = 2,
  kQueryNumber = 3,
  kQueryString = 4,
  kQueryConst = 5,
  kQueryIsNull = 6,
  kQueryEqual = 7,
  kQueryLessThan = 8,
  kQueryLessThanOrEqual = 9,
  kQueryBetween = 10,
  kQueryWithin = 11,
  kQueryLeftMatch = 12,
  kQueryMiddleMatch = 13,
  kQueryRightMatch = 14,
  kQueryAnd = 15,
  kQueryOr = 16,
  kQueryNot = 17,
};

// "Invalid", "Symbol", ... "Not"; "Unknown" for any other kind.
const char* QueryNodeKindName(int kind);

// The side a node's rows belong to: a real table, or a join's master, its slave, or both.
constexpr int kQuerySideMaster = 1;
constexpr int kQuerySideSlave = 2;
constexpr int kQuerySideBoth = 3;

// The row sets a node's execution gives, one per side; either may be absent.
struct QuerySets {
  std::unique_ptr<TSetArray> master;
  std::unique_ptr<TSetArray> slave;
};

// A node, made only by MakeLeafQueryNode and MakeOperatorQueryNode and owned by its tree. Which
// fields are used depends on the kind.
class TQueryNode {
 public:
  explicit TQueryNode(TQueryTree* owner, int node_kind) : kind(node_kind), tree(owner) {}
  ~TQueryNode();
  TQueryNode(const TQueryNode&) = delete;
  TQueryNode& operator=(const TQueryNode&) = delete;

  // The node that replaces this one once every NOT below (negate) is pushed down to the comparisons
  // and every Symbol is resolved to a filter of the searched table.
  TQueryNode* Stage1(bool negate);
  // Converts literals into constants of `type` (0 for nodes that are not literals; info: the
  // decimal info of a decimal column) and checks the tree's shape and sides.
  void Stage2(int type, const NumericInfo* info);
  // The rows of the node, by side. MppExecute searches on the worker pool.
  QuerySets Execute();
  QuerySets MppExecute();
  // One line for the node, then its children (a debugging picture).
  void Dump(FILE* out, const char* prefix, bool last);

  int32_t kind;
  TQueryTree* tree;
  // Operators: the negation flag and the children (a: the column or the first operand; b, c: the
  // values, or b the second operand).
  bool negate = false;
  TQueryNode* a = nullptr;
  TQueryNode* b = nullptr;
  TQueryNode* c = nullptr;
  // Operators and Filters: the side of the rows (kQuerySide*), set by Stage2 / Stage1.
  int32_t side = 0;
  // Symbol: the name and the table qualifier (or null); Number and String: the literal text; Const of
  // type STRING: the value. malloc'ed, owned.
  char* text = nullptr;
  char* qualifier = nullptr;
  // Filter: the value type, the real table that holds the filter, the filter, the row set searched.
  int32_t value_type = 0;
  TRealTable* table = nullptr;
  TFilter* filter = nullptr;
  TSetArray* source = nullptr;
  // Const: the value type and the value (a NULL value is 0x80000000, minus infinity or the decimal
  // NaN); decimals keep their column's info for printing.
  int32_t const_type = 0;
  int32_t int_value = 0;
  double double_value = 0;
  Numeric numeric_value = {0, 0};
  NumericInfo numeric_info = {0, 0};

 private:
  template <bool Parallel>
  QuerySets Run();
  template <bool Parallel>
  QuerySets RunComparison();
  void Resolve();
  void ResolveJoinColumn(TJoinTableBase* join);
  void ConvertNumber(int type, const NumericInfo* info);
  void ConvertString(int type);
  void DumpLine(FILE* out);
};

// The tree of one query on `table`, searching the set at position set_pos (of the table, or of the
// join's sets).
class TQueryTree {
 public:
  TQueryTree(TBaseTable* searched, int set_pos);
  // Destroys every node made for the tree.
  ~TQueryTree();
  TQueryTree(const TQueryTree&) = delete;
  TQueryTree& operator=(const TQueryTree&) = delete;

  // Evaluates the top node and registers the result as the table's new current set; its ID.
  // Q7_ERROR_SET_COUNT_OVERFLOW when the table already has 10000 sets.
  int Execute();
  int MppExecute();
  // The title line, then the tree.
  void Dump(FILE* out, const char* title, const char* prefix);

  // Called when a node could not be made while parsing (the parse then ends); QueryParse's caller
  // reports Q7_ERROR_OUT_OF_MEMORY rather than a syntax error.
  void NoteFailure() { failed = true; }

  TBaseTable* table;
  TQueryNode* top = nullptr;
  int32_t set_pos;
  // The real tables whose filters a query may name: the table itself, or a join's master and slave.
  TRealTable* sources[2] = {nullptr, nullptr};
  std::vector<TQueryNode*> nodes;
  bool failed = false;

  // The rows of one side (0 master, 1 slave) of the searched join set that the side's columns
  // search: the set's own, or for an outer join a copy without record 0, kept in `held`.
  TSetArray* JoinRows(int join_side);

 private:
  template <bool Parallel>
  int Run();
  template <bool Parallel>
  int RegisterJoinSet(QuerySets sets);
  std::unique_ptr<TSetArray> held[2];
};

// The parser's messages: "syntax error", "SYNTAX ERROR", "parser stack overflow", each after a line
// feed when the buffer is not empty, cut to the 500 bytes. One process buffer, used under the API lock.
extern char QueryErrorMessage[500];
// Appends a message by the rule above (ignored when the buffer already holds more than 497 characters).
void QueryAppendError(const char* message);

// Clears QueryErrorMessage, scans and parses `text` into `tree` with a scanner of its own, destroyed
// before returning: 0 success (the tree's top node is set), 1 syntax error, 2 "parser stack overflow"
// (more than 10000 parser stack entries). tree->failed tells that a node could not be allocated.
int QueryParse(TQueryTree* tree, const char* text);

// A leaf of kind 1 (Symbol: the text is its name), 3 (Number) or 4 (String: the literal's text). With
// dup non-zero the text is copied, else the node takes the malloc'ed text over. Any other kind throws
// Q7_ERROR_QUERY_INTERNAL and makes no node (the text stays the caller's). Q7_ERROR_OUT_OF_MEMORY.
TQueryNode* MakeLeafQueryNode(TQueryTree* tree, int kind, char* text, int dup);
// An operator node (kinds 6 .. 17) with the negation flag (negate != 0) and three children (any may
// be null). Q7_ERROR_OUT_OF_MEMORY.
TQueryNode* MakeOperatorQueryNode(TQueryTree* tree, int kind, int negate, TQueryNode* a, TQueryNode* b,
                                  TQueryNode* c);
void QuerySetTopNode(TQueryTree* tree, TQueryNode* node);
// Moves the table node's name into the column node as its qualifier.
void QuerySetTableName(TQueryNode* column, TQueryNode* table);

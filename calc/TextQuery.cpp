// The text query's entry point: a query text parsed, checked and run into a new set of the table.
#include "calc/TextQuery.h"

#include "calc/QueryTree.h"
#include "database/TBaseTable.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"

int SearchByTextQuery(TBaseTable* table, int set_pos, const char* text, bool parallel, const char* log_name) {
  if (table == nullptr || text == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  TQueryTree tree(table, set_pos);
  const int result = QueryParse(&tree, text);
  if (tree.failed) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  if (result != 0) {
    PutErrorLog(log_name, Q7_ERROR_QUERY_SYNTAX, "Query Syntax Error");
    throw CQ7Exception(QueryErrorMessage, Q7_ERROR_QUERY_SYNTAX);
  }
  tree.top = tree.top->Stage1(false);
  tree.top->Stage2(0, nullptr);
  return parallel ? tree.MppExecute() : tree.Execute();
}

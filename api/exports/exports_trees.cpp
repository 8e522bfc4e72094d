// Exported join-chain and tree-table calls: realising a chain of inner joins as a tree table,
// qualifying a tree table, and deleting tree nodes.
#include "api/frame/frame.h"
#include "api/ops/ops_trees.h"
#include "q7api.h"

Q7_EXPORT int RQ7RealizeJoinChain(const char* name, const int* join_ids, int* table_ids_out,
                                  int (*sets_out)[510]) {
  return FullFrame("RQ7RealizeJoinChain",
                   [&] { return innerQ7RealizeJoinChain(name, join_ids, table_ids_out, sets_out); });
}
Q7_EXPORT int Q7RealizeJoinChain(const char* name, const int* join_ids, int* table_ids_out,
                                 int (*sets_out)[510]) {
  return PlainFrame([&] { return innerQ7RealizeJoinChain(name, join_ids, table_ids_out, sets_out); });
}

Q7_EXPORT int RQ7RealizeJoinChainEx(const char* name, const int* join_ids, int count,
                                    const int (*column_ids)[4], int* table_ids_out, int (*sets_out)[510]) {
  return FullFrame("RQ7RealizeJoinChainEx", [&] {
    return innerQ7RealizeJoinChainEx(name, join_ids, count, column_ids, table_ids_out, sets_out);
  });
}
Q7_EXPORT int Q7RealizeJoinChainEx(const char* name, const int* join_ids, int count,
                                   const int (*column_ids)[4], int* table_ids_out, int (*sets_out)[510]) {
  return PlainFrame(
      [&] { return innerQ7RealizeJoinChainEx(name, join_ids, count, column_ids, table_ids_out, sets_out); });
}

Q7_EXPORT int RQ7QualifyTree(int tree_table, int depth, int source_table, const int* source_filters,
                             int inherit) {
  return FullFrame("RQ7QualifyTree", [&] {
    return innerQ7QualifyTree(tree_table, depth, source_table, source_filters, inherit);
  });
}
Q7_EXPORT int Q7QualifyTree(int tree_table, int depth, int source_table, const int* source_filters,
                            int inherit) {
  return PlainFrame(
      [&] { return innerQ7QualifyTree(tree_table, depth, source_table, source_filters, inherit); });
}

Q7_EXPORT int Q7DelTreeNodes(int table_id, int set_only, int level, int level_filter, int set_id,
                             int node_filter, const int* nodes, int* new_set_out, int* new_filter_out) {
  return PlainFrame([&] {
    return innerQ7DelTreeNodes(table_id, set_only, level, level_filter, set_id, node_filter, nodes,
                               new_set_out, new_filter_out);
  });
}

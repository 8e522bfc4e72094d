// Join chains and tree tables in the operation layer: realising a chain, qualifying, deleting nodes.
#include "api/ops/ops_trees.h"

#include "api/ops/OpCommon.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"

int innerQ7RealizeJoinChainEx(const char* name, const int* join_ids, int count, const int (*column_ids)[4],
                              int* table_ids_out, int (*sets_out)[510]) {
  constexpr char kRing[] = "Q7RealizeJoinChain";
  return RunOp(kRing, [&] {
    CheckHostPointer(table_ids_out, "TblIDs");
    CheckHostPointer(sets_out, "SetIDs");
    if (count > 0) CheckHostPointer(column_ids, "Columns");
    TTableCollection* db = RequireDatabase(kRing);
    const int id =
        CheckInner(kRing, db->RealizeJoinChain(name, join_ids, count, column_ids, table_ids_out, sets_out),
                   "Failed to realize jointchain ( RealizeJoinChain module )");
    MarkTablesChanged();
    return id;
  });
}

int innerQ7RealizeJoinChain(const char* name, const int* join_ids, int* table_ids_out, int (*sets_out)[510]) {
  return innerQ7RealizeJoinChainEx(name, join_ids, 0, nullptr, table_ids_out, sets_out);
}

int innerQ7QualifyTree(int tree_table, int depth, int source_table, const int* source_filters, int inherit) {
  constexpr char kRing[] = "Q7QualifyTree";
  return RunOp(kRing, [&] {
    TTableCollection* db = RequireDatabase(kRing);
    const int rc = CheckInner(kRing, db->Qualify(tree_table, depth, source_table, source_filters, inherit),
                              "Failed to qualify ( Qualify module )");
    MarkTablesChanged();
    return rc;
  });
}

int innerQ7DelTreeNodes(int table_id, int set_only, int level, int level_filter, int set_id, int node_filter,
                        const int* nodes, int* new_set_out, int* new_filter_out) {
  constexpr char kRing[] = "Q7DelTreeNodes";
  return RunOp(kRing, [&] {
    RequireDatabase(kRing);
    TRealTable* table = FindRealTable(kRing, table_id, MissEntry::kTrailingBlank);
    const int removed = CheckInner(kRing,
                                   table->DelTreeNodes(set_only, level, level_filter, set_id, node_filter,
                                                       nodes, new_set_out, new_filter_out),
                                   "");
    MarkTablesChanged();
    return removed;
  });
}

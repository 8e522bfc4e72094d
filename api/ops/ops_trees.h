// Join chains and tree tables in the operation layer: realising a chain of inner joins as a tree
// table, qualifying a tree table with another table's columns, and deleting tree nodes.
//
// Conventions of api/ops/OpCommon.h: own catch, a negative result of the collection or the table
// recorded with the message noted and returned; a CQ7Exception recorded with its own message.
// Saved flags: each success clears g_TFSaved.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

// A real table laid out as the tree of the chain of inner joins join_ids (TTableCollection::
// RealizeJoinChain, serial; the name is made unique as given, no default), with `count` (0 to 4)
// data columns: column_ids[k][c] names an INTEGER filter of the chain's k-th table. table_ids_out
// (511 ints) receives the chain's tables, sets_out[0][k] / sets_out[1][k] the sets of join k. Its
// table ID. Ring name "Q7RealizeJoinChain"; a refusal is recorded "Failed to realize jointchain (
// RealizeJoinChain module )". Null outputs (or null column_ids with a count):
// Q7_ERROR_INVALID_PARAMETER.
int innerQ7RealizeJoinChainEx(const char* name, const int* join_ids, int count, const int (*column_ids)[4],
                              int* table_ids_out, int (*sets_out)[510]);
// The same without data columns.
int innerQ7RealizeJoinChain(const char* name, const int* join_ids, int* table_ids_out, int (*sets_out)[510]);

// TTableCollection::Qualify(tree_table, depth, source_table, source_filters, inherit): 0, or -1
// (a column could not be added) / a code, recorded "Failed to qualify ( Qualify module )".
int innerQ7QualifyTree(int tree_table, int depth, int source_table, const int* source_filters, int inherit);

// TRealTable::DelTreeNodes on a real table (missing: "No Such Table: %d "; not real: "Not
// RealTable: %d", Q7_ERROR_NOT_REAL_TABLE): the number of rows removed; a negative result is
// recorded with an empty message.
int innerQ7DelTreeNodes(int table_id, int set_only, int level, int level_filter, int set_id, int node_filter,
                        const int* nodes, int* new_set_out, int* new_filter_out);

// Derived tables in the operation layer: duplicating a real table, extracting a set of it with
// chosen filters, combining the sets of two real tables column by column, and listing the rows of
// sets of many real tables in one table. Each makes a new real table and returns its ID.
//
// Conventions of api/ops/OpCommon.h: own catch under the ring name "Q7" + the operation's name (the
// combines of two tables record under "Q7CombineRealTable"); a CQ7Exception of the layers below is
// recorded with its code and message; a negative result of the collection is recorded with the
// message given below and returned. Names as in api/ops/ops_tables.h: a host name above 255 bytes
// fails with Q7_ERROR_ILLEGAL_TABLE_NAME ("Illegal tablename"); a null or empty one gets a
// generated "realtbl" name. Without a collection: Q7_ERROR_NO_SUCH_TABLE ("No Table"). The
// database layer states the tables made and its refusals (database/TTableCollection.h).
//
// A success clears g_TFSaved. The host's names and lists are only read: a filter list and a pair
// list must hold every entry up to the one (or the pair) that ends it, at most 512.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

// A duplicate of the real table. Negative results: "Failed to duplicate real table (
// DuplicateRealTable module )".
int innerQ7DuplicateRealTable(const char* name, int table_id);

// The rows of set set_id of the real table with the filters of filter_ids (read up to the first ID
// below 1, at most 512; null: every filter in display order), preceded when asked by the INTEGER
// columns "#TABLE_ID" (add_table_id non-zero) and "#REC_NO" (add_rec_no non-zero), 512 columns in
// all. The table's filter list is refused as innerQ7GetFilterIDList refuses it, recorded again as
// "Failed to get FilterIDlist (innerQ7GetFilterIDList module)". Negative results: "Failed to extract
// real table (ExtractRealTable module)". innerQ7ExtractRealTable asks for neither extra column.
int innerQ7ExtractRealTableEx(const char* name, int table_id, int set_id, int add_table_id, int add_rec_no,
                              const int* filter_ids);
int innerQ7ExtractRealTable(const char* name, int table_id, int set_id, const int* filter_ids);

// The rows of set_a of table_a, then of set_b of table_b, paired column by column by ids_a and ids_b
// (null: the table's filters in display order), with the columns "TableID" (add_table_id) and
// "RECNO" (add_rec_no) first when asked; consume_sources non-zero gives up the sources as the new
// table takes their columns and deletes them after. Negative results: "Failed to combine real
// table ( MppAddJoinTable module )". innerQ7CombineRealTable asks for no extra column and consumes
// nothing.
int innerQ7CombineRealTableEx(const char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                              const int* ids_a, int table_b, int set_b, const int* ids_b,
                              int consume_sources);
int innerQ7CombineRealTable(const char* name, int table_a, int set_a, const int* ids_a, int table_b,
                            int set_b, const int* ids_b);

// The rows of set set_ids[i] of table table_ids[i] (up to the first ID below 1, at most 64), with
// "TableID", "RECNO" and one INTEGER "DATA" column per data list given (data_n[i]: the filter of
// table i whose values the column takes). A name above 255 bytes is recorded twice ("Illegal
// tablename"); a negative result is recorded with an empty message.
int innerQ7CombineTableList(const char* name, const int* table_ids, const int* set_ids, const int* data_1,
                            const int* data_2, const int* data_3, const int* data_4);

// Entry point of the text query language: turns a query text into a new set of the table.
//
// Thread safety: runs under the API lock (the query error buffer is one process buffer); the parse
// itself keeps no global state.
#pragma once

class TBaseTable;

// Steps from "set up the tree" to "execute": scans and parses `text`, runs Stage1/Stage2 and Execute
// (parallel == false) or MppExecute (parallel == true) on `table` at source-set position `set_pos`;
// returns the new set's ID. A syntax error writes the ring entry (log_name, 0xE0000123,
// "Query Syntax Error") and throws CQ7Exception(QueryErrorMessage, 0xE0000123). Every failure is a
// thrown CQ7Exception; nothing is left registered and no parser/lexer state survives the call.
int SearchByTextQuery(TBaseTable* table, int set_pos, const char* text, bool parallel, const char* log_name);

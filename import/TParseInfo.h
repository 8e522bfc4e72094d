// TParseInfo: the parse information of one checked catalog import (import/CatalogChecker.h), and
// its three passes: the structure pass over the catalog, the data pass over the data file and the
// making of the table.
//
// Catalog lines (each first copied, upper-cased and stripped of control bytes but the tab and of
// bytes of 128 or more; the directive is the copy's first tab-separated token without blanks):
//   "//TAB", "//CSV", "//USR" tab c1 tab c2 ...   register separators (at most kMaxSeparators)
//   "//FIX"                                       refused (Q7_CATALOG_PARSE_ERROR)
//   "//CUTTOP"                                    the first data line is skipped
//   "//SHIFT-JIS", "//EUC", "//UTF-8", "//MS932", "//MS936", "//MS949", "//CP1252"  table code
//   type tab size tab name [tab scale [tab mode]]  a field; "SKIP" anywhere but in the name skips it
//   an empty line; any other "//" line            ignored (the latter logged as a comment)
// Field lines are split from the line as read (TFilterDscp), so names keep their case and bytes.
// Type letters: A string, D date, E datetime, F double, I integer, N decimal (scale 0..38 and a
// rounding-mode name; with neither, scale 10 and ROUNDHALFUP; an unknown mode name reads as
// ROUNDHALFUP), T time.
//
// Limits: at most kMaxFields field lines (skipped ones included), a decimal scale of 0..38; a
// catalog beyond them is refused with Q7_CATALOG_PARSE_ERROR after a log record.
//
// Data: cells as TIOBuf hands them out. A cell is stored by its field's type: strings as read,
// every other type trimmed and ungrouped (ExcludeTabSpaceComma) and read strictly; a value that
// cannot be read becomes the type's NULL and is logged. Surplus cells of a line are dropped, missing
// ones are NULL, and both are logged. Only a malformed file structure fails the pass.
//
// Log records: the structure pass logs (catalog line, item number or 0, field name, ...); the data
// pass (data line, the field's data column number, field name, the cell as read, "", comment); the
// cell reader and the making of the table log with line 0.
//
// Results and failures: each pass returns its result or a negative code and throws nothing. Codes:
// Q7_CATALOG_PARSE_ERROR for a structure fault of the catalog or of the data file (every line that
// is neither empty nor a "//" line is read as a field line, and refused there when malformed),
// Q7_ERROR_ILLEGAL_FILE_NAME for a data file that cannot be opened, Q7_ERROR_INNER_ENGINE when the columns
// disagree or the new table is missing, and the table collection's and AddFilter2's own codes.
//
// Every pass takes the log it writes (not null; it must outlive the pass).
//
// Ownership: the object owns the column arrays until MakeTable hands them to the table; the
// destructor deletes those it still holds. The structure pass may change the database character
// code (see iParseStructInfo). Thread safety: one thread, under the API lock (the database and its
// character code are process-wide).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TBaseArray;
class TCorrectLog;

class TParseInfo {
 public:
  static constexpr int kMaxFields = 512;
  static constexpr int kMaxSeparators = 8;
  static constexpr int kMaxScale = 38;
  // Catalog lines are read in pieces of at most this many bytes.
  static constexpr int kMaxCatalogLine = 4095;

  struct Field {
    uint8_t type = 0;    // 2..8
    uint8_t skip = 0;    // 1: the field's cells are dropped
    int32_t column = 0;  // 1, 2, ... over the fields kept; 0 for a skipped field
    std::string name;    // at most 255 bytes
    int32_t scale = 0;   // decimals
    int32_t mode = 0;    // decimals
    TBaseArray* values = nullptr;
  };

  TParseInfo();
  ~TParseInfo();
  TParseInfo(const TParseInfo&) = delete;
  TParseInfo& operator=(const TParseInfo&) = delete;

  // Reads the catalog dir/catalog into the field and separator tables, checks the table's
  // character code against the database's and makes the empty column arrays. When the catalog sets
  // no code the table takes the database's; a database without a code, or without tables, takes
  // the table's. Returns the field count.
  int iParseStructInfo(const char* dir, const char* catalog, TCorrectLog* log);
  // Reads dataDir/dataFile into the column arrays. Returns 0.
  int iReadData(const char* dataDir, const char* dataFile, TCorrectLog* log);
  // A new real table named tableName with one filter per kept field, in catalog order; a decimal
  // filter keeps its field's scale and rounding mode. Returns the table's ID; after a failure no
  // new table stays in the database.
  int MakeTable(const char* tableName, TCorrectLog* log);

  // Field i's name, or the empty text outside 0 .. FieldCount() - 1.
  const char* GetFilterName(int i) const;
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  const Field& FieldAt(int i) const { return fields_[static_cast<size_t>(i)]; }
  const std::string& Separators() const { return separators_; }
  bool CutTop() const { return cut_top_; }
  unsigned char CodeType() const { return code_; }

 private:
  void ParseLine(int line, const char* raw, TCorrectLog* log);
  bool SeparatorLine(int line, const std::string& copy, const std::string& directive, TCorrectLog* log);
  void RegisterSeparator(int line, char c, TCorrectLog* log);
  bool CodeLine(int line, const std::string& directive, TCorrectLog* log);
  void FieldLine(int line, const char* raw, TCorrectLog* log);
  void EndOfCatalog(int line, TCorrectLog* log);
  void MakeColumns();
  void Store(Field& field, const char* cell, int line, TCorrectLog* log);
  void StoreNull(Field& field);
  void ReleaseColumns();

  unsigned char code_ = 0;
  std::vector<Field> fields_;
  std::string separators_;
  bool cut_top_ = false;
  std::vector<char> work_;  // one trimmed cell
};

// What the text export shares at table level: the row share of one part, the records of an export
// format file and their reader, and the part of the exporter's state that a table's part writer
// reads. The exporter itself (import/CCMultiThreadExport.h) derives from CsvExportState, so the
// tables can be handed the exporter without knowing the layer above them.
//
// Export format file: one record per line, "name TAB digits TAB rounding-mode name" (the mode one of
// "ROUNDUP" ... "ROUNDHALFEVEN"). Blanks and carriage returns are dropped from every line first;
// lines whose first characters other than blanks and tabs are "//" and empty lines are skipped.
//
// Thread safety: readFmtInfo and FindExportFormat are re-entrant. A CsvExportState is written by the
// thread that drives an export before the workers start and only read by them.
#pragma once

#include <cstdint>

// One part's rows: 1-based positions in the set, both included.
struct CsvLineDiv_t {
  int32_t first;
  int32_t last;
};

// One line of an export format file.
struct EXPTFMT_t {
  char name[264];    // the filter's name, NUL-terminated (a longer name is cut to 263 bytes)
  int32_t digits;    // digits after the point; -1 when not given (or not a whole number >= 0)
  int32_t rounding;  // mode 0..6; -1 when digits is -1; kNoRoundingMode for a missing or unknown name
};
static_assert(sizeof(EXPTFMT_t) == 272);

// Records allocated per export, and how many of them a lookup considers.
inline constexpr int kExportFormatRecords = 1025;
inline constexpr int kExportFormatLookup = 1024;
// The rounding of a record whose mode name is missing or is not a mode name.
inline constexpr int32_t kNoRoundingMode = INT32_MIN;

// Reads the format file into records, in file order, at most `capacity` of them (later lines are
// ignored); the count read. Lines are read in pieces of at most 4095 bytes, each piece taken as a
// line. A piece without a name or without a digits text ends the reading with
// Q7_CATALOG_PARSE_ERROR (the records before it are stored); a file that cannot be opened gives
// Q7_ERROR_ILLEGAL_FILE_NAME. The records after the count are not touched.
int readFmtInfo(const char* file, EXPTFMT_t* records, int capacity = kExportFormatRecords);

// Splits a line of the format file's layout at tabs into up to three tokens, each ending at a tab,
// a line feed, a carriage return or the end (a line feed or carriage return ends the later tokens
// too); a missing token is the empty text. Each of a, b and c receives its token NUL-terminated and
// must hold strlen(line) + 1 bytes; a null output is skipped. Returns 0 when the first or the second
// token is empty, else 1. The format file reader applies the same rule.
int DissolveLine2(char* line, char* a, char* b, char* c);

// The first of the first n records whose name equals `name` exactly, or null (null records too).
const EXPTFMT_t* FindExportFormat(const EXPTFMT_t* records, int n, const char* name);

// What a table's part writer reads from the exporter.
class CsvExportState {
 public:
  int32_t m_nTableID = 0;
  int32_t m_nSetID = 0;             // the set of the export; the current set already resolved
  char m_cSeparator = ',';          // between fields
  char m_cDateSeparator = '/';      // inside dates
  EXPTFMT_t* m_pFormats = nullptr;  // kExportFormatRecords records read from the format file, or null
};

// The text export of a real table: the serial exports of a set into one file and the writer of one
// part of a parallel export. The field texts are CsvColumnPrinter's, so every road writes the same
// bytes for the same value.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "database/CsvColumnPrinter.h"
#include "database/CsvExportFormat.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_fstream.h"
#include "values/DateTime.h"

// ---- Defaults for tables that cannot be exported ----

int TBaseTable::Export(int, const int*, int, int, char, char, const char*, const char*) {
  return Q7_ERROR_NOT_REAL_TABLE;
}

int TBaseTable::Export(int, const int*, int, int, char, char, const char*, const char*, const char*) {
  return Q7_ERROR_NOT_REAL_TABLE;
}

int TBaseTable::OutCsvPartFile(CsvExportState*, const char*, const int*, const CsvLineDiv_t*, int,
                               const char*) {
  return Q7_ERROR_NOT_REAL_TABLE;
}

namespace {

constexpr char kLog[] = "Export";
// Lines are written in blocks of this many bytes and more.
constexpr int kSerialBlock = 1 << 20;
// How many rows ahead the values are prefetched.
constexpr int kPrefetchRows = 16;
// Room of the line buffer beyond the block size, and per column when lines go out one by one.
constexpr size_t kLineSlack = 4096;

// The filters a list names, up to its first -1 and at most as many as the table has; every filter
// in display order for a null list or one starting with -1. *bad receives the index of the first ID that
// names no filter (-1 when all do).
std::vector<TFilter*> ListedFilters(TRealTable* table, const int* ids, int* bad) {
  std::vector<TFilter*> filters;
  *bad = -1;
  if (ids == nullptr || ids[0] == -1) {
    filters.assign(table->FFilters, table->FFilters + table->FnFilter);
    return filters;
  }
  for (int i = 0; i < table->FnFilter && ids[i] != -1; ++i) {
    const int pos = table->FilterID2Pos(ids[i]);
    if (pos < 0) {
      *bad = i;
      return {};
    }
    filters.push_back(table->FFilters[pos]);
  }
  return filters;
}

// The set at a set ID (resolved), without any entry: parts run on workers.
TSetArray* FindSetQuietly(TRealTable* table, int set_id) {
  const int32_t* begin = table->FSetIDs;
  if (begin == nullptr) return nullptr;
  const int32_t* end = begin + table->FnSet;
  const int32_t* hit = std::lower_bound(begin, end, set_id);
  if (hit == end || *hit != set_id) return nullptr;
  return table->FSets[hit - begin];
}

void WriteBlock(zpk_fstream& stream, CsvLine& line) {
  if (line.size() > 0) zpk_write(stream, line.data(), 1, line.size());
  line.Clear();
}

// Rows at positions first .. last (0-based) of the set as lines; the pending text goes out
// whenever `block` bytes (0: a line) have gathered. A position outside the set throws
// Q7_ERROR_INDEX_OUT_OF_RANGE after what came before it has been written.
void WriteLines(TSetArray* set, int first, int last, const CsvColumnPrinter* columns, int column_count,
                char separator, zpk_fstream& stream, CsvLine& line, size_t block) {
  const int* rows = set->PIntAr();
  const int set_size = set->FArraySize;
  for (int p = first; p <= last; ++p) {
    if (p < 0 || p >= set_size) {
      WriteBlock(stream, line);
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    }
    // The values of the row kPrefetchRows ahead start loading while this one is written.
    const int ahead = p + kPrefetchRows < set_size ? rows[p + kPrefetchRows] : 0;
    const int rec = rows[p];
    for (int c = 0; c < column_count; ++c) {
      if (c > 0) {
        line.Room(1);
        line.Put(separator);
      }
      columns[c].Prefetch(ahead);
      columns[c].Append(rec, line);
    }
    line.Room(1);
    line.Put('\n');
    if (line.size() >= block) WriteBlock(stream, line);
  }
  WriteBlock(stream, line);
}

// The lines are gathered into blocks of their own: a stream buffer would only copy each block once
// more on its way to the file.
void Unbuffered(zpk_fstream& stream) {
  if (setvbuf(stream.handle(), nullptr, _IONBF, 0) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
}

void CloseChecked(zpk_fstream& stream) {
  if (zpk_close(stream) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
}

}  // namespace

// ---- The serial exports ----

namespace {

// What the two serial exports share. with_format: the format-file form's rules.
int SerialExport(TRealTable* table, int set_id, const int* filter_ids, int first_row, int last_row,
                 char separator, char date_separator, const char* directory, const char* file,
                 const char* format_file, bool with_format) {
  const int pos = table->SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog(kLog, Q7_ERROR_NO_SUCH_SET, "Failed to get index SetLoc ( result SetID2Pos )");
    return Q7_ERROR_NO_SUCH_SET;
  }
  TSetArray* set = table->FSets[pos];
  if (set == nullptr) {
    PutErrorLog(kLog, Q7_ERROR_NO_SUCH_SET, "Failed to get index FSets  ( result SetID2Pos )");
    return Q7_ERROR_NO_SUCH_SET;
  }
  const int size = set->FArraySize;
  if (first_row == -1) first_row = 1;
  if (last_row == -1 || (with_format && last_row > size)) last_row = size;

  table_files::WorkingDirectory cwd;
  if (directory == nullptr || !table_files::WorkingDirectory::Enter(directory)) {
    PutErrorLog(kLog, with_format ? Q7_ERROR_NO_SUCH_SET : Q7_ERROR_INVALID_PATH,
                getString("Invalid Parameter : Path(%s)", directory != nullptr ? directory : ""));
    return Q7_ERROR_INVALID_PATH;
  }
  int bad = -1;
  const std::vector<TFilter*> filters = ListedFilters(table, filter_ids, &bad);
  if (bad >= 0) {
    PutErrorLog(
        kLog, Q7_ERROR_NO_SUCH_SET,
        getString("Invalid Parameter : IDList[%d] (%d)", with_format ? bad : bad + 1, filter_ids[bad]));
    return with_format ? Q7_ERROR_NO_SUCH_FILTER : Q7_ERROR_ILLEGAL_FILTER;
  }
  try {
    std::unique_ptr<EXPTFMT_t[]> formats;
    if (with_format) {
      formats = std::make_unique<EXPTFMT_t[]>(kExportFormatRecords);  // zero-filled
      if (format_file != nullptr) readFmtInfo(format_file, formats.get());
    }
    std::vector<CsvColumnPrinter> columns;
    columns.reserve(filters.size());
    for (TFilter* filter : filters) {
      columns.emplace_back(filter, CsvColumnOptions::ForSerial(filter, formats.get(), kExportFormatLookup,
                                                               date_separator, CurrentDateOrder()));
      columns.back().PrepareForRows(int64_t{last_row} - first_row + 1);
    }
    CsvLine line(kSerialBlock + kLineSlack);
    // Written aside and renamed over the target once whole: an export cut short or failed leaves
    // the old file.
    table_files::ReplacingFile out(file != nullptr ? file : "", table_files::kHostTextFile);
    zpk_fstream& stream = out.stream();
    Unbuffered(stream);
    if (last_row != 0 && first_row != 0 && first_row <= last_row) {
      WriteLines(set, first_row - 1, last_row - 1, columns.data(), static_cast<int>(columns.size()),
                 separator, stream, line, kSerialBlock);
    }
    out.Commit();
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

}  // namespace

int TRealTable::Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
                       char date_separator, const char* directory, const char* file) {
  return SerialExport(this, set_id, filter_ids, first_row, last_row, separator, date_separator, directory,
                      file, nullptr, false);
}

int TRealTable::Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
                       char date_separator, const char* directory, const char* file,
                       const char* format_file) {
  return SerialExport(this, set_id, filter_ids, first_row, last_row, separator, date_separator, directory,
                      file, format_file, true);
}

// ---- One part of a parallel export ----

int TRealTable::OutCsvPartFile(CsvExportState* exporter, const char* part_file, const int* column_ids,
                               const CsvLineDiv_t* rows, int buffer_size, const char* format_file) {
  try {
    // The columns first, so that a bad list leaves no file behind.
    std::vector<CsvColumnPrinter> columns;
    const int date_order = CurrentDateOrder();
    for (int i = 0; column_ids != nullptr && i < FnFilter && column_ids[i] != -1; ++i) {
      const int pos = FilterID2Pos(column_ids[i]);
      if (pos < 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
      TFilter* filter = FFilters[pos];
      columns.emplace_back(
          filter, CsvColumnOptions::ForPart(filter, format_file != nullptr ? exporter->m_pFormats : nullptr,
                                            kExportFormatLookup, exporter->m_cDateSeparator, date_order));
    }
    if (columns.empty()) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
    for (CsvColumnPrinter& column : columns) column.PrepareForRows(int64_t{rows->last} - rows->first + 1);

    const size_t block = buffer_size > 0 ? static_cast<size_t>(buffer_size) : 0;
    CsvLine line(block > 0 ? block + kLineSlack : kLineSlack * columns.size());
    zpk_fstream stream;
    // The mode text form: it records nothing in the error ring, which workers must not touch.
    zpk_open(stream, part_file, "w", 1);
    Unbuffered(stream);
    const int result = WriteCsvdata(exporter, rows, columns.data(), static_cast<int>(columns.size()), stream,
                                    line, buffer_size);
    if (result < 0) throw CQ7Exception(result);
    CloseChecked(stream);
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

int TRealTable::WriteCsvdata(const CsvExportState* exporter, const CsvLineDiv_t* rows,
                             const CsvColumnPrinter* columns, int column_count, zpk_fstream& stream,
                             CsvLine& line, int buffer_size) {
  TSetArray* set = FindSetQuietly(this, exporter->m_nSetID);
  if (set == nullptr) return Q7_ERROR_NO_SUCH_SET;
  if (rows->first <= rows->last) {
    WriteLines(set, rows->first - 1, rows->last - 1, columns, column_count, exporter->m_cSeparator, stream,
               line, buffer_size > 0 ? static_cast<size_t>(buffer_size) : 0);
  }
  return 0;
}

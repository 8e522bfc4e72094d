// The text export of a join: the serial exports of a join set into one file and the writer of one
// part of a parallel export. Each field is printed by the source column's CsvColumnPrinter, so a
// joined row's field reads byte for byte as the same record's field of its real table does.
//
// The joined rows are walked in order rather than resolved one by one: the driving row only moves
// forward, so no search is needed per row. Records are resolved a batch at a time, which lets the
// printers prefetch the values of rows a little ahead (the partner records jump about the table).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "database/CsvColumnPrinter.h"
#include "database/CsvExportFormat.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_fstream.h"
#include "join/JoinRecordKernels.h"
#include "join/TJoinTable.h"
#include "q7api.h"
#include "values/DateTime.h"
#include "values/TIntArray.h"

namespace {

constexpr char kLog[] = "Export";
// Lines are written in blocks of this many bytes and more by the serial exports.
constexpr size_t kSerialBlock = size_t{1} << 20;
// Room of the line buffer beyond the block size, and per column when lines go out one by one.
constexpr size_t kLineSlack = 4096;
// Joined rows resolved at a time, and how far ahead of the row being written values are prefetched.
constexpr int kBatchRows = 256;
constexpr int kPrefetchRows = 16;

[[noreturn]] void ThrowOutOfRange() { throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE); }

// The side and the position within it of join column `id`, without an error-ring entry: the part
// writers run on workers.
bool ColumnOf(const TJoinTable* join, int id, int* side, int* pos) {
  if (id >= 1 && id <= join->FnMasterColumn) {
    *side = 0;
    *pos = id - 1;
    return true;
  }
  if (id > join->FnMasterColumn && id <= join->FnMasterColumn + join->FnSlaveColumn) {
    *side = 1;
    *pos = id - 1 - join->FnMasterColumn;
    return true;
  }
  return false;
}

// The source filter of a side's column, or null when its table is unresolved or the filter has gone.
TFilter* SourceFilter(const TJoinTable* join, int side, int pos) {
  TRealTable* table = side == 0 ? join->FMasterTable : join->FSlaveTable;
  if (table == nullptr) return nullptr;
  const int id = side == 0 ? join->FMasterColumns[pos] : join->FSlaveColumns[pos];
  const int at = table->FilterID2Pos(id);
  return at < 0 ? nullptr : table->FFilters[at];
}

// The set at a set ID (resolved), without any entry.
const JoinSetEntry* FindEntryQuietly(TJoinTable* join, int set_id) {
  const int32_t* begin = join->FSetIDs;
  if (begin == nullptr || join->FEntries == nullptr) return nullptr;
  const int32_t* end = begin + join->FnSet;
  const int32_t* hit = std::lower_bound(begin, end, set_id);
  if (hit == end || *hit != set_id) return nullptr;
  return &join->Entry(static_cast<int>(hit - begin));
}

// The elements of a row set and their count; a missing set has none.
struct Ints {
  const int* data = nullptr;
  int64_t size = 0;
  explicit Ints(const TIntArray* a) {
    if (a != nullptr && a->FArraySize > 0) {
      data = static_cast<const int*>(a->FData);
      size = a->FArraySize;
    }
  }
  int At(int64_t i) const {
    if (i < 0 || i >= size) ThrowOutOfRange();
    return data[i];
  }
};

// Walks the joined rows of a set from a given row on, giving each row's master and slave record
// (0 for a side without one). Every index is checked against its array: the arrays of a set come
// from files and images too, and a walk must not run past them.
class RowWalk {
 public:
  RowWalk(const TJoinTable* join, const JoinSetEntry& e, int row)
      : side_(e.side),
        driving_(e.rows[e.side == 1 ? 1 : 0]),
        starts_(e.projection[e.side == 1 ? 1 : 0]),
        groups_(e.projection[e.side == 1 ? 0 : 1]),
        partners_(e.rows[e.side == 1 ? 0 : 1]),
        keys_(nullptr),
        row_(row) {
    if (side_ != 0 && side_ != 1) throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TARGET);
    const TFilter* key = side_ == 0 ? join->FMasterKeyFilter : join->FSlaveKeyFilter;
    if (key == nullptr || driving_.size < 1 || starts_.size < driving_.size) ThrowOutOfRange();
    keys_ = Ints(key->PV);
    k_ = FindLoc(row, static_cast<int>(driving_.size), starts_.data);
  }

  // The records of the next row, by side.
  void Next(int records[2]) {
    while (k_ + 1 < driving_.size && starts_.data[k_ + 1] <= row_) ++k_;
    const int record = driving_.data[k_];
    const int64_t at = int64_t{groups_.At(keys_.At(record))} + (int64_t{row_} - starts_.data[k_]);
    records[side_] = record;
    records[1 - side_] = partners_.At(at);
    ++row_;
  }

 private:
  int side_;
  Ints driving_;
  Ints starts_;
  Ints groups_;
  Ints partners_;
  Ints keys_;
  int row_;
  int64_t k_ = 0;
};

// The columns of an export: a printer and a side each.
struct Columns {
  std::vector<CsvColumnPrinter> printers;
  std::vector<int> sides;
  // A column whose source filter has gone followed the printed ones: each line keeps the separator
  // after the last printed field, as it would stand before the next one.
  bool cut = false;
};

void WriteBlock(zpk_fstream& stream, CsvLine& line) {
  if (line.size() > 0) zpk_write(stream, line.data(), 1, line.size());
  line.Clear();
}

// Joined rows first .. last (0-based, within the set) as lines; the pending text goes out whenever
// `block` bytes (0: a line) have gathered.
void WriteLines(const TJoinTable* join, const JoinSetEntry& e, int first, int last, const Columns& columns,
                char separator, zpk_fstream& stream, CsvLine& line, size_t block) {
  RowWalk walk(join, e, first);
  const int n_columns = static_cast<int>(columns.printers.size());
  const CsvColumnPrinter* printers = columns.printers.data();
  const int* sides = columns.sides.data();
  int records[kBatchRows][2];
  for (int64_t row = first; row <= last;) {
    const int batch = static_cast<int>(std::min<int64_t>(kBatchRows, int64_t{last} - row + 1));
    for (int i = 0; i < batch; ++i) walk.Next(records[i]);
    for (int i = 0; i < batch; ++i) {
      const int* ahead = i + kPrefetchRows < batch ? records[i + kPrefetchRows] : nullptr;
      for (int c = 0; c < n_columns; ++c) {
        if (c > 0) {
          line.Room(1);
          line.Put(separator);
        }
        if (ahead != nullptr) printers[c].Prefetch(ahead[sides[c]]);
        const int record = records[i][sides[c]];
        if (record == 0) {
          printers[c].AppendNull(line);
        } else {
          printers[c].Append(record, line);
        }
      }
      line.Room(2);
      if (columns.cut && n_columns > 0) line.Put(separator);
      line.Put('\n');
      if (line.size() >= block) WriteBlock(stream, line);
    }
    row += batch;
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

// What the two serial exports share. with_format: the format-file form's rules.
int SerialExport(TJoinTable* join, int set_id, const int* filter_ids, int first_row, int last_row,
                 char separator, char date_separator, const char* directory, const char* file,
                 const char* format_file, bool with_format) {
  const int pos = join->SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog(kLog, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return Q7_ERROR_NO_SUCH_SET;
  }
  const JoinSetEntry& e = join->Entry(pos);
  const int size = e.size;
  if (first_row == -1) first_row = 1;
  if (last_row == -1 || last_row > size) last_row = size;

  table_files::WorkingDirectory cwd;
  if (directory == nullptr || !table_files::WorkingDirectory::Enter(directory)) {
    PutErrorLog(kLog, Q7_ERROR_INVALID_PATH, "Failed to get path ( result getcwd )");
    return Q7_ERROR_INVALID_PATH;
  }
  // The listed columns, checked before the file is made so that a refused list leaves none.
  std::vector<int> ids;
  const int n_filters = join->GetNFilter();
  if (filter_ids == nullptr || filter_ids[0] == -1) {
    for (int id = 1; id <= n_filters; ++id) ids.push_back(id);
  } else {
    for (int i = 0; i < n_filters && filter_ids[i] != -1; ++i) {
      int side = -1;
      if (join->JFilterID2Pos(filter_ids[i], &side) < 0) {
        const int code = with_format ? Q7_ERROR_NO_SUCH_FILTER : Q7_ERROR_ILLEGAL_FILTER;
        PutErrorLog(kLog, code, "No Filter");
        return code;
      }
      ids.push_back(filter_ids[i]);
    }
  }
  try {
    std::unique_ptr<EXPTFMT_t[]> formats;
    if (with_format) {
      formats = std::make_unique<EXPTFMT_t[]>(kExportFormatRecords);  // zero-filled
      // A format file that cannot be read counts as one without records.
      if (format_file != nullptr) readFmtInfo(format_file, formats.get());
    }
    const bool rows = size > 0 && first_row >= 1 && first_row <= last_row;
    Columns columns;
    const int date_order = CurrentDateOrder();
    for (int id : ids) {
      int side = 0;
      int at = 0;
      ColumnOf(join, id, &side, &at);
      TFilter* filter = SourceFilter(join, side, at);
      if (filter == nullptr) {
        columns.cut = true;
        break;
      }
      columns.printers.emplace_back(
          filter, CsvColumnOptions::ForSerial(filter, formats.get(), kExportFormatRecords, date_separator,
                                              date_order));
      if (rows) columns.printers.back().PrepareForRows(int64_t{last_row} - first_row + 1);
      columns.sides.push_back(side);
    }
    CsvLine line(kSerialBlock + kLineSlack);
    // Written aside and renamed over the target once whole: an export cut short or failed leaves
    // the old file.
    table_files::ReplacingFile out(file != nullptr ? file : "", table_files::kHostTextFile);
    zpk_fstream& stream = out.stream();
    Unbuffered(stream);
    if (rows)
      WriteLines(join, e, first_row - 1, last_row - 1, columns, separator, stream, line, kSerialBlock);
    out.Commit();
    return 0;
  } catch (const CQ7Exception& ex) {
    return ex.ErrorCode();
  }
}

}  // namespace

int TJoinTable::Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
                       char date_separator, const char* directory, const char* file) {
  return SerialExport(this, set_id, filter_ids, first_row, last_row, separator, date_separator, directory,
                      file, nullptr, false);
}

int TJoinTable::Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
                       char date_separator, const char* directory, const char* file,
                       const char* format_file) {
  return SerialExport(this, set_id, filter_ids, first_row, last_row, separator, date_separator, directory,
                      file, format_file, true);
}

// ---- One part of a parallel export ----

int TJoinTable::OutCsvPartFile(CsvExportState* exporter, const char* part_file, const int* column_ids,
                               const CsvLineDiv_t* rows, int buffer_size, const char* format_file) {
  try {
    // The list first, so that a bad one leaves no file behind.
    std::vector<int> ids;
    const int n_filters = GetNFilter();
    for (int i = 0; column_ids != nullptr && i < n_filters && column_ids[i] != -1; ++i) {
      int side = 0;
      int pos = 0;
      if (!ColumnOf(this, column_ids[i], &side, &pos)) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
      ids.push_back(column_ids[i]);
    }
    if (ids.empty()) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);

    const size_t block = buffer_size > 0 ? static_cast<size_t>(buffer_size) : 0;
    CsvLine line(block > 0 ? block + kLineSlack : kLineSlack * ids.size());
    zpk_fstream stream;
    // The mode text form: it records nothing in the error ring, which workers must not touch.
    zpk_open(stream, part_file, "w", 1);
    Unbuffered(stream);
    const int result = WriteCsvdata(exporter, rows, ids.data(), static_cast<int>(ids.size()), stream, line,
                                    buffer_size, format_file);
    if (result < 0) throw CQ7Exception(result);
    CloseChecked(stream);
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

int TJoinTable::WriteCsvdata(const CsvExportState* exporter, const CsvLineDiv_t* rows, const int* column_ids,
                             int count, zpk_fstream& stream, CsvLine& line, int buffer_size,
                             const char* format_file) {
  Columns columns;
  const int date_order = CurrentDateOrder();
  const EXPTFMT_t* formats = format_file != nullptr ? exporter->m_pFormats : nullptr;
  for (int i = 0; i < count; ++i) {
    int side = 0;
    int pos = 0;
    TFilter* filter = ColumnOf(this, column_ids[i], &side, &pos) ? SourceFilter(this, side, pos) : nullptr;
    if (filter == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
    columns.printers.emplace_back(filter, CsvColumnOptions::ForPart(filter, formats, kExportFormatRecords,
                                                                    exporter->m_cDateSeparator, date_order));
    columns.sides.push_back(side);
  }
  const JoinSetEntry* e = FindEntryQuietly(this, exporter->m_nSetID);
  if (e == nullptr) return Q7_ERROR_NO_SUCH_SET;
  if (rows->first > rows->last) return 0;
  if (rows->first < 1 || rows->last > e->size) ThrowOutOfRange();
  for (CsvColumnPrinter& printer : columns.printers) {
    printer.PrepareForRows(int64_t{rows->last} - rows->first + 1);
  }
  WriteLines(this, *e, rows->first - 1, rows->last - 1, columns, exporter->m_cSeparator, stream, line,
             buffer_size > 0 ? static_cast<size_t>(buffer_size) : 0);
  return 0;
}

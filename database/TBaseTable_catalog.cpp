// The catalog writer: describes chosen filters of a table in the catalog format that the text
// import reads, so that an exported file can be imported again.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/CsvExportFormat.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CharCode.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_fstream.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TNumericArray.h"

namespace {

constexpr char kLog[] = "CreateCatalogFile";

// The catalog's type letter of a value type (2..8); the reader maps them back.
char TypeLetter(int type) {
  static constexpr char kLetters[] = {'I', 'F', 'D', 'T', 'A', 'E', 'N'};
  if (type < 2 || type > 8) throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  return kLetters[type - 2];
}

struct CatalogLine {
  int type;
  std::string name;
  int scale;
  int rounding_mode;
};

// The filters the list names, in list order; the whole list is checked before the file is made,
// so a bad ID leaves no half-written catalog behind. formats: the records of the export format
// file (null: none), which decide a DECIMAL filter's scale and mode as they decide its export.
std::vector<CatalogLine> DescribeFilters(TBaseTable* table, const int* filter_ids, const EXPTFMT_t* formats,
                                         int n_formats) {
  const int n_filters = table->GetNFilter();
  std::vector<int> ids;
  for (int i = 0; i < n_filters && filter_ids[i] != -1; ++i) ids.push_back(filter_ids[i]);
  std::vector<CatalogLine> lines;
  lines.reserve(ids.size());
  for (int id : ids) {
    TFilter* filter = nullptr;
    try {
      filter = table->GetFilter(id);
    } catch (const CQ7Exception& e) {
      if (e.ErrorCode() == Q7_ERROR_NO_SUCH_FILTER) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
      throw;
    }
    if (filter == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
    CatalogLine line{ArrayDataTypeEx(filter->VL), {}, 0, 0};
    // A join column goes by the join's own name of it: two source filters of one name ("id" on
    // both sides) stay two columns when the catalog is read back.
    if (table->GetTableKind() == TBaseTable::kTypeJoin) {
      const char* name = static_cast<TJoinTableBase*>(table)->GetJoinFilterName(id);
      if (name == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
      line.name = name;
    } else {
      line.name = filter->FFilterName;
    }
    if (line.type == 8) {
      auto* list = static_cast<TNumericArray*>(filter->VL);
      line.scale = list->GetScale();
      line.rounding_mode = list->GetRoundingMode();
      // The export prints such a filter with the record's digits, and with the list's own mode when
      // the record names none; the catalog says the same, so the file reads back as written. The
      // export finds a join column's record by its source filter's name, so the catalog does too.
      const EXPTFMT_t* format = FindExportFormat(formats, n_formats, filter->FFilterName);
      if (format != nullptr && format->digits >= 0) {
        line.scale = format->digits;
        if (format->rounding >= 0 && format->rounding <= 6) line.rounding_mode = format->rounding;
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

void WriteText(zpk_fstream& stream, const std::string& text) {
  zpk_write(stream, text.data(), 1, text.size());
}

// Written aside and renamed over an old catalog once whole, as the export beside it is.
void WriteCatalog(const char* file, char separator, const std::vector<CatalogLine>& lines) {
  table_files::ReplacingFile out(file, table_files::kHostTextFile);
  zpk_fstream& stream = out.stream();
  WriteText(stream, separator == '\t' ? "//TAB\n" : "//CSV\n");
  char code_name[kCharCodeNameSize] = "NotDefined";
  getDBCharCode(code_name, true);
  WriteText(stream, std::string("//") + code_name + "\n");
  for (const CatalogLine& line : lines) {
    std::string text(1, TypeLetter(line.type));
    text += "\t01\t";
    text += line.name;
    if (line.type == 8) {
      const int mode = line.rounding_mode;
      text += "\t" + std::to_string(line.scale) + "\t";
      text += mode >= 0 && mode <= 6 ? q7num::kRoundingModeNames[mode] : "";
    }
    text += "\n";
    WriteText(stream, text);
  }
  out.Commit();
}

// A list that starts with -1 is the caller's to receive every filter ID and a closing -1: the
// export that follows the catalog then writes the same columns from the same list.
void FillWholeList(TBaseTable* table, int* filter_ids) {
  if (filter_ids[0] != -1) return;
  const int n = table->GetNFilter();
  if (n < 1) return;
  std::vector<int> ids(static_cast<size_t>(n));
  const int listed = table->GetFilterIDList(ids.data());
  for (int i = 0; i < listed; ++i) filter_ids[i] = ids[static_cast<size_t>(i)];
  filter_ids[listed] = -1;
}

}  // namespace

int TBaseTable::CreateCatalogFile(int* filter_ids, char separator, const char* directory, const char* file,
                                  const char* format_file) {
  table_files::WorkingDirectory cwd;
  if (!table_files::WorkingDirectory::Enter(directory)) {
    PutErrorLog(kLog, -1, getString("Invalid Parameter : Path(%s)", directory != nullptr ? directory : ""));
    return Q7_ERROR_INVALID_PATH;
  }
  try {
    std::unique_ptr<EXPTFMT_t[]> formats;
    int n_formats = 0;
    if (format_file != nullptr && format_file[0] != '\0') {
      formats = std::make_unique<EXPTFMT_t[]>(kExportFormatRecords);  // zero-filled
      n_formats = readFmtInfo(format_file, formats.get());
      if (n_formats < 0) return n_formats;
    }
    if (filter_ids == nullptr) return Q7_ERROR_INVALID_PARAMETER;
    FillWholeList(this, filter_ids);
    if (file == nullptr || file[0] == '\0') return Q7_ERROR_ILLEGAL_FILE_NAME;
    const std::vector<CatalogLine> lines = DescribeFilters(this, filter_ids, formats.get(), n_formats);
    WriteCatalog(file, separator, lines);
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// The glue between the task object's catalog operations and the catalog parser.
#include "import/ImportEntry.h"

#include <cstring>
#include <memory>
#include <string>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "import/CCatalogParser.h"
#include "import/CMppTextParser.h"
#include "import/CPlainTextParser.h"
#include "import/CTextParser.h"
#include "import/CheckerText.h"
#include "import/ImportText.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/DateTime.h"
#include "values/TNumericArray.h"

namespace {

// The glue's own catch: nothing but a code leaves it. The levels of catches: api/frame/frame.h.
template <class Body>
int Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// Blanks and nothing else: no number, date or time, though the strict number readers take it as 0.
bool BlankOnly(const char* text) {
  if (*text == '\0') return false;
  while (*text == ' ') ++text;
  return *text == '\0';
}

int AddMT(char* catalog, char* source, char* tableName) {
  return Guarded([&] {
    CCatalogParser parser(1);
    const int set = CCatalogParser::setSrcFile(source);
    if (set < 0) return set;
    if (tableName != nullptr) parser.setTableNameOverride(tableName);
    parser.init();
    return parser.parse(catalog);
  });
}

int AppendSingle(int table, int position, int rows, char* catalog, char* source) {
  return Guarded([&] {
    CCatalogParser parser;
    if (source != nullptr) {
      const int set = CCatalogParser::setSrcFile(source);
      if (set < 0) return set;
    }
    parser.setAppendFlag(1);
    parser.setAppendPos(position);
    parser.init();
    const int parsed = parser.parse_txt(catalog, table, rows);
    if (parsed < 0) return parsed;
    return parser.append2DB(position);
  });
}

}  // namespace

int addCatalogFileMT(char* catalog, char* source) { return AddMT(catalog, source, nullptr); }

int addCatalogFileMT(char* catalog, char* source, char* tableName) {
  return AddMT(catalog, source, tableName);
}

int appendCatalogFileMT(int table, char* catalog, char* source) {
  return Guarded([&] {
    CCatalogParser parser(1);
    // Without its target the parser would import into a new table instead.
    const int target = parser.SetAppendTableID(table);
    if (target < 0) return target;
    const int set = CCatalogParser::setSrcFile(source);
    if (set < 0) return set;
    parser.init();
    return parser.parse(catalog);
  });
}

int appendCatalogFile(int table, int position, int rows, char* catalog) {
  return AppendSingle(table, position, rows, catalog, nullptr);
}

int appendCatalogFile2(int table, int position, int rows, char* catalog, char* source) {
  return AppendSingle(table, position, rows, catalog, source);
}

int addCatalogFile(char* catalog) {
  return Guarded([&] {
    CCatalogParser parser;
    parser.init();
    const int parsed = parser.parse(catalog);
    if (parsed < 0) return parsed;
    return parser.write2DB();
  });
}

char* getTitleName(char* path) {
  const size_t len = strlen(path);
  if (len > 0 && path[len - 1] != '/') {
    char* last = strrchr(path, '/');
    if (last != nullptr) *last = '\0';
  }
  char* last = strrchr(path, '/');
  if (last != nullptr) memmove(path, last + 1, strlen(last + 1) + 1);
  return path;
}

// ---- Columns from single-column files ----

namespace {

// Host names and paths of these calls stay below this length.
constexpr size_t kHostNameLimit = 512;

// The real table of an ID, or null; records nothing.
TRealTable* QuietRealTable(int table_id) {
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  const int loc = tables == nullptr ? -1 : tables->ID2Loc(table_id);
  if (loc < 0) return nullptr;
  TBaseTable* table = tables->TableAt(loc);
  return table->GetTableKind() == 0 ? static_cast<TRealTable*>(table) : nullptr;
}

// The filter of a real table, or null; records nothing.
TFilter* QuietFilter(TRealTable* table, int filter_id) {
  const int pos = table->FilterID2Pos(filter_id);
  return pos < 0 ? nullptr : table->FFilters[pos];
}

// The scale and rounding mode of a DECIMAL filter: 0 or a code.
int FilterDecimalInfo(int table_id, int filter_id, NumericInfo* info) {
  TRealTable* table = QuietRealTable(table_id);
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  TFilter* filter = QuietFilter(table, filter_id);
  if (filter == nullptr || filter->VL == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  if (ArrayDataType(filter->VL) != Q7_TYPE_DECIMAL) return Q7_ERROR_ILLEGAL_FILTER;
  static_cast<TNumericArray*>(filter->VL)->GetDecimalInfo(info);
  return 0;
}

}  // namespace

int addFilterFromFile(int table, int filterPos, char* name, int type, int rows, char* file) {
  return Guarded([&] {
    CPlainTextParser parser;
    if (file == nullptr || file[0] == '\0') {
      if (rows < 0) return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
      const int made = parser.genItemVector(0, type, name);
      if (made < 0) return made;
      parser.SetRows(rows);
    } else {
      const int read = parser.parse_txt(file, type, rows, 0);
      if (read < 0) return read;
    }
    parser.setTableID(table);
    parser.setFilterName(0, name);
    parser.setFilterPos(0, filterPos);
    return parser.WriteFilter(table);
  });
}

int MppAddFilterFromFile(int table, int filterPos, char* name, int type, int rows, char* file) {
  return Guarded(
      [&] { return CMppTextParser::Instance()->DoParse(table, filterPos, file, name, type, rows); });
}

int appendFilterFromFile(int table, int filter, int type, int position, int rows, char* file) {
  return Guarded([&] {
    CPlainTextParser parser;
    if (type == Q7_TYPE_DECIMAL) {
      NumericInfo info{};
      const int found = FilterDecimalInfo(table, filter, &info);
      if (found < 0) return found;
      const int read = parser.parse_numeric(file, rows, info.scale, info.roundingMode, 0);
      if (read < 0) return read;
      return parser.append2DBNumeric(table, filter, position, 0, info.scale, info.roundingMode);
    }
    const int read =
        type == Q7_TYPE_STRING ? parser.parse_bin(file, type, rows) : parser.parse_txt(file, type, rows, 0);
    if (read < 0) return read;
    return parser.append2DB(table, filter, position, 0);
  });
}

int appendFilterFromFileNumeric(int table, int filter, int position, int rows, char* file, int scale,
                                int mode) {
  return Guarded([&] {
    CPlainTextParser parser;
    const int read = parser.parse_numeric(file, rows, scale, mode, 0);
    if (read < 0) return read;
    return parser.append2DBNumeric(table, filter, position, 0, scale, mode);
  });
}

int appendFilterFromBinaryFile(int table, int filter, int position, int rows, int, char* file) {
  constexpr char kLog[] = "appendFilterFromBinaryFile";
  return Guarded([&] {
    if (rows < 0) {
      PutErrorLog(kLog, Q7_ERROR_INVALID_PARAMETER, getString("Invalid Parameter : nRows(%d)", rows));
      return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    }
    TRealTable* target = QuietRealTable(table);
    if (target == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_TABLE);
    TFilter* column = QuietFilter(target, filter);
    if (column == nullptr || column->VL == nullptr) {
      PutErrorLog(kLog, Q7_ERROR_NO_SUCH_FILTER, getString("No Such Filter: %d", filter));
      return static_cast<int>(Q7_ERROR_NO_SUCH_FILTER);
    }
    if (ArrayDataType(column->VL) != Q7_TYPE_STRING) {
      PutErrorLog(kLog, Q7_ERROR_FILTER_TYPE_MISMATCH, "Illegal data type ( Not STRING )");
      return static_cast<int>(Q7_ERROR_FILTER_TYPE_MISMATCH);
    }
    CPlainTextParser parser;
    const int read = parser.parse_bin(file, Q7_TYPE_STRING, rows);
    if (read < 0) return read;
    // The append adds the records past the table's end and writes set 1 from the position.
    return parser.append2DB(table, filter, position, 0);
  });
}

int getValuesFromCSV(int type, char* directory, char* file, void** values, CCSVParser** parser) {
  if (values == nullptr || parser == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  *values = nullptr;
  *parser = nullptr;
  return Guarded([&] {
    const char* dir = directory != nullptr ? directory : "";
    if (strlen(dir) >= kHostNameLimit || file == nullptr || file[0] == '\0' || strlen(file) >= kHostNameLimit)
      return static_cast<int>(Q7_ERROR_ILLEGAL_FILE_NAME);
    char absolute[kImportPathSize];
    if (CnvRelativeToAbsolute(dir, absolute) != 0) return static_cast<int>(Q7_ERROR_ILLEGAL_FILE_NAME);
    std::string path = std::string(absolute) + "/" + file;
    if (getFileSize2(path.c_str()) == 0) {
      return IsFileExist(path.c_str()) != 0 ? 0 : static_cast<int>(Q7_ERROR_ILLEGAL_FILE_NAME);
    }
    std::unique_ptr<char[]> data;
    size_t size = 0;
    const int read = ReadWholeFile(path.c_str(), &data, &size);
    if (read < 0) return read;
    // A UTF-8 byte-order mark is no part of the first value, as on the import roads.
    const size_t mark = Utf8MarkLength(getSystemInfoDBCharCode(), data.get(), size);
    auto splitter = std::make_unique<CCSVParser>();
    const int n = splitter->parseCSV(data.get() + mark, size - mark);
    if (n < 0) return n;
    if (type == Q7_TYPE_DECIMAL) return static_cast<int>(Q7_ERROR_ILLEGAL_FILTER_TYPE);
    if (type < Q7_TYPE_INTEGER || type > Q7_TYPE_DECIMAL) return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
    if (n == 0) return 0;  // a mark and nothing else
    const size_t width = type == Q7_TYPE_INTEGER  ? sizeof(int32_t)
                         : type == Q7_TYPE_STRING ? sizeof(char*)
                                                  : sizeof(double);
    std::unique_ptr<void, void (*)(void*)> array(zpk_malloc(width * static_cast<size_t>(n)), zpk_free);
    for (int i = 0; i < n; ++i) {
      char* text = splitter->getStrItem(i)->getData();
      if (type == Q7_TYPE_STRING) {
        static_cast<char**>(array.get())[i] = text;
        continue;
      }
      // Read as the checked import reads a cell: an empty value is the NULL, and a value that does
      // not read fails the whole call, rather than searching for whatever the unchecked reading
      // makes of it (a 0, 1899/12/30, or the NULL rows).
      int err = 0;
      switch (type) {
        case Q7_TYPE_INTEGER:
          static_cast<int32_t*>(array.get())[i] = StrToInt(text, &err);
          break;
        case Q7_TYPE_DOUBLE:
          static_cast<double*>(array.get())[i] = StrToDouble(text, &err);
          break;
        case Q7_TYPE_DATE:
          static_cast<double*>(array.get())[i] = StrToDate(text, &err);
          break;
        case Q7_TYPE_TIME:
          static_cast<double*>(array.get())[i] = StrToTime(text, &err);
          break;
        default:
          static_cast<double*>(array.get())[i] = StrToDateTime(text, &err);
          break;
      }
      if (err != 0 || BlankOnly(text)) return static_cast<int>(Q7_ERROR_INVALID_DATA);
    }
    *values = array.release();
    *parser = splitter.release();
    return n;
  });
}

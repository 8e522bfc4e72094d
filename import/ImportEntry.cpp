#include "import/ImportEntry.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "import/CCatalogParser.h"
#include "q7api.h"

namespace {

// The glue's own catch: nothing but a code leaves it.
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

int appendFilterFromFile(int, int, int, int, int, char*) { return Q7_ERROR_INVALID_OPERATION; }

// AddCatalogFileChecker: the checked catalog import's three passes run into a new real table.
#include "import/CatalogChecker.h"

#include <cstring>
#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/TextHelpers.h"
#include "import/TCorrectLog.h"
#include "import/TParseInfo.h"
#include "q7api.h"

int AddCatalogFileChecker(const char* dir, const char* catalog, const char* dataDir, const char* dataFile,
                          const char* tableName) noexcept {
  try {
    const char* folder = dir != nullptr ? dir : "";
    const std::string table(tableName != nullptr ? tableName : "");
    // Made file-safe before the suffix goes on: the log would otherwise cut a table name at its
    // last '.', and the two logs of "a.b" would both be "a.txt".
    std::string stem(table);
    ToFileName(stem.data());
    TParseInfo info;
    {
      TCorrectLog scheme(folder, (stem + "_scheme").c_str());
      const int fields = info.iParseStructInfo(folder, catalog, &scheme);
      if (fields < 0) return fields;
      scheme.AddNote(0, 0, "", "", "", "=== Catalog file[%s/%s] parse ended. ===", folder,
                     catalog != nullptr ? catalog : "");
    }
    TCorrectLog data(folder, (stem + "_data").c_str());
    const int read = info.iReadData(dataDir, dataFile, &data);
    if (read < 0) return read;
    return info.MakeTable(table.c_str(), &data);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// Exported text-import calls: tables from catalog-described source files, appends, a column from a
// text file, a search for the values of a CSV file. The operations record their own failures (the
// catalog message log takes the import's).
#include "api/frame/frame.h"
#include "api/ops/ops_import.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7AddCatalogFile(const char* directory, const char* catalog) {
  return LightFrame([&] { return DBTASK()->AddCatalogFile(HostReadOnly(directory), HostReadOnly(catalog)); });
}

Q7_EXPORT int RQ7AddCatalogFileEx2(const char* directory, const char* catalog, const char* src_directory,
                                   const char* src_file, const char* table_name) {
  return LightFrame([&] {
    return DBTASK()->AddCatalogFileEx2(HostReadOnly(directory), HostReadOnly(catalog),
                                       HostReadOnly(src_directory), HostReadOnly(src_file),
                                       HostReadOnly(table_name));
  });
}

Q7_EXPORT int RQ7AppendCatalogFile(int table_id, int append_pos, int rows, const char* directory,
                                   const char* catalog) {
  return LightFrame([&] {
    return DBTASK()->AppendCatalogFile(table_id, append_pos, rows, HostReadOnly(directory),
                                       HostReadOnly(catalog));
  });
}

Q7_EXPORT int RQ7AppendCatalogFileEx2(int table_id, int append_pos, int rows, const char* directory,
                                      const char* catalog, const char* src_directory, const char* src_file) {
  return LightFrame([&] {
    return DBTASK()->AppendCatalogFileEx2(table_id, append_pos, rows, HostReadOnly(directory),
                                          HostReadOnly(catalog), HostReadOnly(src_directory),
                                          HostReadOnly(src_file));
  });
}

Q7_EXPORT int RQ7AppendRealFilter2(int table_id, int filter_id, int type, int append_pos, int rows,
                                   const char* directory, const char* file) {
  return LightFrame(
      [&] { return innerQ7AppendRealFilter2(table_id, filter_id, type, append_pos, rows, directory, file); });
}

Q7_EXPORT int RQ7SearchByFieldNValuesFromCSV(int table_id, int filter_id, int set_id, const char* directory,
                                             const char* file) {
  return FullFrame("RQ7SearchByFieldNValuesFromCSV", [&] {
    return innerRQ7SearchByFieldNValuesFromCSV(table_id, filter_id, set_id, directory, file);
  });
}

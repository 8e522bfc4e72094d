// Exported text-export calls: a set as comma- or tab-separated text, optionally shaped by an export
// format file, and the same with a catalog file beside it.
#include "api/frame/frame.h"
#include "api/ops/ops_export.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7ExportAsCSV(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                             int date_separator, const char* directory, const char* file) {
  return FullFrame("RQ7ExportAsCSV", [&] {
    return innerQ7ExportAs("RQ7ExportAsCSV", false, Q7_ERROR_INVALID_PARAMETER, table_id, set_id, filter_ids,
                           row_from, row_to, date_separator, directory, file, false, nullptr, ',');
  });
}

Q7_EXPORT int RQ7ExportAsTAB(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                             int date_separator, const char* directory, const char* file) {
  return FullFrame("RQ7ExportAsTAB", [&] {
    return innerQ7ExportAs("RQ7ExportAsTAB", true, Q7_ERROR_INVALID_OUTPUT_PARAMETER, table_id, set_id,
                           filter_ids, row_from, row_to, date_separator, directory, file, false, nullptr,
                           '\t');
  });
}

Q7_EXPORT int RQ7ExportAsCSVwithF(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                                  int date_separator, const char* directory, const char* file,
                                  const char* format_file) {
  return FullFrame("RQ7ExportAsCSVwithF", [&] {
    return innerQ7ExportAs("RQ7ExportAsCSVwithF", true, Q7_ERROR_INVALID_OUTPUT_PARAMETER, table_id, set_id,
                           filter_ids, row_from, row_to, date_separator, directory, file, true, format_file,
                           ',');
  });
}

Q7_EXPORT int RQ7ExportAsTABwithF(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                                  int date_separator, const char* directory, const char* file,
                                  const char* format_file) {
  return FullFrame("RQ7ExportAsTABwithF", [&] {
    return innerQ7ExportAs("RQ7ExportAsTABwithF", true, Q7_ERROR_INVALID_OUTPUT_PARAMETER, table_id, set_id,
                           filter_ids, row_from, row_to, date_separator, directory, file, true, format_file,
                           '\t');
  });
}

Q7_EXPORT int RQ7SaveAsCatalog(int table_id, int set_id, int* filter_ids, int type, int row_from, int row_to,
                               int date_separator, const char* directory, const char* catalog) {
  return FullFrame("RQ7SaveAsCatalog", [&] {
    return DBTASK()->SaveAsCatalog(table_id, set_id, filter_ids, type, row_from, row_to, date_separator,
                                   directory, catalog);
  });
}

Q7_EXPORT int RQ7SaveAsCatalogEx(int table_id, int set_id, int* filter_ids, int type, int row_from,
                                 int row_to, int date_separator, const char* directory, const char* catalog,
                                 const char* data_directory, const char* data_file) {
  return FullFrame("RQ7SaveAsCatalogEx", [&] {
    return DBTASK()->SaveAsCatalogEx(table_id, set_id, filter_ids, type, row_from, row_to, date_separator,
                                     directory, catalog, data_directory, data_file);
  });
}

Q7_EXPORT int RQ7SaveAsCatalogwithF(int table_id, int set_id, int* filter_ids, int type, int row_from,
                                    int row_to, int date_separator, const char* directory,
                                    const char* catalog, const char* format_file) {
  return FullFrame("RQ7SaveAsCatalogwithF", [&] {
    return DBTASK()->SaveAsCatalogwithF(table_id, set_id, filter_ids, type, row_from, row_to, date_separator,
                                        directory, catalog, format_file);
  });
}

Q7_EXPORT int RQ7SaveAsCatalogwithFEx(int table_id, int set_id, int* filter_ids, int type, int row_from,
                                      int row_to, int date_separator, const char* directory,
                                      const char* catalog, const char* format_file,
                                      const char* data_directory, const char* data_file) {
  return FullFrame("RQ7SaveAsCatalogwithFEx", [&] {
    return DBTASK()->SaveAsCatalogwithFEx(table_id, set_id, filter_ids, type, row_from, row_to,
                                          date_separator, directory, catalog, format_file, data_directory,
                                          data_file);
  });
}

// The parallel task's text-export slots: a set as comma- or tab-separated text, and the same with
// a catalog file that lets the text import read it back.
#include <string>

#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "import/CCMultiThreadExport.h"
#include "import/ImportText.h"

namespace {

constexpr char kDefaultDataFile[] = "SrcData.dat";

// MppCsvExport between the exporter's init and free_mem (also when it throws).
int RunExport(const char* log_name, int table_id, int set_id, const int* filter_ids, int from, int to,
              int date_separator, const char* dir, const char* file, const char* format_file,
              char separator) {
  return RunOp(log_name, [&] {
    CCMultiThreadExport* exporter = CCMultiThreadExport::Instance();
    struct Freed {
      CCMultiThreadExport* exporter;
      ~Freed() { exporter->free_mem(); }
    } freed{exporter};
    exporter->init();
    return MppCsvExport(table_id, set_id, filter_ids, from, to, separator, date_separator, dir, file,
                        format_file);
  });
}

struct CatalogCall {
  const char* log_name;
  bool ex_order;        // checks in the order table, set, type, rows
  bool silent_missing;  // a missing table leaves no entry of this slot
  int table_id;
  int set_id;
  int* filter_ids;
  int type;
  int from;
  int to;
  int date_separator;
  const char* dir;
  const char* catalog;
  const char* format_file;  // null for the forms without one
  const char* data_dir;     // null: dir and "SrcData.dat"
  const char* data_file;
};

int SaveAsCatalogCommon(CDBTask* task, const CatalogCall& c) {
  return RunOp(c.log_name, [&] {
    TBaseTable* table =
        FindTable(c.log_name, c.table_id, c.silent_missing ? MissEntry::kNone : MissEntry::kTrailingBlank);
    auto check_rows = [&] {
      if (c.from < -1 || c.to < -1 || (c.to != -1 && c.from > c.to)) {
        Refuse(c.log_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_INVALID_PARAMETER,
               "Invalid Parameter : RowFrom(%d) RowTo(%d)", c.from, c.to);
      }
    };
    auto check_set = [&] { FindSet(c.log_name, table, c.set_id, MissEntry::kTrailingBlank); };
    auto check_type = [&] {
      if (c.type != 0 && c.type != 1) {
        Refuse(c.log_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : type(%d)",
               c.type);
      }
    };
    if (c.ex_order) {
      check_set();
      check_type();
      check_rows();
    } else {
      check_rows();
      check_set();
      check_type();
    }
    const char separator = c.type == 0 ? ',' : '\t';
    const int written = table->CreateCatalogFile(c.filter_ids, separator, c.dir, c.catalog, c.format_file);
    if (written < 0) return written;
    const char* data_dir = c.data_dir != nullptr ? c.data_dir : c.dir;
    const char* data_file = c.data_dir != nullptr ? c.data_file : kDefaultDataFile;
    if (c.format_file != nullptr) {
      // The catalog read the format file in dir; the data are written from data_dir, so a relative
      // name is made absolute first, or the two would read different files.
      std::string format_path = c.format_file;
      char abs_dir[kImportPathSize];
      if (c.format_file[0] != '/' && c.dir != nullptr && CnvRelativeToAbsolute(c.dir, abs_dir) == 0) {
        format_path = std::string(abs_dir) + "/" + c.format_file;
      }
      return task->ExportWithF(c.table_id, c.set_id, c.filter_ids, c.from, c.to, c.date_separator, data_dir,
                               data_file, format_path.c_str(), separator);
    }
    return task->Export(c.table_id, c.set_id, c.filter_ids, c.from, c.to, c.date_separator, data_dir,
                        data_file, separator);
  });
}

}  // namespace

int CDBParallelTask::Export(int table_id, int set_id, const int* filter_ids, int from, int to,
                            int date_separator, const char* dir, const char* file, char separator) {
  return RunExport("Export", table_id, set_id, filter_ids, from, to, date_separator, dir, file, nullptr,
                   separator);
}

int CDBParallelTask::ExportWithF(int table_id, int set_id, const int* filter_ids, int from, int to,
                                 int date_separator, const char* dir, const char* file,
                                 const char* format_file, char separator) {
  return RunExport("ExportWithF", table_id, set_id, filter_ids, from, to, date_separator, dir, file,
                   format_file, separator);
}

int CDBParallelTask::SaveAsCatalog(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                                   int date_separator, const char* dir, const char* catalog) {
  return SaveAsCatalogCommon(this, {"RQ7SaveAsCatalog", false, false, table_id, set_id, filter_ids, type,
                                    from, to, date_separator, dir, catalog, nullptr, nullptr, nullptr});
}

int CDBParallelTask::SaveAsCatalogEx(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                                     int date_separator, const char* dir, const char* catalog,
                                     const char* data_dir, const char* data_file) {
  return SaveAsCatalogCommon(this, {"SaveAsCatalogEx", true, true, table_id, set_id, filter_ids, type, from,
                                    to, date_separator, dir, catalog, nullptr, data_dir, data_file});
}

int CDBParallelTask::SaveAsCatalogwithF(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                                        int date_separator, const char* dir, const char* catalog,
                                        const char* format_file) {
  return SaveAsCatalogCommon(this, {"RQ7SaveAsCatalogwithF", false, false, table_id, set_id, filter_ids, type,
                                    from, to, date_separator, dir, catalog, format_file, nullptr, nullptr});
}

int CDBParallelTask::SaveAsCatalogwithFEx(int table_id, int set_id, int* filter_ids, int type, int from,
                                          int to, int date_separator, const char* dir, const char* catalog,
                                          const char* format_file, const char* data_dir,
                                          const char* data_file) {
  return SaveAsCatalogCommon(
      this, {"SaveAsCatalogwithFEx", false, false, table_id, set_id, filter_ids, type, from, to,
             date_separator, dir, catalog, format_file, data_dir, data_file});
}

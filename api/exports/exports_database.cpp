// Exported database and file calls: time texts, host memory, clearing, loading and saving the whole
// database and single tables (also in the previous file version and inside a host's own file), the
// database path, the table count, generated table names and what a stored file holds.
#include "api/frame/frame.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_scale.h"
#include "api/ops/ops_tables.h"
#include "q7api.h"

Q7_EXPORT int RQ7StrToTime(const char* text, double* value) {
  return FullFrame("RQ7StrToTime", [&] { return innerQ7StrToTime(text, value); });
}
Q7_EXPORT int Q7StrToTime(const char* text, double* value) {
  return PlainFrame([&] { return innerQ7StrToTime(text, value); });
}

Q7_EXPORT int Q7FreeMem(void** block) {
  return PlainFrame([&] { return innerQ7FreeMem(block); });
}

Q7_EXPORT int RQ7ClearDB(void) {
  return FullFrame("RQ7ClearDB", [] { return innerQ7ClearDB(); });
}
Q7_EXPORT int Q7ClearDB(void) {
  return PlainFrame([] { return innerQ7ClearDB(); });
}

Q7_EXPORT int RQ7LoadDB(const char* directory, const char* name) {
  return FullFrame("RQ7LoadDB", [&] { return innerQ7LoadDB(directory, name); });
}
Q7_EXPORT int Q7LoadDB(const char* directory, const char* name) {
  return PlainFrame([&] { return innerQ7LoadDB(directory, name); });
}
Q7_EXPORT int RQ7HSLoadDB(const char* directory, const char* name) {
  return FullFrame("RQ7HSLoadDB", [&] { return innerQ7LoadDB(directory, name); });
}

Q7_EXPORT int RQ7SaveDBAs(const char* directory, const char* name) {
  return FullFrame("RQ7SaveDBAs", [&] { return innerQ7SaveDBAs(directory, name); });
}
Q7_EXPORT int Q7SaveDBAs(const char* directory, const char* name) {
  return PlainFrame([&] { return innerQ7SaveDBAs(directory, name); });
}

Q7_EXPORT int RQ7SaveDB(void) {
  return FullFrame("RQ7SaveDB", [] { return innerQ7SaveDB(); });
}
Q7_EXPORT int Q7SaveDB(void) {
  return PlainFrame([] { return innerQ7SaveDB(); });
}

Q7_EXPORT int RQ7SaveDBAsOldVer(const char* directory, const char* name, int version) {
  return FullFrame("RQ7SaveDBAsOldVer", [&] { return innerRQ7SaveDBAsOldVer(directory, name, version); });
}

Q7_EXPORT int RQ7GetPathName(char* directory, char* name) {
  return FullFrame("RQ7GetPathName", [&] { return innerQ7GetPathName(directory, name); });
}
Q7_EXPORT int Q7GetPathName(char* directory, char* name) {
  return PlainFrame([&] { return innerQ7GetPathName(directory, name); });
}

Q7_EXPORT int RQ7GetNTable(void) {
  return FullFrame("RQ7GetNTable", [] { return innerQ7GetNTable(); });
}
Q7_EXPORT int Q7GetNTable(void) {
  return PlainFrame([] { return innerQ7GetNTable(); });
}

Q7_EXPORT int RQ7GenerateTableName(const char* seed, char* name) {
  return FullFrame("RQ7GenerateTableName", [&] { return innerQ7GenerateTableName(seed, name); });
}
Q7_EXPORT int Q7GenerateTableName(const char* seed, char* name) {
  return PlainFrame([&] { return innerQ7GenerateTableName(seed, name); });
}

Q7_EXPORT int RQ7LoadRealTable(const char* directory, const char* name) {
  return FullFrame("RQ7LoadRealTable", [&] { return innerQ7LoadRealTable(directory, name); });
}
Q7_EXPORT int Q7LoadRealTable(const char* directory, const char* name) {
  return PlainFrame([&] { return innerQ7LoadRealTable(directory, name); });
}
Q7_EXPORT int RQ7HSLoadRealTable(const char* directory, const char* name) {
  return FullFrame("RQ7HSLoadRealTable", [&] { return innerQ7LoadRealTable(directory, name); });
}

Q7_EXPORT int RQ7SaveRealTable(const char* directory, int table_id) {
  return FullFrame("RQ7SaveRealTable", [&] { return innerQ7SaveRealTable(directory, table_id); });
}
Q7_EXPORT int Q7SaveRealTable(const char* directory, int table_id) {
  return PlainFrame([&] { return innerQ7SaveRealTable(directory, table_id); });
}
Q7_EXPORT int RQ7SaveRealTableAs(const char* directory, const char* name, int table_id) {
  return FullFrame("RQ7SaveRealTableAs", [&] { return innerQ7SaveRealTableAs(directory, name, table_id); });
}
Q7_EXPORT int RQ7SaveRealTableOldVer(const char* directory, int table_id, int version) {
  return FullFrame("RQ7SaveRealTableOldVer",
                   [&] { return innerRQ7SaveRealTableOldVer(directory, table_id, version); });
}
Q7_EXPORT int RQ7SaveRealTableAsOldVer(const char* directory, const char* name, int table_id, int version) {
  return FullFrame("RQ7SaveRealTableAsOldVer",
                   [&] { return innerRQ7SaveRealTableAsOldVer(directory, name, table_id, version); });
}

Q7_EXPORT int RQ7LoadRealTable2(const char* path, unsigned long offset, int count, int* table_ids,
                                unsigned long* end_offset) {
  return FullFrame("RQ7LoadRealTable2",
                   [&] { return innerRQ7LoadRealTable2(path, offset, count, table_ids, end_offset); });
}
Q7_EXPORT int RQ7SaveRealTable2(const char* path, unsigned long offset, const int* table_id,
                                unsigned long* end_offset) {
  return FullFrame("RQ7SaveRealTable2",
                   [&] { return innerRQ7SaveRealTable2(path, offset, table_id, end_offset); });
}

Q7_EXPORT int RQ7GetQ7DFileInfo(const char* directory, const char* name, _Q7FileInfo* info) {
  return FullFrame("RQ7GetQ7DFileInfo", [&] { return innerQ7GetQz7FileInfo(directory, name, ".Q7D", info); });
}
Q7_EXPORT int RQ7GetQ7TFileInfo(const char* directory, const char* name, _Q7FileInfo* info) {
  return FullFrame("RQ7GetQ7TFileInfo", [&] { return innerQ7GetQz7FileInfo(directory, name, ".Q7T", info); });
}

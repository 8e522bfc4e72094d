// Exported derived-table calls: duplicating, extracting and combining real tables, and the set-ID
// reset.
#include "api/frame/frame.h"
#include "api/ops/ops_derive.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7DuplicateRealTable(const char* name, int table_id) {
  return FullFrame("RQ7DuplicateRealTable", [&] { return innerQ7DuplicateRealTable(name, table_id); });
}
Q7_EXPORT int Q7DuplicateRealTable(const char* name, int table_id) {
  return PlainFrame([&] { return innerQ7DuplicateRealTable(name, table_id); });
}

Q7_EXPORT int RQ7ExtractRealTable(const char* name, int table_id, int set_id, const int* filter_ids) {
  return FullFrame("RQ7ExtractRealTable",
                   [&] { return innerQ7ExtractRealTable(name, table_id, set_id, filter_ids); });
}
Q7_EXPORT int Q7ExtractRealTable(const char* name, int table_id, int set_id, const int* filter_ids) {
  return PlainFrame([&] { return innerQ7ExtractRealTable(name, table_id, set_id, filter_ids); });
}

Q7_EXPORT int RQ7ExtractRealTableEx(const char* name, int table_id, int set_id, int add_table_id,
                                    int add_rec_no, const int* filter_ids) {
  return FullFrame("RQ7ExtractRealTableEx", [&] {
    return innerQ7ExtractRealTableEx(name, table_id, set_id, add_table_id, add_rec_no, filter_ids);
  });
}
Q7_EXPORT int Q7ExtractRealTableEx(const char* name, int table_id, int set_id, int add_table_id,
                                   int add_rec_no, const int* filter_ids) {
  return PlainFrame([&] {
    return innerQ7ExtractRealTableEx(name, table_id, set_id, add_table_id, add_rec_no, filter_ids);
  });
}

Q7_EXPORT int RQ7CombineRealTable(const char* name, int table_a, int set_a, const int* ids_a, int table_b,
                                  int set_b, const int* ids_b) {
  return FullFrame("RQ7CombineRealTable", [&] {
    return innerQ7CombineRealTable(name, table_a, set_a, ids_a, table_b, set_b, ids_b);
  });
}
Q7_EXPORT int Q7CombineRealTable(const char* name, int table_a, int set_a, const int* ids_a, int table_b,
                                 int set_b, const int* ids_b) {
  return PlainFrame(
      [&] { return innerQ7CombineRealTable(name, table_a, set_a, ids_a, table_b, set_b, ids_b); });
}

Q7_EXPORT int RQ7CombineRealTableEx(const char* name, int add_table_id, int add_rec_no, int table_a,
                                    int set_a, const int* ids_a, int table_b, int set_b, const int* ids_b,
                                    int consume_sources) {
  return FullFrame("RQ7CombineRealTableEx", [&] {
    return innerQ7CombineRealTableEx(name, add_table_id, add_rec_no, table_a, set_a, ids_a, table_b, set_b,
                                     ids_b, consume_sources);
  });
}
Q7_EXPORT int Q7CombineRealTableEx(const char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                                   const int* ids_a, int table_b, int set_b, const int* ids_b,
                                   int consume_sources) {
  return PlainFrame([&] {
    return innerQ7CombineRealTableEx(name, add_table_id, add_rec_no, table_a, set_a, ids_a, table_b, set_b,
                                     ids_b, consume_sources);
  });
}
Q7_EXPORT int RQ7CombineRealTableEx2(const char* name, int add_table_id, int add_rec_no, int table_a,
                                     int set_a, const int* ids_a, int table_b, int set_b, const int* ids_b) {
  return FullFrame("RQ7CombineRealTableEx2", [&] {
    return innerQ7CombineRealTableEx(name, add_table_id, add_rec_no, table_a, set_a, ids_a, table_b, set_b,
                                     ids_b, 1);
  });
}

Q7_EXPORT int RQ7CombineTableList(const char* name, const int* table_ids, const int* set_ids,
                                  const int* data_1, const int* data_2, const int* data_3,
                                  const int* data_4) {
  return FullFrame("RQ7CombineTableList", [&] {
    return innerQ7CombineTableList(name, table_ids, set_ids, data_1, data_2, data_3, data_4);
  });
}
Q7_EXPORT int Q7CombineTableList(const char* name, const int* table_ids, const int* set_ids,
                                 const int* data_1, const int* data_2, const int* data_3, const int* data_4) {
  return PlainFrame(
      [&] { return innerQ7CombineTableList(name, table_ids, set_ids, data_1, data_2, data_3, data_4); });
}

Q7_EXPORT int RQ7ResetSetID(int table_id, int set_id) {
  return FullFrame("RQ7ResetSetID", [&] { return DBTASK()->ResetSetID(table_id, set_id); });
}

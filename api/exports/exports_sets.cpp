// Exported set calls: counting, reading, creating, combining and deleting the row sets of tables,
// the current set, unique rows, and set operations on host row lists.
#include "api/frame/frame.h"
#include "api/ops/ops_sets.h"
#include "api/ops/ops_unique.h"
#include "q7api.h"

Q7_EXPORT int RQ7GetNSet(int table_id) {
  return FullFrame("RQ7GetNSet", [&] { return innerQ7GetNSet(table_id); });
}
Q7_EXPORT int Q7GetNSet(int table_id) {
  return PlainFrame([&] { return innerQ7GetNSet(table_id); });
}

Q7_EXPORT int RQ7GetTotalRows(int table_id) {
  return FullFrame("RQ7GetTotalRows", [&] { return innerQ7GetTotalRows(table_id); });
}
Q7_EXPORT int Q7GetTotalRows(int table_id) {
  return PlainFrame([&] { return innerQ7GetTotalRows(table_id); });
}

Q7_EXPORT int RQ7PurgeSubsets(int table_id) {
  return CheckedFrame("RQ7PurgeSubsets", [&] { return innerQ7PurgeSubsets(table_id); });
}
Q7_EXPORT int Q7PurgeSubsets(int table_id) {
  return PlainFrame([&] { return innerQ7PurgeSubsets(table_id); });
}

Q7_EXPORT int RQ7GetSetSize(int table_id, int set_id) {
  return FullFrame("RQ7GetSetSize", [&] { return innerQ7GetSetSize(table_id, set_id); });
}
Q7_EXPORT int Q7GetSetSize(int table_id, int set_id) {
  return PlainFrame([&] { return innerQ7GetSetSize(table_id, set_id); });
}

Q7_EXPORT int RQ7GetSet(int table_id, int set_id, int* count, int capacity, int* rows) {
  return FullFrame("RQ7GetSet", [&] { return innerRQ7GetSet(table_id, set_id, count, capacity, rows); });
}
Q7_EXPORT int Q7GetSet(int table_id, int set_id, int** rows) {
  return PlainFrame([&] { return innerQ7GetSet(table_id, set_id, rows); });
}

Q7_EXPORT int RQ7GetSetList(int table_id, int capacity, int* set_ids) {
  return FullFrame("RQ7GetSetList", [&] { return innerQ7GetSetIDList(table_id, capacity, set_ids); });
}
Q7_EXPORT int Q7GetSetList(int table_id, int capacity, int* set_ids) {
  return PlainFrame([&] { return innerQ7GetSetIDList(table_id, capacity, set_ids); });
}
Q7_EXPORT int RQ7GetSetIDList(int table_id, int capacity, int* set_ids) {
  return LightFrame([&] { return innerQ7GetSetIDList(table_id, capacity, set_ids); });
}

Q7_EXPORT int RQ7AddSetReal(int table_id, int count, const int* rows) {
  return CheckedFrame("RQ7AddSetReal", [&] { return innerQ7AddSetReal(table_id, count, rows); });
}
Q7_EXPORT int Q7AddSetReal(int table_id, int count, const int* rows) {
  return PlainFrame([&] { return innerQ7AddSetReal(table_id, count, rows); });
}

Q7_EXPORT int RQ7DeleteSet(int table_id, int set_id) {
  return FullFrame("RQ7DeleteSet", [&] { return innerQ7DeleteSet(table_id, set_id); });
}
Q7_EXPORT int Q7DeleteSet(int table_id, int set_id) {
  return PlainFrame([&] { return innerQ7DeleteSet(table_id, set_id); });
}

Q7_EXPORT int RQ7GetCurrentSetID(int table_id) {
  return LightFrame([&] { return innerQ7GetCurrentSetID(table_id); });
}
Q7_EXPORT int Q7GetCurrentSetID(int table_id) {
  return PlainFrame([&] { return innerQ7GetCurrentSetID(table_id); });
}

Q7_EXPORT int RQ7ChangeCurrentSetID(int table_id, int set_id) {
  return CheckedFrame("RQ7ChangeCurrentSetID", [&] { return innerQ7ChangeCurrentSetID(table_id, set_id); });
}
Q7_EXPORT int Q7ChangeCurrentSetID(int table_id, int set_id) {
  return PlainFrame([&] { return innerQ7ChangeCurrentSetID(table_id, set_id); });
}

Q7_EXPORT int RQ7SetNotReal(int table_id, int set_id) {
  return CheckedFrame("RQ7SetNotReal", [&] { return innerQ7SetNotReal(table_id, set_id); });
}
Q7_EXPORT int Q7SetNotReal(int table_id, int set_id) {
  return PlainFrame([&] { return innerQ7SetNotReal(table_id, set_id); });
}

Q7_EXPORT int RQ7SetOpeReal(int table_id, int op, int set_a, int set_b) {
  return CheckedFrame("RQ7SetOpeReal", [&] { return innerQ7SetOpeReal(table_id, op, set_a, set_b); });
}
Q7_EXPORT int Q7SetOpeReal(int table_id, int op, int set_a, int set_b) {
  return PlainFrame([&] { return innerQ7SetOpeReal(table_id, op, set_a, set_b); });
}

Q7_EXPORT int RQ7ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids,
                                   int keep_order) {
  return FullFrame("RQ7ExtractUniqueReal", [&] {
    return innerQ7ExtractUniqueReal(unused, table_id, set_id, filter_ids, keep_order);
  });
}
Q7_EXPORT int Q7ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids,
                                  int keep_order) {
  return PlainFrame(
      [&] { return innerQ7ExtractUniqueReal(unused, table_id, set_id, filter_ids, keep_order); });
}

Q7_EXPORT int Q7SetOpe2(int op, int n_rows, _TSetDescript a, _TSetDescript b, _TSetDescript* result) {
  return PlainFrame([&] { return innerQ7SetOpe2(op, n_rows, a, b, result); });
}

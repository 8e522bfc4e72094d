// Row edits of the operation layer: deleting, inserting, overwriting and filling real-table rows.
#include "api/ops/ops_rowedit.h"

#include "api/ops/OpCommon.h"
#include "api/ops/ops_tables.h"
#include "database/TRealTable.h"

namespace {

constexpr char kNotRealBlank[] = "Not RealTable: %d ";

// The frame of every row edit: checks, the table operation, the saved flag.
template <class Edit>
int RunRowEdit(const char* ring_name, int table_id, const char* real_message, Edit&& edit) {
  return RunOp(ring_name, [&] {
    TRealTable* table = FindEditableRealTable(ring_name, table_id, real_message);
    const int result = CheckInner(ring_name, edit(table));
    MarkTablesChanged();
    return result;
  });
}

}  // namespace

TRealTable* FindEditableRealTable(const char* ring_name, int table_id, const char* real_message) {
  TBaseTable* table = FindTable(ring_name, table_id);
  RefuseShared(table);
  TRealTable* real = RequireReal(ring_name, table, real_message);
  int* referring = nullptr;
  if (innerQ7TableCanEdit(table_id, &referring) != 0) {
    Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", table_id);
  }
  return real;
}

int innerQ7DeleteRealRowsEx(int table_id, int set_id, int from, int count) {
  return ChangedOnSuccess(Changes::kTables,
                          RunRowEdit("Q7DeleteRealRowsEx", table_id, "Not RealTable: %d",
                                     [&](TRealTable* t) { return t->DelRowsEx(set_id, from, count); }));
}

int innerQ7DeleteRealRows(int table_id, int from, int count) {
  return ChangedOnSuccess(Changes::kTables,
                          RunRowEdit("Q7DeleteRealRows", table_id, "Not RealTable: %d",
                                     [&](TRealTable* t) { return t->DelRows(from, count); }));
}

int innerQ7InsertRealRows(int table_id, int position, int count) {
  return ChangedOnSuccess(Changes::kTables,
                          RunRowEdit("Q7InsertRealRows", table_id, "Not RealTable: %d",
                                     [&](TRealTable* t) { return t->InsRows(position, count); }));
}

int innerQ7OverwriteRealEx(int table_id, int set_id, int filter_id, int from, int count, void* data) {
  return ChangedOnSuccess(Changes::kTables,
                          RunRowEdit("Q7OverwriteRealEx", table_id, kNotRealBlank, [&](TRealTable* t) {
                            return t->OverWriteEx(set_id, filter_id, from, count, data);
                          }));
}

int innerQ7FillRealEx(int table_id, int set_id, int filter_id, int from, int count, void* value) {
  return ChangedOnSuccess(Changes::kTables,
                          RunRowEdit("Q7FillRealEx", table_id, kNotRealBlank, [&](TRealTable* t) {
                            return t->FillEx(set_id, filter_id, from, count, value);
                          }));
}

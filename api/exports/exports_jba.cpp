// Exported join block access and row callbacks: plain frames only.
#include "api/frame/frame.h"
#include "api/ops/ops_jba.h"
#include "q7api.h"

Q7_EXPORT int Q7GetN_JBA(void) {
  return PlainFrame([&] { return innerQ7GetN_JBA(); });
}
Q7_EXPORT int Q7JBAStatus(int handle, int* status) {
  return PlainFrame([&] { return innerQ7JBAStatus(handle, status); });
}
Q7_EXPORT int Q7JBAOpen(int handle, int table_id, int set_id) {
  return PlainFrame([&] { return innerQ7JBAOpen(handle, table_id, set_id); });
}
Q7_EXPORT int Q7JBAOpen2(int handle, int table_id, int set_id, const int* column_ids) {
  return PlainFrame([&] { return innerQ7JBAOpen2(handle, table_id, set_id, column_ids); });
}
Q7_EXPORT int Q7JBARead(int handle, int* block_no, int* first_row, int* last_row, int* driving_record,
                        int* partner_count, int** partner_records, int* column_count, _TColumnBuf** columns) {
  return PlainFrame([&] {
    return innerQ7JBARead(handle, block_no, first_row, last_row, driving_record, partner_count,
                          partner_records, column_count, columns);
  });
}
Q7_EXPORT int Q7JBAClose(int handle) {
  return PlainFrame([&] { return innerQ7JBAClose(handle); });
}

Q7_EXPORT int Q7RowInfoCallBack(int handle, int table_id, int set_id, const int* column_ids,
                                Q7RowCallBackFunc callback) {
  return PlainFrame([&] { return innerQ7RowInfoCallBack(handle, table_id, set_id, column_ids, callback); });
}
Q7_EXPORT int Q7SearchCallBack(int handle, int table_id, int set_id, const int* column_ids,
                               Q7RowCallBackFunc callback) {
  return PlainFrame([&] { return innerQ7SearchCallBack(handle, table_id, set_id, column_ids, callback); });
}
Q7_EXPORT int Q7UniqueRowCallBack(int handle, int table_id, int set_id, const int* column_ids,
                                  Q7UniqueRowCallBackFunc callback) {
  return PlainFrame([&] { return innerQ7UniqueRowCallBack(handle, table_id, set_id, column_ids, callback); });
}

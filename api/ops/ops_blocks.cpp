// Block reads of the operation layer: runs of consecutive set positions read in one call.
#include "api/ops/ops_blocks.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_sets.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"

namespace {

constexpr int kBlockRows = 128;
constexpr size_t kBlockValueBytes = 1024;
constexpr size_t kBlockTextBytes = 4096;
// The read buffer of RQ7GetData1MEx (process-wide): a text comes cut to one byte less.
constexpr int kSizedReadBytes = 1048584;
// A decimal block starts with the filter's scale and mode, read with the first value.
constexpr size_t kFirstDecimalBytes = sizeof(NumericInfo) + sizeof(Numeric);

// The host's buffers of a block read and how much of each is taken.
struct BlockBuffers {
  unsigned char* values;
  size_t value_bytes;
  char* texts;
  size_t text_bytes;
  size_t text_used = 0;
};

enum class Stored { kYes, kFull, kUnknownType };

// Where element `index` of a block goes in the value buffer, and its size.
bool ValueSlot(int type, int index, size_t* offset, size_t* size) {
  const auto i = static_cast<size_t>(index);
  switch (type) {
    case Q7_TYPE_INTEGER:
    case Q7_TYPE_STRING:  // the text's offset in the text area
      *offset = i * sizeof(int32_t);
      *size = sizeof(int32_t);
      return true;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      *offset = i * sizeof(double);
      *size = sizeof(double);
      return true;
    case Q7_TYPE_DECIMAL:
      *offset = i == 0 ? 0 : kFirstDecimalBytes + (i - 1) * sizeof(Numeric);
      *size = i == 0 ? kFirstDecimalBytes : sizeof(Numeric);
      return true;
    default:
      return false;
  }
}

// Stores one value as a read left it in `read` (a text with its zero) as element index.
Stored StoreValue(BlockBuffers& out, int type, int index, const unsigned char* read, size_t read_bytes) {
  size_t offset = 0;
  size_t size = 0;
  if (!ValueSlot(type, index, &offset, &size)) return Stored::kUnknownType;
  if (offset + size > out.value_bytes) return Stored::kFull;
  if (type != Q7_TYPE_STRING) {
    memcpy(out.values + offset, read, size);
    return Stored::kYes;
  }
  const size_t length = strnlen(reinterpret_cast<const char*>(read), read_bytes - 1);
  if (length + 1 > out.text_bytes - out.text_used) return Stored::kFull;
  memcpy(out.texts + out.text_used, read, length);
  out.texts[out.text_used + length] = '\0';
  const auto text_offset = static_cast<int32_t>(out.text_used);
  memcpy(out.values + offset, &text_offset, sizeof text_offset);
  out.text_used += length + 1;
  return Stored::kYes;
}

// Reads up to max_rows consecutive positions of the table's set from first_row on: read(index, row)
// reads one and returns its result, and sets *stored to say whether it kept the value. The first
// read's result (or failure) is returned; the set's end, a later failure, or a value that does not
// fit ends the block; a value of no known type fails it with Q7_ERROR_INNER_ENGINE. *count receives
// the values kept.
template <class Read>
int ReadRows(int table, int set, int first_row, int max_rows, int* count, Read read) {
  *count = 0;
  int first_result = 0;
  int64_t last_row = INT_MAX;
  for (int i = 0; i < max_rows; ++i) {
    const int64_t row = int64_t{first_row} + i;
    if (row > last_row) break;
    Stored stored = Stored::kYes;
    const int result = read(i, static_cast<int>(row), &stored);
    if (result < 0) return i == 0 ? result : first_result;
    if (i == 0) {
      first_result = result;
      last_row = BlockLastRow(table, set);
    }
    if (stored == Stored::kUnknownType) return Q7_ERROR_INNER_ENGINE;
    if (stored == Stored::kFull) break;
    ++*count;
  }
  return first_result;
}

// The read buffer of the sized block read; used only under the API lock.
unsigned char g_sized_read[kSizedReadBytes];

}  // namespace

int BlockLastRow(int table_id, int set_id) {
  const int size = innerQ7GetSetSize(table_id, set_id);
  return size >= 0 ? size : INT_MAX;
}

int innerRQ7GetData1M(int table, int filter, int set, int first_row, int* type, int* count, void* values,
                      char* texts) {
  CheckHostPointer(type, "type");
  CheckHostPointer(count, "count");
  CheckHostPointer(values, "values");
  CheckHostPointer(texts, "texts");
  memset(values, 0, kBlockValueBytes);
  memset(texts, 0, kBlockTextBytes);
  BlockBuffers out{static_cast<unsigned char*>(values), kBlockValueBytes, texts, kBlockTextBytes};
  unsigned char read[kBlockTextBytes];
  return ReadRows(table, set, first_row, kBlockRows, count, [&](int index, int row, Stored* stored) {
    // Only the first read of a decimal carries its scale and mode.
    int row_type = 0;
    const int result = innerQ7GetData1(table, filter, set, row, &row_type, read, index);
    if (result < 0) return result;
    *type = row_type;
    *stored = StoreValue(out, row_type, index, read, sizeof read);
    if (*stored == Stored::kUnknownType) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
    return result;
  });
}

int innerRQ7GetData1MEx(int table, int filter, int set, int first_row, int rows, int text_size, int* type,
                        int* count, void* values, char* texts) {
  constexpr char kRing[] = "RQ7GetData1MEx";
  if (rows < 1) return Q7_ERROR_UNKNOWN;
  if (text_size < 0) {
    PutErrorLog(kRing, Q7_ERROR_INVALID_PARAMETER, getString("Illegal Buffer size: %d", text_size));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  CheckHostPointer(type, "type");
  CheckHostPointer(count, "count");
  CheckHostPointer(values, "values");
  if (text_size > 0) {
    CheckHostPointer(texts, "texts");
    memset(texts, 0, static_cast<size_t>(text_size));
  }
  // The host's value array holds `rows` elements of the filter's type, which only the reads tell;
  // the row count bounds the block instead of the buffer.
  BlockBuffers out{static_cast<unsigned char*>(values), SIZE_MAX / 2, texts, static_cast<size_t>(text_size)};
  return ReadRows(table, set, first_row, rows, count, [&](int index, int row, Stored* stored) {
    int row_type = 0;
    const int result =
        innerQ7GetData1Ex(table, filter, set, row, &row_type, g_sized_read, index, kSizedReadBytes);
    if (result < 0) return result;
    *type = row_type;
    *stored = StoreValue(out, row_type, index, g_sized_read, sizeof g_sized_read);
    return result;
  });
}

int innerRQ7GetData1MExPtr(int table, int filter, int set, int first_row, int rows, int* type, int* count,
                           long* addresses) {
  if (rows < 1) return Q7_ERROR_UNKNOWN;
  CheckHostPointer(type, "type");
  CheckHostPointer(count, "count");
  CheckHostPointer(addresses, "values");
  return ReadRows(table, set, first_row, rows, count, [&](int index, int row, Stored*) {
    int row_type = 0;
    const int result = innerQ7GetData1ExPtr(table, filter, set, row, &row_type, &addresses[index]);
    if (result >= 0) *type = row_type;
    return result;
  });
}

int innerRQ7GetRowNo1M(int table, int set, int first_row, int* count, int* records, int* other) {
  CheckHostPointer(count, "count");
  CheckHostPointer(records, "records");
  return ReadRows(table, set, first_row, kBlockRows, count, [&](int index, int row, Stored*) {
    const int result = innerQ7GetRowNo1(table, set, row, &records[index]);
    // The read gives nothing for the second array.
    if (result >= 0 && other != nullptr) other[index] = 0;
    return result;
  });
}

int innerRQ7GetVNoList(int table, int filter, int set, int first_row, int n, int* vnos) {
  constexpr char kRing[] = "RQ7GetVNoList";
  if (n < 0) {
    PutErrorLog(kRing, Q7_ERROR_INVALID_PARAMETER, getString("Illegal Buffer size: %d", n));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  const int size = innerQ7GetSetSize(table, set);
  if (size < 0) return size;
  if (first_row > size) return 0;
  int written = 0;
  while (written < n && int64_t{first_row} + written <= size) {
    const int result = innerQ7GetVNo(table, filter, set, first_row + written, &vnos[written]);
    if (result < 0) return result;
    ++written;
  }
  return written;
}

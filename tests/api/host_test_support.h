// Helpers for the interface tests: they drive the engine exactly as a host does, through the exported
// functions of q7api.h and nothing else.
//
//   q7host::TempDir dir;                                   // removed with everything in it
//   const int t = q7host::AddTable("sales", 3);
//   q7host::AddIntColumn(t, "qty", {5, q7host::kIntNull, 7});
//   q7host::AddStringColumn(t, "city", {"Oslo", "", "Rome"});   // "" is the string NULL
//   EXPECT_EQ(q7host::ReadSet(t, 1), (std::vector<int>{1, 2, 3}));
//   EXPECT_EQ(q7host::DrainRing(), (std::vector<q7host::RingEntry>{{"RQ7GetSet", Q7_ERROR_NO_SUCH_TABLE,
//                                                                  "No Such Table: 9 "}}));
//
// Columns are built from host memory in two exported calls: an empty filter of the type (NULL in every
// row) and an overwrite of all rows of set 1 with the host's values. Every builder returns the new
// filter's ID, or the first negative code an exported call returned (a filter created before a
// failed overwrite stays in the table).
//
// Thread safety: the builders and readers may be called from any thread (the engine serialises the
// calls); DrainRing empties the one process-wide ring, so threads that read the ring see each other's
// entries. TempDir is not shared between threads.
#pragma once

#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "q7api.h"

namespace q7host {

// Whether the build runs under AddressSanitizer or ThreadSanitizer, whose allocators and address
// space are their own: an address-space limit or the resident size says nothing of the engine there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kUnderSanitizer = true;
#else
inline constexpr bool kUnderSanitizer = false;
#endif
#else
inline constexpr bool kUnderSanitizer = false;
#endif

// The NULL of each value type, as the host writes and reads it.
inline constexpr int32_t kIntNull = std::numeric_limits<int32_t>::min();
inline constexpr double kDoubleNull = -std::numeric_limits<double>::infinity();  // also dates and times
inline constexpr Numeric kDecimalNull = {0, std::numeric_limits<int64_t>::min()};

inline constexpr int kAppendPosition = 1024;  // filter position that appends after the last filter
inline constexpr int kAllRowsSet = 1;         // set 1 holds every record, ascending

// A decimal count of units (the caller picks the scale): 1234 at scale 2 is 12.34.
inline Numeric Decimal(int64_t units) {
  return Numeric{static_cast<uint64_t>(units), units < 0 ? int64_t{-1} : int64_t{0}};
}
inline bool SameDecimal(const Numeric& a, const Numeric& b) { return a.low == b.low && a.high == b.high; }

// The lines of a catalog message log that report a row ("@ Row"), in order.
inline std::vector<std::string> RowReports(const std::string& log) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.find("@ Row") != std::string::npos) out.push_back(line);
    start = end + 1;
  }
  return out;
}

// One cell of set 1 as text: "NULL" for the type's NULL (the string NULL is the empty text), decimals
// as "units@scale", dates and times as their serial numbers; "error <code>" when the read fails.
inline std::string CellText(int table, int filter, int row) {
  std::vector<char> value(4200);
  int type = 0;
  const int size = RQ7GetData1(table, filter, kAllRowsSet, row, &type, value.data());
  if (size < 0) return "error " + std::to_string(size);
  switch (type) {
    case Q7_TYPE_INTEGER: {
      int32_t v;
      memcpy(&v, value.data(), sizeof v);
      return v == kIntNull ? "NULL" : std::to_string(v);
    }
    case Q7_TYPE_STRING:
      return value.data();
    case Q7_TYPE_DECIMAL: {
      NumericInfo info;
      Numeric v;
      memcpy(&info, value.data(), sizeof info);
      memcpy(&v, value.data() + sizeof info, sizeof v);
      if (SameDecimal(v, kDecimalNull)) return "NULL";
      return std::to_string(static_cast<int64_t>(v.low)) + "@" + std::to_string(info.scale);
    }
    default: {
      double v;
      memcpy(&v, value.data(), sizeof v);
      if (std::isinf(v) && v < 0) return "NULL";
      char text[64];
      snprintf(text, sizeof text, "%.10g", v);
      return text;
    }
  }
}

// The engine's date serial (days since 1899-12-30) of a proleptic Gregorian date.
inline double DateSerial(int year, int month, int day) {
  // Days from civil: March-based years make the leap day the last day of the year.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days_since_1970 = static_cast<long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days_since_1970 + 25569);  // 1970-01-01 is serial 25569
}

// ---- Error ring ----------------------------------------------------------------------------------
// One ring entry. Equality ignores the time stamp, so tests compare (name, code, message) only.
struct RingEntry {
  std::string api;
  int code = 0;
  std::string message;
  int time = 0;

  bool operator==(const RingEntry& other) const {
    return api == other.api && code == other.code && message == other.message;
  }
};

inline std::ostream& operator<<(std::ostream& out, const RingEntry& e) {
  return out << "{" << e.api << ", 0x" << std::hex << static_cast<uint32_t>(e.code) << std::dec << ", \""
             << e.message << "\"}";
}

// One row of a table of refused calls: what is refused, the call, the code it returns and the ring
// entries it leaves.
struct RefusalCase {
  const char* what;
  std::function<int()> call;
  int code;
  std::vector<RingEntry> ring;
};

// Reads the ring empty and returns its entries, oldest first (the ring keeps the last 8).
inline std::vector<RingEntry> DrainRing() {
  std::vector<RingEntry> entries;
  for (;;) {
    RingEntry e;
    char api[64] = {};
    char message[128] = {};
    if (RQ7GetErrorLog(&e.time, api, &e.code, message) != 1) return entries;
    e.api = api;
    e.message = message;
    entries.push_back(std::move(e));
  }
}

// ---- Temporary directory ---------------------------------------------------------------------------
// A fresh directory under $TMPDIR (or /tmp), removed with its contents when the object goes.
class TempDir {
 public:
  TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/q7host-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when the directory could not be made.
  const std::string& path() const { return path_; }
  bool ok() const { return !path_.empty(); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// ---- Tables built from host memory ------------------------------------------------------------------
// A real table of `rows` empty records; its ID or a negative code.
inline int AddTable(const std::string& name, int rows) { return RQ7AddRealTable(name.c_str(), rows); }

// Writes rows values of the filter's raw width (int32; double for DOUBLE, DATE, TIME, DATETIME; text
// pointers for STRING; Numeric at the filter's scale for DECIMAL) into rows 1.. of set 1.
inline int OverwriteAll(int table, int filter, int rows, const void* values) {
  if (rows == 0) return filter;
  const int written = RQ7OverwriteRealEx(table, kAllRowsSet, filter, 1, rows, const_cast<void*>(values));
  return written < 0 ? written : filter;
}

// A new filter of type 2..7 holding `values` (rows elements of the type's raw width, see above).
inline int AddColumn(int table, const std::string& name, int type, int rows, const void* values) {
  const int filter = RQ7AddRealFilter2(table, kAppendPosition, name.c_str(), type, rows, 0, "", "");
  if (filter < 0) return filter;
  return OverwriteAll(table, filter, rows, values);
}

inline int AddIntColumn(int table, const std::string& name, const std::vector<int32_t>& values) {
  return AddColumn(table, name, Q7_TYPE_INTEGER, static_cast<int>(values.size()), values.data());
}

// type: Q7_TYPE_DOUBLE, Q7_TYPE_DATE, Q7_TYPE_TIME or Q7_TYPE_DATETIME.
inline int AddDoubleColumn(int table, const std::string& name, const std::vector<double>& values,
                           int type = Q7_TYPE_DOUBLE) {
  return AddColumn(table, name, type, static_cast<int>(values.size()), values.data());
}

// The empty text is the string NULL.
inline int AddStringColumn(int table, const std::string& name, const std::vector<std::string>& values) {
  std::vector<const char*> texts;
  texts.reserve(values.size());
  for (const std::string& v : values) texts.push_back(v.c_str());
  return AddColumn(table, name, Q7_TYPE_STRING, static_cast<int>(texts.size()), texts.data());
}

// A DECIMAL filter of the given scale (0..38) and rounding mode; values are counts of 10^-scale.
inline int AddDecimalColumn(int table, const std::string& name, const std::vector<Numeric>& values, int scale,
                            int rounding_mode = Q7_ROUND_HALF_UP) {
  const int rows = static_cast<int>(values.size());
  const int filter =
      RQ7AddRealFilter2Numeric(table, kAppendPosition, name.c_str(), rows, scale, rounding_mode, "", "");
  if (filter < 0) return filter;
  return OverwriteAll(table, filter, rows, values.data());
}

// ---- Reading back ------------------------------------------------------------------------------------
// The record numbers of a set, in the set's order. A failure gives an empty list and the code in *code
// (when code is not null).
inline std::vector<int> ReadSet(int table, int set, int* code = nullptr) {
  int count = 0;
  int unused = 0;
  int size = RQ7GetSet(table, set, &count, 0, &unused);
  std::vector<int> rows;
  if (size > 0) {
    rows.resize(static_cast<size_t>(size));
    size = RQ7GetSet(table, set, &count, size, rows.data());
  }
  if (code != nullptr) *code = size < 0 ? size : 0;
  if (size < 0) return {};
  rows.resize(static_cast<size_t>(size));
  return rows;
}

}  // namespace q7host

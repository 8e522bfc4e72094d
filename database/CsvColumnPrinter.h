// The field texts of the text export: CsvLine, the growing buffer a line is assembled in, and
// CsvColumnPrinter, which appends the text of one record's value of one filter to it.
//
// Field texts by value type (NULL is the empty text for every type but STRING):
//   INTEGER   "%d"
//   DOUBLE    "%0.*f" for -1e18 < x < 1e18, else "%0.13E"; the precision as CsvColumnOptions says
//   DATE      the engine's date order with the given separator ("yyyy/mm/dd", "dd/mm/yyyy", ...)
//   TIME      "hh:mm:ss", with ".mmm" when the milliseconds are not 0
//   DATETIME  the date, a blank, the time
//   STRING    always quoted, every double quote inside doubled; a NULL (empty) text gives ""
//   DECIMAL   the plain digits of RQ7NumericNum2Str at the list's scale (or the digits asked for);
//             a value that cannot be printed in 1023 characters gives the empty text
// A record whose value is pending (value number -k) takes entry k of the filter's pending list.
//
// Ownership: a printer refers to its filter's arrays without owning them; the filter must not
// change while the printer is used. Thread safety: a printer only reads; several threads may use
// printers of the same filter at once, each with its own CsvLine. Nothing here writes to the error
// ring, so the printers may run on workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "database/CsvExportFormat.h"
#include "foundation/ZpkAllocator.h"
#include "q7api.h"

class TBaseArray;
class TFilter;

// A line buffer that grows on demand; the room for a field is asked for before the field is
// written, so no field ever runs past the end. Its block is the engine's (zpk_malloc): the export's
// workers each fill one of a MiB.
class CsvLine {
 public:
  // capacity bytes to start with (at least 1). Throws Q7_ERROR_OUT_OF_MEMORY.
  explicit CsvLine(size_t capacity);
  ~CsvLine();
  CsvLine(const CsvLine&) = delete;
  CsvLine& operator=(const CsvLine&) = delete;

  // The write position, with at least n bytes of room behind it; the buffer grows (keeping its
  // contents) when it has less. Throws Q7_ERROR_OUT_OF_MEMORY.
  char* Room(size_t n) {
    if (static_cast<size_t>(cap_ - end_) < n) Grow(n);
    return end_;
  }
  // Ends the text at p (a position inside the room asked for last).
  void SetEnd(char* p) { end_ = p; }
  // One byte; its room must have been asked for.
  void Put(char c) { *end_++ = c; }
  const char* data() const { return begin_; }
  size_t size() const { return static_cast<size_t>(end_ - begin_); }
  size_t capacity() const { return static_cast<size_t>(cap_ - begin_); }
  void Clear() { end_ = begin_; }

 private:
  void Grow(size_t n);

  char* begin_ = nullptr;
  char* end_ = nullptr;
  char* cap_ = nullptr;
};

// How a column prints where its value list alone does not decide it.
struct CsvColumnOptions {
  // DOUBLE: the precision; -1 takes the value list's attribute byte 5 (a signed digit setting) plus
  // 3. A negative precision prints as "%f" does (6 digits).
  int double_digits = -1;
  // DECIMAL: -1 prints at the list's scale with its mode; 0 or more prints with that many digits
  // after the point, rounded by decimal_mode, or by the list's own mode when decimal_mode is not a
  // mode (0..6).
  int decimal_digits = -1;
  int decimal_mode = -1;
  // DATE and DATETIME.
  char date_separator = '/';
  int date_order = 0;

  // The options of a column of a serial export. With format records (null: no format file) a
  // DOUBLE prints with the digits of the first of the first n_formats records named as the filter
  // when they lie in 0..15, else (no such record included) with 3.
  static CsvColumnOptions ForSerial(const TFilter* filter, const EXPTFMT_t* formats, int n_formats,
                                    char date_separator, int date_order);
  // The options of a column of one part of a parallel export. With format records (null: none) a
  // DOUBLE or DECIMAL column whose record (the first of the first n_formats named as the filter)
  // gives digits takes them: a DOUBLE those digits (above 15: 3), a DECIMAL those digits and the
  // record's rounding mode.
  static CsvColumnOptions ForPart(const TFilter* filter, const EXPTFMT_t* formats, int n_formats,
                                  char date_separator, int date_order);
};

class CsvColumnPrinter {
 public:
  // A hint to load the cache line at p. An asm statement on x86: GCC drops a __builtin_prefetch
  // that stands under a condition, as having no effect.
  static void PrefetchLine(const void* p) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
#else
    __builtin_prefetch(p);
#endif
  }

  // The value type (2..8) of the filter's value list, read without side effects; -1 for a filter
  // without arrays or a list of no value type.
  static int ValueType(const TFilter* filter);

  // Throws Q7_ERROR_INVALID_DATA_TYPE (no ring entry) when ValueType is -1.
  CsvColumnPrinter(TFilter* filter, const CsvColumnOptions& options);

  int type() const { return type_; }

  // Prepares for printing about `rows` rows: a value list that is small beside them (at most
  // kMaxCachedValues entries and a quarter of the rows) is printed once, entry by entry, and
  // Append then copies the texts. Optional; the texts are the same either way. Throws
  // Q7_ERROR_OUT_OF_MEMORY.
  static constexpr int kMaxCachedValues = 1 << 16;
  void PrepareForRows(int64_t rows);

  // Appends the text of record rec's value. Throws Q7_ERROR_INDEX_OUT_OF_RANGE (no ring entry) for
  // a record that is not one of the filter's, or a value number outside its lists.
  void Append(int rec, CsvLine& line) const;
  // Appends the text of value number 0, the list's NULL: what a row shows for a side that has no
  // record there (a joined row without partner). Throws Q7_ERROR_INDEX_OUT_OF_RANGE for an empty
  // list.
  void AppendNull(CsvLine& line) const;
  // Starts loading the value of record rec, so that an Append of it a few rows later does not wait
  // for memory: value lists are read in value-number order, which for a large list is random. No
  // effect on any result; a record outside the filter is ignored.
  void Prefetch(int rec) const {
    if (!prefetch_ || rec < 1 || rec >= record_count_) return;
    const int number = numbers_[rec];
    if (number >= 0 && number < list_count_) PrefetchLine(list_data_ + static_cast<size_t>(number) * unit_);
  }

 private:
  // The list and index the record's value lies at.
  const TBaseArray* Locate(int rec, int* index) const;
  // Appends the text of entry `index` of `list` (the value list or the pending list).
  void AppendEntry(const TBaseArray* list, int index, CsvLine& line) const;

  int type_;
  const int* numbers_;
  int record_count_;  // elements of the value-number array (element 0 is not a record)
  TBaseArray* list_;
  int list_count_;
  const char* list_data_;  // the list's elements (a text list's offsets)
  size_t unit_;            // bytes per element
  bool prefetch_;          // the list is too large to stay in the caches, and no texts are cached
  TBaseArray* pending_;
  int pending_count_;
  int double_digits_;
  NumericInfo decimal_info_{};
  int decimal_digits_ = 0;
  char date_separator_;
  int date_order_;
  // The value list's texts after PrepareForRows: entry i is cache_text_[cache_offsets_[i] ..
  // cache_offsets_[i + 1]); no offsets when there is no cache.
  ZpkVector<char> cache_text_;
  ZpkVector<uint32_t> cache_offsets_;
};

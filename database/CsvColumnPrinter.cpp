// The field texts of the text export: the line buffer and the printers of each value type.
#include "database/CsvColumnPrinter.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "values/DateTime.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TStrArray.h"

namespace {

// The area a decimal is printed into: the text and its zero must fit.
constexpr size_t kDecimalArea = 1024;
// Dates, times and datetimes: "yyyy/mm/dd hh:mm:ss.mmm" and the zero.
constexpr size_t kDateTimeRoom = 32;
// Beyond the precision: sign, 18 integer digits, point.
constexpr size_t kFixedRoom = 24;
constexpr double kFixedLimit = 1e18;
// Cached texts up to this length are copied in one fixed-size move.
constexpr size_t kShortCopy = 16;
// Value lists up to this size stay in the caches while a part is written: no prefetching.
constexpr size_t kCachedListBytes = 256 * 1024;

[[noreturn]] void ThrowOutOfRange() { throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE); }

constexpr int kMaxShortScale = 18;
// 10^0 .. 10^kMaxShortScale.
struct Pow10Table {
  uint64_t value[kMaxShortScale + 1];
  constexpr Pow10Table() : value() {
    value[0] = 1;
    for (int i = 1; i <= kMaxShortScale; ++i) value[i] = value[i - 1] * 10;
  }
};
constexpr Pow10Table kPow10;

// "%.*f" of a double below 1e18 in magnitude with at most kMaxShortFixed digits, exactly as printf
// gives it (the binary value rounded to the digits, a tie to even, the sign kept on a negative
// zero), in integer arithmetic; null, writing nothing, when the scaled value passes 64 bits.
constexpr int kMaxShortFixed = 15;
char* PrintShortFixed(double x, int digits, char* p) {
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  const int biased = static_cast<int>(bits >> 52 & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (biased != 0) mantissa |= uint64_t{1} << 52;
  const int exponent = (biased != 0 ? biased : 1) - 1075;  // x = mantissa * 2^exponent
  // Below 2^53 * 10^15 < 2^103; |x| < 1e18 keeps a non-negative exponent below 8.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPow10.value[digits];
  unsigned __int128 n;
  if (exponent >= 0) {
    n = scaled << exponent;
  } else if (exponent <= -128) {
    n = 0;  // below 2^-25: rounds to 0
  } else {
    const int shift = -exponent;
    n = scaled >> shift;
    const unsigned __int128 rest = scaled - (n << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (n & 1) != 0)) ++n;
  }
  if ((n >> 64) != 0) return nullptr;
  if ((bits >> 63) != 0) *p++ = '-';
  char text[24];
  const char* text_end = std::to_chars(text, text + sizeof text, static_cast<uint64_t>(n)).ptr;
  const int length = static_cast<int>(text_end - text);
  if (length > digits) {
    memcpy(p, text, static_cast<size_t>(length - digits));
    p += length - digits;
  } else {
    *p++ = '0';
  }
  if (digits > 0) {
    *p++ = '.';
    for (int i = length; i < digits; ++i) *p++ = '0';
    const int shown = length < digits ? length : digits;
    memcpy(p, text_end - shown, static_cast<size_t>(shown));
    p += shown;
  }
  return p;
}

// The text NumericNum2Str gives a decimal whose count fits 64 bits, printed at its own scale
// (0..kMaxShortScale): the common case, without the general printer's 128-bit arithmetic.
char* PrintShortDecimal(int64_t count, int scale, char* p) {
  const uint64_t magnitude = count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
  if (count < 0) *p++ = '-';
  const uint64_t unit = kPow10.value[scale];
  uint64_t fraction = magnitude % unit;
  p = std::to_chars(p, p + 24, magnitude / unit).ptr;
  if (scale > 0) {
    *p++ = '.';
    for (int i = scale - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    p += scale;
  }
  return p;
}

}  // namespace

// ---- CsvLine ----

CsvLine::CsvLine(size_t capacity) {
  if (capacity == 0) capacity = 1;
  begin_ = static_cast<char*>(zpk_malloc(capacity));
  end_ = begin_;
  cap_ = begin_ + capacity;
}

CsvLine::~CsvLine() { zpk_free(begin_); }

void CsvLine::Grow(size_t n) {
  const size_t used = size();
  size_t capacity = this->capacity();
  while (capacity - used < n) {
    if (capacity > SIZE_MAX / 2) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    capacity *= 2;
  }
  char* grown = static_cast<char*>(zpk_realloc(begin_, capacity));
  begin_ = grown;
  end_ = grown + used;
  cap_ = grown + capacity;
}

// ---- CsvColumnOptions ----

CsvColumnOptions CsvColumnOptions::ForSerial(const TFilter* filter, const EXPTFMT_t* formats, int n_formats,
                                             char date_separator, int date_order) {
  CsvColumnOptions options;
  options.date_separator = date_separator;
  options.date_order = date_order;
  if (formats != nullptr && CsvColumnPrinter::ValueType(filter) == Q7_TYPE_DOUBLE) {
    const EXPTFMT_t* f = FindExportFormat(formats, n_formats, filter->FFilterName);
    options.double_digits = f != nullptr && f->digits >= 0 && f->digits <= 15 ? f->digits : 3;
  }
  return options;
}

CsvColumnOptions CsvColumnOptions::ForPart(const TFilter* filter, const EXPTFMT_t* formats, int n_formats,
                                           char date_separator, int date_order) {
  CsvColumnOptions options;
  options.date_separator = date_separator;
  options.date_order = date_order;
  const int type = CsvColumnPrinter::ValueType(filter);
  if (formats != nullptr && (type == Q7_TYPE_DOUBLE || type == Q7_TYPE_DECIMAL)) {
    const EXPTFMT_t* f = FindExportFormat(formats, n_formats, filter->FFilterName);
    if (f != nullptr && f->digits >= 0) {
      options.double_digits = f->digits > 15 ? 3 : f->digits;
      options.decimal_digits = f->digits;
      options.decimal_mode = f->rounding;
    }
  }
  return options;
}

// ---- CsvColumnPrinter ----

int CsvColumnPrinter::ValueType(const TFilter* filter) {
  if (filter == nullptr || filter->VL == nullptr || filter->PV == nullptr) return -1;
  const TBaseArray* list = filter->VL;
  switch (list->GetDataType()) {
    case Q7_TYPE_INTEGER:
    case Q7_TYPE_STRING:
    case Q7_TYPE_DECIMAL:
      return list->GetDataType();
    case Q7_TYPE_DOUBLE: {
      // The extend type as TDoubleArray::GetExtendType reads it, without its rewrite of a stored 0:
      // the printers may run on several workers at once.
      const int extend = list->FUserArea[0];
      if (extend == 0) return Q7_TYPE_DOUBLE;
      if (extend == Q7_TYPE_DOUBLE || extend == Q7_TYPE_DATE || extend == Q7_TYPE_TIME ||
          extend == Q7_TYPE_DATETIME) {
        return extend;
      }
      return -1;
    }
    default:
      return -1;
  }
}

CsvColumnPrinter::CsvColumnPrinter(TFilter* filter, const CsvColumnOptions& options)
    : type_(ValueType(filter)),
      numbers_(nullptr),
      record_count_(0),
      list_(nullptr),
      list_count_(0),
      list_data_(nullptr),
      unit_(0),
      prefetch_(false),
      pending_(nullptr),
      pending_count_(0),
      double_digits_(options.double_digits),
      date_separator_(options.date_separator),
      date_order_(options.date_order) {
  if (type_ < 0) throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  numbers_ = filter->PV->PIntAr();
  record_count_ = filter->PV->FArraySize;
  list_ = filter->VL;
  list_count_ = list_->FArraySize;
  list_data_ = static_cast<const char*>(list_->FData);
  unit_ = type_ == Q7_TYPE_INTEGER   ? sizeof(int32_t)
          : type_ == Q7_TYPE_DECIMAL ? sizeof(Numeric)
                                     : sizeof(double);
  prefetch_ = static_cast<size_t>(list_count_) * unit_ > kCachedListBytes;
  if (filter->TVL != nullptr && filter->TVL->GetDataType() == list_->GetDataType()) {
    pending_ = filter->TVL;
    pending_count_ = pending_->FArraySize;
  }
  if (type_ == Q7_TYPE_DOUBLE && double_digits_ == -1) {
    double_digits_ = static_cast<int8_t>(list_->FUserArea[5]) + 3;
  }
  if (type_ == Q7_TYPE_DECIMAL) {
    // The list's scale and mode straight from its attribute block: TNumericArray::GetScale
    // refreshes a cache, which workers printing the same list at once must not do.
    const NumericInfo own{static_cast<int8_t>(list_->FUserArea[6]), list_->FUserArea[7]};
    decimal_info_ = own;
    decimal_digits_ = own.scale;
    if (options.decimal_digits >= 0) {
      decimal_digits_ = options.decimal_digits;
      if (options.decimal_mode >= 0 && options.decimal_mode <= 6)
        decimal_info_.roundingMode = options.decimal_mode;
    }
  }
}

void CsvColumnPrinter::PrepareForRows(int64_t rows) {
  if (list_count_ > kMaxCachedValues || int64_t{list_count_} * 4 > rows) return;
  CsvLine texts(static_cast<size_t>(list_count_) * 8);
  ZpkVector<uint32_t> offsets(static_cast<size_t>(list_count_) + 1);
  for (int i = 0; i < list_count_; ++i) {
    offsets[static_cast<size_t>(i)] = static_cast<uint32_t>(texts.size());
    AppendEntry(list_, i, texts);
    // Decimals may print up to 1023 bytes each; a list whose texts pass 4 GiB keeps no cache.
    if (texts.size() > UINT32_MAX - kDecimalArea) return;
  }
  offsets[static_cast<size_t>(list_count_)] = static_cast<uint32_t>(texts.size());
  cache_text_.assign(texts.data(), texts.data() + texts.size());
  cache_text_.resize(cache_text_.size() + kShortCopy);
  cache_offsets_ = std::move(offsets);
  prefetch_ = false;
}

const TBaseArray* CsvColumnPrinter::Locate(int rec, int* index) const {
  if (rec < 1 || rec >= record_count_) ThrowOutOfRange();
  const int number = numbers_[rec];
  if (number >= 0) {
    if (number >= list_count_) ThrowOutOfRange();
    *index = number;
    return list_;
  }
  // -number would overflow for INT_MIN; compare on the negative side instead.
  if (pending_ == nullptr || number <= -pending_count_) ThrowOutOfRange();
  *index = -number;
  return pending_;
}

void CsvColumnPrinter::Append(int rec, CsvLine& line) const {
  int index = 0;
  const TBaseArray* list = Locate(rec, &index);
  if (list == list_ && !cache_offsets_.empty()) {
    const uint32_t begin = cache_offsets_[static_cast<size_t>(index)];
    const size_t length = cache_offsets_[static_cast<size_t>(index) + 1] - begin;
    char* p = line.Room(length + kShortCopy);
    // Most texts are short: one fixed-size copy (the cache is padded for it) instead of a call.
    if (length <= kShortCopy) {
      memcpy(p, cache_text_.data() + begin, kShortCopy);
    } else {
      memcpy(p, cache_text_.data() + begin, length);
    }
    line.SetEnd(p + length);
    return;
  }
  AppendEntry(list, index, line);
}

void CsvColumnPrinter::AppendNull(CsvLine& line) const {
  if (list_count_ < 1) ThrowOutOfRange();
  AppendEntry(list_, 0, line);
}

void CsvColumnPrinter::AppendEntry(const TBaseArray* list, int index, CsvLine& line) const {
  switch (type_) {
    case Q7_TYPE_INTEGER: {
      const int v = static_cast<const int*>(list->FData)[index];
      if (v == INT_MIN) return;
      char* p = line.Room(12);
      line.SetEnd(std::to_chars(p, p + 12, v).ptr);
      return;
    }
    case Q7_TYPE_DOUBLE: {
      const double x = static_cast<const double*>(list->FData)[index];
      if (x == -HUGE_VAL) return;
      if (x > -kFixedLimit && x < kFixedLimit) {
        const int digits = double_digits_ < 0 ? 6 : double_digits_;
        const size_t room = kFixedRoom + static_cast<size_t>(digits);
        char* p = line.Room(room);
        char* end = digits <= kMaxShortFixed ? PrintShortFixed(x, digits, p) : nullptr;
        line.SetEnd(end != nullptr ? end
                                   : std::to_chars(p, p + room, x, std::chars_format::fixed, digits).ptr);
      } else if (std::isfinite(x)) {
        char* p = line.Room(kDateTimeRoom);
        char* end = std::to_chars(p, p + kDateTimeRoom, x, std::chars_format::scientific, 13).ptr;
        for (char* q = p; q < end; ++q) {
          if (*q == 'e') *q = 'E';
        }
        line.SetEnd(end);
      } else {
        char* p = line.Room(kDateTimeRoom);
        const int n = snprintf(p, kDateTimeRoom, "%0.13E", x);
        line.SetEnd(p + (n > 0 ? n : 0));
      }
      return;
    }
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME: {
      const double x = static_cast<const double*>(list->FData)[index];
      char* p = line.Room(kDateTimeRoom);
      if (type_ == Q7_TYPE_DATE) {
        Double2DateStrInOrder(x, p, date_separator_, date_order_);
      } else if (type_ == Q7_TYPE_TIME) {
        Double2TimeStr(x, p);
      } else {
        Double2DateTimeStrInOrder(x, p, date_separator_, date_order_);
      }
      line.SetEnd(p + strlen(p));
      return;
    }
    case Q7_TYPE_STRING: {
      const auto* texts = static_cast<const TStrArray*>(list);
      const char* text = texts->FStrArea != nullptr ? texts->FStrArea + texts->Offsets()[index] : "";
      const size_t length = strlen(text);
      size_t quotes = 0;
      for (const char* q = static_cast<const char*>(memchr(text, '"', length)); q != nullptr;
           q = static_cast<const char*>(memchr(q + 1, '"', length - static_cast<size_t>(q + 1 - text)))) {
        ++quotes;
      }
      char* p = line.Room(length + quotes + 2);
      *p++ = '"';
      if (quotes == 0) {
        memcpy(p, text, length);
        p += length;
      } else {
        for (size_t i = 0; i < length; ++i) {
          *p++ = text[i];
          if (text[i] == '"') *p++ = '"';
        }
      }
      *p++ = '"';
      line.SetEnd(p);
      return;
    }
    case Q7_TYPE_DECIMAL: {
      const Numeric& v = static_cast<const Numeric*>(list->FData)[index];
      if (q7num::IsNan(v)) return;
      char* p = line.Room(kDecimalArea);
      const int64_t count = static_cast<int64_t>(v.low);
      if (v.high == (count >> 63) && decimal_digits_ == decimal_info_.scale && decimal_digits_ >= 0 &&
          decimal_digits_ <= kMaxShortScale) {
        line.SetEnd(PrintShortDecimal(count, decimal_digits_, p));
        return;
      }
      if (q7num::NumericNum2Str(&v, &decimal_info_, 0, decimal_digits_, p, kDecimalArea) < 0) return;
      line.SetEnd(p + strlen(p));
      return;
    }
    default:
      return;
  }
}

// Typed field buffers: one catalog field's converted values while a source file is parsed.
#include "import/CField.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/FailureCode.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "import/ImportTask.h"
#include "import/ImportText.h"
#include "values/Accommodation.h"
#include "values/CCompiler.h"
#include "values/DateTime.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

static_assert(sizeof(char*) == sizeof(uint64_t), "string elements hold a text address in 8 bytes");

namespace {

constexpr int32_t kIntNull = INT32_MIN;

// The text a number converter sees: past leading blanks and commas, every later comma dropped
// (thousands separators). The caller's text is never written: commas go through a copy.
class NumberText {
 public:
  explicit NumberText(const char* text) {
    const char* t = text == nullptr ? "" : text;
    while (*t == ' ' || *t == ',') ++t;
    if (strchr(t, ',') == nullptr) {
      text_ = t;
      return;
    }
    const size_t n = strlen(t);
    char* out = n < sizeof(local_) ? local_ : (heap_.resize(n + 1), heap_.data());
    char* o = out;
    for (; *t != '\0'; ++t) {
      if (*t != ',') *o++ = *t;
    }
    *o = '\0';
    text_ = out;
  }
  const char* get() const { return text_; }
  bool empty() const { return *text_ == '\0'; }

 private:
  const char* text_ = nullptr;
  char local_[4097];
  std::string heap_;
};

bool OnlyBlanks(const char* p) {
  while (*p == ' ') ++p;
  return *p == '\0';
}

// Quick readers for the plain forms of numbers, tried on the caller's text before NumberText and
// the general converters. Each takes a text only when the general road would give the same value
// without error under either check (so the text holds no comma and starts with no blank); for
// anything else it answers false and the general road reads the text.

// An optional sign, 1 to 9 digits, then nothing but blanks.
bool ReadPlainInt(const char* text, int32_t* out) {
  const char* p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const char* digits = p;
  uint32_t v = 0;
  while (static_cast<unsigned>(*p - '0') <= 9 && p - digits < 10)
    v = v * 10 + static_cast<uint32_t>(*p++ - '0');
  if (p == digits || p - digits > 9) return false;
  while (*p == ' ') ++p;
  if (*p != '\0') return false;
  *out = negative ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
  return true;
}

// An optional '-', then digits, '.' and an exponent, then nothing but blanks; from_chars rounds
// correctly, as strtod does. Out-of-range values are left to strtod.
bool ReadPlainDouble(const char* text, double* out) {
  const char* p = text;
  if (*p == '-') ++p;
  if (static_cast<unsigned>(*p - '0') > 9 && *p != '.') return false;
  while (static_cast<unsigned>(*p - '0') <= 9 || *p == '.' || *p == 'e' || *p == 'E' || *p == '+' ||
         *p == '-')
    ++p;
  const char* number_end = p;
  while (*p == ' ') ++p;
  if (*p != '\0') return false;
  double v = 0;
  const std::from_chars_result r = std::from_chars(text, number_end, v);
  if (r.ec != std::errc() || r.ptr != number_end || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

size_t ElementBytes(int64_t elements, int width) {
  return static_cast<size_t>(elements) * static_cast<size_t>(width);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CField

CField::CField(int check, int type, int width, const char* name)
    : m_nCheck(check), m_nType(type), m_nWidth(width) {
  setFilterName(name);
}
CField::CField(int type, int width) : CField(0, type, width, nullptr) {}
CField::CField(int check, int type, int width) : CField(check, type, width, nullptr) {}

CField::~CField() {
  if (m_pData != nullptr) zpk_scratch_give(m_pData, m_nBlockBytes);
  delete m_pVNo;
  delete m_pVList;
}

void CField::setFilterName(const char* name) {
  qz7_strlcpy(m_szName, name == nullptr ? "" : name, sizeof m_szName);
}

// Element blocks are scratch blocks: the parallel import makes and drops one per chunk and field
// at every import, and a kept block spares the kernel zeroing its fresh pages again.
void CField::ResizeElements(int capacity) {
  const bool fresh = m_pData == nullptr;
  const size_t bytes = ElementBytes(static_cast<int64_t>(capacity) + 1, m_nWidth);
  if (fresh || bytes > m_nBlockBytes) {
    // A block that grows takes half as much again as it had, so that rows arriving a few at a
    // time past an estimate never copy the block at each step.
    const size_t want = fresh ? bytes : std::max(bytes, m_nBlockBytes + m_nBlockBytes / 2);
    size_t block_bytes = 0;
    void* block = zpk_scratch_take(want, &block_bytes);
    if (!fresh) {
      memcpy(block, m_pData,
             ElementBytes(static_cast<int64_t>(std::min(m_nCapacity, capacity)) + 1, m_nWidth));
      zpk_scratch_give(m_pData, m_nBlockBytes);
    }
    m_pData = block;
    m_nBlockBytes = block_bytes;
  }
  m_nCapacity = capacity;
  if (fresh) {
    m_nStored = 0;
    PutNulls(0, 1);
  }
  m_nStored = std::min(m_nStored, m_nCapacity);
}

int CField::alloc(int rows) {
  if (rows < 1) return 0;
  if (rows == INT_MAX) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  size_t block_bytes = 0;
  void* block = zpk_scratch_take(ElementBytes(static_cast<int64_t>(rows) + 1, m_nWidth), &block_bytes);
  if (m_pData != nullptr) zpk_scratch_give(m_pData, m_nBlockBytes);
  m_pData = block;
  m_nBlockBytes = block_bytes;
  m_nCapacity = rows;
  m_nRows = 0;
  m_nStored = 0;
  PutNulls(0, 1);
  return m_nCapacity;
}

int CField::CreateMemCache(int rows) {
  const int capacity = alloc(rows);
  if (capacity > 0) m_nCacheRows = rows;
  return capacity;
}

int CField::realloc(int rows) {
  if (rows < 1) return m_nCapacity;
  if (rows >= INT_MAX - m_nCapacity) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  ResizeElements(m_nCapacity + rows);
  return m_nCapacity;
}

void CField::FillUnstored() {
  if (m_nRows > m_nStored) {
    PutNulls(m_nStored + 1, m_nRows + 1);
    m_nStored = m_nRows;
  }
}

int CField::merge(CField* other) {
  if (other == nullptr || other == this || other->m_nType != m_nType || other->m_nWidth != m_nWidth)
    return Q7_ERROR_FILTER_TYPE_MISMATCH;
  const int a = m_nRows;
  const int b = other->m_nRows;
  if (a < 0 || a > m_nCapacity || b < 0 || b > other->m_nCapacity) return Q7_ERROR_INVALID_PARAMETER;
  if (static_cast<int64_t>(a) + b + 5 >= INT_MAX) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  other->FillUnstored();
  FillUnstored();
  ResizeElements(a + b + 5);
  if (b > 0) memcpy(Element(a + 1), other->Element(1), ElementBytes(b, m_nWidth));
  m_nRows = a + b;
  m_nStored = a + b;
  return m_nCapacity;
}

void CField::SetListAttributes(TBaseArray*) const {}

int CField::Compile() {
  const int n = m_nRows;
  if (n < 0 || n > m_nCapacity) {
    m_nRows = 0;
    return Q7_ERROR_INVALID_PARAMETER;
  }
  int* numbers = nullptr;
  void* raw_list = nullptr;
  TIntArray* vno = nullptr;
  TBaseArray* list = nullptr;
  TIntArray* all = nullptr;
  try {
    if (m_pData == nullptr) ResizeElements(0);  // a buffer never given rows still compiles its NULL
    FillUnstored();
    int count = 0;
    ::Compile(n + 1, m_nType, m_nWidth, RawForUse(n), &numbers, &count, &raw_list);
    vno = new TIntArray(n + 1, numbers);
    numbers = nullptr;
    list = MakeValueList(count, raw_list);
    raw_list = nullptr;
    SetListAttributes(list);
    if (m_pVNo == nullptr) {
      m_pVNo = vno;
      m_pVList = list;
    } else if (n > 0) {
      const int held = m_nCompiledRows;
      // Made before the merge renumbers anything, so that no failure can leave the held value
      // numbers renumbered against a list that is then not replaced.
      all = new TIntArray(held + n + 1, 0);
      TBaseArray* merged = nullptr;
      if (AccommodationMain(m_pVNo, m_pVList, vno, list, &merged) != 0 && merged != nullptr) {
        CopyListAttributes(m_pVList, merged);
        delete m_pVList;
        m_pVList = merged;
      }
      int* d = all->PIntAr();
      d[0] = 0;
      memcpy(d + 1, m_pVNo->PIntAr() + 1, sizeof(int) * static_cast<size_t>(held));
      memcpy(d + 1 + held, vno->PIntAr() + 1, sizeof(int) * static_cast<size_t>(n));
      delete m_pVNo;
      m_pVNo = all;
      all = nullptr;
      delete vno;
      delete list;
    } else {
      delete vno;
      delete list;
    }
    vno = nullptr;
    list = nullptr;
    m_nCompiledRows += n;
    m_nRows = 0;
    m_nStored = 0;
    AfterCompile();
    return 0;
  } catch (...) {
    zpk_free(numbers);
    zpk_free(raw_list);
    delete vno;
    delete list;
    delete all;
    m_nRows = 0;
    m_nStored = 0;
    AfterCompile();
    return CurrentFailureCode();
  }
}

void CField::TakeCompiled(TIntArray** vno, TBaseArray** list, int* rows) {
  if (vno != nullptr) *vno = m_pVNo;
  if (list != nullptr) *list = m_pVList;
  if (rows != nullptr) *rows = m_nCompiledRows;
  m_pVNo = nullptr;
  m_pVList = nullptr;
  m_nCompiledRows = 0;
}

const void* CField::RawRows() {
  if (m_pData == nullptr) ResizeElements(0);
  FillUnstored();
  return Element(1);
}

TBaseArray* CField::NewValueList(int count, void* list) {
  TBaseArray* made;
  try {
    made = MakeValueList(count, list);
  } catch (...) {
    zpk_free(list);
    throw;
  }
  SetListAttributes(made);
  return made;
}

int CField::write2DB(int table) {
  ImportTaskServices* task = ImportTask();
  if (task == nullptr) return Q7_ERROR_UNKNOWN;
  const int n = m_nRows;
  if (n < 0 || n > m_nCapacity) return Q7_ERROR_INVALID_PARAMETER;
  return CodedResult([&] {
    if (n == 0) return task->AddRealFilter2(table, m_nFilterPos, m_szName, m_nType, 0, m_nWidth, nullptr);
    FillUnstored();
    RawForUse(n);
    const int r = task->AddRealFilter2(table, m_nFilterPos, m_szName, m_nType, n, m_nWidth, Element(1));
    AfterUse(n);
    return r;
  });
}

int CField::append2DB(int table, int filter, int position) {
  ImportTaskServices* task = ImportTask();
  if (task == nullptr) return Q7_ERROR_UNKNOWN;
  const int n = m_nRows;
  if (n < 0 || n > m_nCapacity) return Q7_ERROR_INVALID_PARAMETER;
  if (n == 0) return 0;
  return CodedResult([&] {
    FillUnstored();
    RawForUse(n);
    const int r = task->AppendRealFilter2(table, filter, m_nType, position, n, Element(1));
    AfterUse(n);
    return r;
  });
}

int CField::append2DBNumeric(int table, int filter, int position, int scale, int mode) {
  ImportTaskServices* task = ImportTask();
  if (task == nullptr) return Q7_ERROR_UNKNOWN;
  const int n = m_nRows;
  if (n < 0 || n > m_nCapacity) return Q7_ERROR_INVALID_PARAMETER;
  if (n == 0) return 0;
  return CodedResult([&] {
    FillUnstored();
    RawForUse(n);
    const int r =
        task->AppendRealFilter2Numeric(table, filter, m_nType, position, n, scale, mode, Element(1));
    AfterUse(n);
    return r;
  });
}

// ---------------------------------------------------------------------------------------------
// INTEGER

CInt_Field::CInt_Field() : CField(Q7_TYPE_INTEGER, 4) {}
CInt_Field::CInt_Field(int rows) : CField(Q7_TYPE_INTEGER, 4) { alloc(rows); }
CInt_Field::CInt_Field(int check, const char* name) : CField(check, Q7_TYPE_INTEGER, 4, name) {}
CInt_Field::CInt_Field(int check, int rows, const char* name) : CField(check, Q7_TYPE_INTEGER, 4, name) {
  alloc(rows);
}

void CInt_Field::PutNulls(int from, int to) {
  int32_t* d = static_cast<int32_t*>(m_pData);
  std::fill(d + from, d + to, kIntNull);
}

int CInt_Field::Str2Data(int row, const char* text) {
  if (!ClaimRow(row)) return Q7_ERROR_NULL_DATA;
  int32_t* d = static_cast<int32_t*>(m_pData);
  if (text != nullptr && ReadPlainInt(text, &d[row + 1])) return 0;
  return Str2DataGeneral(row, text);
}

[[gnu::noinline]] int CInt_Field::Str2DataGeneral(int row, const char* text) {
  int32_t* d = static_cast<int32_t*>(m_pData);
  const NumberText t(text);
  if (t.empty()) {
    d[row + 1] = kIntNull;
    return 0;
  }
  int err = 0;
  d[row + 1] = Str2Int(t.get(), m_nCheck, &err);
  return err != 0 && m_nCheck != 0 ? Q7_ERROR_INVALID_DATA : 0;
}

TBaseArray* CInt_Field::MakeValueList(int count, void* list) { return new TIntArray(count, list); }

// ---------------------------------------------------------------------------------------------
// DOUBLE, DATE, TIME, DATETIME

CDouble_Field::CDouble_Field() : CField(Q7_TYPE_DOUBLE, 8) {}
CDouble_Field::CDouble_Field(int rows) : CField(Q7_TYPE_DOUBLE, 8) { alloc(rows); }
CDouble_Field::CDouble_Field(int check, const char* name) : CField(check, Q7_TYPE_DOUBLE, 8, name) {}
CDouble_Field::CDouble_Field(int check, int rows, const char* name) : CField(check, Q7_TYPE_DOUBLE, 8, name) {
  alloc(rows);
}
CDouble_Field::CDouble_Field(int check, int type, int rows, const char* name) : CField(check, type, 8, name) {
  alloc(rows);
}

void CDouble_Field::PutNulls(int from, int to) {
  double* d = static_cast<double*>(m_pData);
  std::fill(d + from, d + to, kDateTimeNull);
}

double CDouble_Field::Convert(const char* text, int* err) const {
  // The text export writes a plus infinity so, and a table's own export must import again.
  if (IsExportedInfinity(text)) {
    if (err != nullptr) *err = 0;
    return HUGE_VAL;
  }
  return Str2Double(text, m_nCheck, err);
}

int CDouble_Field::Str2Data(int row, const char* text) {
  if (!ClaimRow(row)) return Q7_ERROR_NULL_DATA;
  double* d = static_cast<double*>(m_pData);
  if (text != nullptr) {
    if (m_nType == Q7_TYPE_DOUBLE && ReadPlainDouble(text, &d[row + 1])) return 0;
    if (m_nType == Q7_TYPE_DATE && (m_nDateFormat == 1 || m_nDateFormat == 2) &&
        ReadPlainYmd(text, m_nDateFormat == 1 ? '/' : '-', &d[row + 1]))
      return 0;
  }
  return Str2DataGeneral(row, text);
}

[[gnu::noinline]] int CDouble_Field::Str2DataGeneral(int row, const char* text) {
  double* d = static_cast<double*>(m_pData);
  const NumberText t(text);
  if (t.empty()) {
    d[row + 1] = kDateTimeNull;
    return 0;
  }
  int err = 0;
  const double value = Convert(t.get(), &err);
  // A text the converter fails on is NULL, checked or not: a date of the right shape that is no
  // real date ("2024/02/30") must not become the converter's 0, 1899/12/30.
  d[row + 1] = err != 0 ? kDateTimeNull : value;
  return err != 0 && m_nCheck != 0 ? Q7_ERROR_INVALID_DATA : 0;
}

TBaseArray* CDouble_Field::MakeValueList(int count, void* list) { return new TDoubleArray(count, list); }

void CDouble_Field::SetListAttributes(TBaseArray* list) const {
  TDoubleArray* d = static_cast<TDoubleArray*>(list);
  d->SetExtendType(m_nType);
  d->SetDispType(m_nDateFormat, m_nTimeFormat);
}

CDate_Field::CDate_Field() : CDouble_Field(0, Q7_TYPE_DATE, 0, nullptr) {}
CDate_Field::CDate_Field(int rows) : CDouble_Field(0, Q7_TYPE_DATE, rows, nullptr) {}
CDate_Field::CDate_Field(int check, const char* name) : CDouble_Field(check, Q7_TYPE_DATE, 0, name) {}
CDate_Field::CDate_Field(int check, int rows, const char* name)
    : CDouble_Field(check, Q7_TYPE_DATE, rows, name) {}

double CDate_Field::Convert(const char* text, int* err) const {
  if (m_nDateFormat != 0) return Str2DateExType(text, m_nDateFormat, m_nCheck, err);
  switch (CurrentDateOrder()) {
    case 1:
      return Str2DateDDMMYYYY(text, m_nCheck, err);
    case 2:
      return Str2DateMMDDYYYY(text, m_nCheck, err);
    default:
      return Str2Date(text, m_nCheck, err);
  }
}

CTime_Field::CTime_Field() : CDouble_Field(0, Q7_TYPE_TIME, 0, nullptr) {}
CTime_Field::CTime_Field(int rows) : CDouble_Field(0, Q7_TYPE_TIME, rows, nullptr) {}
CTime_Field::CTime_Field(int check, const char* name) : CDouble_Field(check, Q7_TYPE_TIME, 0, name) {}
CTime_Field::CTime_Field(int check, int rows, const char* name)
    : CDouble_Field(check, Q7_TYPE_TIME, rows, name) {}

double CTime_Field::Convert(const char* text, int* err) const {
  if (m_nTimeFormat != 0) return Str2TimeExType(text, m_nTimeFormat, m_nCheck, err);
  return Str2Time(text, m_nCheck, err);
}

CDateTime_Field::CDateTime_Field() : CDouble_Field(0, Q7_TYPE_DATETIME, 0, nullptr) {}
CDateTime_Field::CDateTime_Field(int rows) : CDouble_Field(0, Q7_TYPE_DATETIME, rows, nullptr) {}
CDateTime_Field::CDateTime_Field(int check, const char* name)
    : CDouble_Field(check, Q7_TYPE_DATETIME, 0, name) {}
CDateTime_Field::CDateTime_Field(int check, int rows, const char* name)
    : CDouble_Field(check, Q7_TYPE_DATETIME, rows, name) {}

double CDateTime_Field::Convert(const char* text, int* err) const {
  if (m_nDateFormat != 0) return Str2DateTimeExType(text, m_nDateFormat, m_nTimeFormat, m_nCheck, err);
  if (m_bBadPartIsNull && m_nCheck == 0) return Str2DateTimeOrNull(text, CurrentDateOrder(), err);
  switch (CurrentDateOrder()) {
    case 1:
      return Str2DateTimeDDMMYYYY(text, m_nCheck, err);
    case 2:
      return Str2DateTimeMMDDYYYY(text, m_nCheck, err);
    default:
      return Str2DateTime(text, m_nCheck, err);
  }
}

// ---------------------------------------------------------------------------------------------
// STRING
//
// While rows are being stored, element r + 1 holds the text's pool offset + 1 (0: the empty text),
// so that the pool may move when it grows and a row stored again simply points at its new text.
// RawForUse turns the offsets into addresses for the compiler and the table, AfterUse back.

char* CStr_Field::NullText() {
  static char empty[1] = {'\0'};
  return empty;
}

CStr_Field::CStr_Field() : CField(Q7_TYPE_STRING, 8) {}
CStr_Field::CStr_Field(int rows) : CField(Q7_TYPE_STRING, 8) { alloc(rows); }
CStr_Field::CStr_Field(int check, const char* name) : CField(check, Q7_TYPE_STRING, 8, name) {}
CStr_Field::CStr_Field(int check, int rows, const char* name) : CField(check, Q7_TYPE_STRING, 8, name) {
  alloc(rows);
}

CStr_Field::~CStr_Field() { zpk_free(m_pPool); }

int CStr_Field::alloc(int rows) {
  if (rows < 1) return 0;
  const int64_t pool = std::max<int64_t>(kMinPool, static_cast<int64_t>(m_nAverage) * rows);
  char* block = static_cast<char*>(zpk_malloc(static_cast<size_t>(pool) + 1));
  try {
    CField::alloc(rows);
  } catch (...) {
    zpk_free(block);
    throw;
  }
  zpk_free(m_pPool);
  m_pPool = block;
  m_nPoolCapacity = pool;
  m_nPoolUsed = 0;
  return m_nCapacity;
}

void CStr_Field::PutNulls(int from, int to) {
  uint64_t* d = static_cast<uint64_t*>(m_pData);
  std::fill(d + from, d + to, uint64_t{0});
}

void CStr_Field::AvrStrLen(const char* sample, int halve) {
  const int64_t len = sample == nullptr ? 0 : static_cast<int64_t>(strnlen(sample, kMaxAverage + 1));
  int64_t estimate = len + m_nAverage + 1;
  if (halve != 0) estimate /= 2;
  m_nAverage = static_cast<int32_t>(std::clamp<int64_t>(estimate, kMinAverage, kMaxAverage));
}

void CStr_Field::GrowPool(size_t needed) {
  const int64_t need = static_cast<int64_t>(needed);
  int64_t capacity;
  if (m_nStored > 0) {
    const int64_t average = std::max<int64_t>(1, m_nPoolCapacity / m_nStored);
    // Without an owner to ask, expect as many rows again as are stored: the pool then at least
    // doubles, which keeps the growth steps few on any source.
    int64_t remaining = m_pOwner != nullptr ? m_pOwner->RemainingRowsEstimate(m_nStored, average) : m_nStored;
    remaining = std::clamp<int64_t>(remaining, 0, (int64_t{1} << 40) / average);
    capacity = m_nPoolCapacity + std::max<int64_t>(kMinPool, remaining * average);
    if (m_nPoolUsed + need > capacity) capacity = m_nPoolUsed + need + 10;
  } else {
    capacity = std::max<int64_t>(kMinPool, m_nPoolUsed + need + 10);
  }
  m_pPool = static_cast<char*>(zpk_realloc(m_pPool, static_cast<size_t>(capacity) + 1));
  m_nPoolCapacity = capacity;
}

int CStr_Field::Str2Data(int row, const char* text) {
  if (m_pData == nullptr || row < 0 || row >= m_nCapacity) return Q7_ERROR_NULL_DATA;
  const size_t len = text == nullptr ? 0 : strlen(text);
  uint64_t value = 0;
  if (len > 0) {
    if (m_pPool == nullptr || m_nPoolUsed + static_cast<int64_t>(len) + 1 > m_nPoolCapacity)
      GrowPool(len + 1);
    memcpy(m_pPool + m_nPoolUsed, text, len + 1);
    value = static_cast<uint64_t>(m_nPoolUsed) + 1;
    m_nPoolUsed += static_cast<int64_t>(len) + 1;
  }
  ClaimRow(row);
  static_cast<uint64_t*>(m_pData)[row + 1] = value;
  return 0;
}

void* CStr_Field::RawForUse(int n) {
  uint64_t* d = static_cast<uint64_t*>(m_pData);
  d[0] = reinterpret_cast<uint64_t>(NullText());
  for (int i = 1; i <= n; ++i) {
    const char* p = d[i] == 0 ? NullText() : m_pPool + (d[i] - 1);
    d[i] = reinterpret_cast<uint64_t>(p);
  }
  return m_pData;
}

void CStr_Field::AfterUse(int n) {
  uint64_t* d = static_cast<uint64_t*>(m_pData);
  d[0] = 0;
  for (int i = 1; i <= n; ++i) {
    const char* p = reinterpret_cast<const char*>(d[i]);
    d[i] = p == NullText() ? 0 : static_cast<uint64_t>(p - m_pPool) + 1;
  }
}

void CStr_Field::AfterCompile() {
  // The value list holds copies of the texts: the next window refills the pool from the start.
  if (m_pData != nullptr) static_cast<uint64_t*>(m_pData)[0] = 0;
  m_nPoolUsed = 0;
}

TBaseArray* CStr_Field::MakeValueList(int count, void* list) { return new TStrArray(count, list); }

int CStr_Field::merge(CField* other) {
  CStr_Field* o = dynamic_cast<CStr_Field*>(other);
  if (o == nullptr || o == this) return Q7_ERROR_FILTER_TYPE_MISMATCH;
  const int a = m_nRows;
  const int b = o->m_nRows;
  if (a < 0 || a > m_nCapacity || b < 0 || b > o->m_nCapacity) return Q7_ERROR_INVALID_PARAMETER;
  const int64_t base = m_nPoolUsed;
  if (o->m_nPoolUsed > 0) {
    if (m_pPool == nullptr || base + o->m_nPoolUsed > m_nPoolCapacity) {
      m_pPool = static_cast<char*>(zpk_realloc(m_pPool, static_cast<size_t>(base + o->m_nPoolUsed) + 1));
      m_nPoolCapacity = base + o->m_nPoolUsed;
    }
    memcpy(m_pPool + base, o->m_pPool, static_cast<size_t>(o->m_nPoolUsed));
  }
  const int r = CField::merge(other);
  if (r < 0) return r;
  uint64_t* d = static_cast<uint64_t*>(m_pData);
  for (int i = a + 1; i <= a + b; ++i) {
    if (d[i] != 0) d[i] += static_cast<uint64_t>(base);
  }
  m_nPoolUsed = base + o->m_nPoolUsed;
  return r;
}

// ---------------------------------------------------------------------------------------------
// DECIMAL

CNumeric_Field::CNumeric_Field() : CField(Q7_TYPE_DECIMAL, 16) {}
CNumeric_Field::CNumeric_Field(int rows) : CField(Q7_TYPE_DECIMAL, 16) { alloc(rows); }
CNumeric_Field::CNumeric_Field(int check, const char* name) : CField(check, Q7_TYPE_DECIMAL, 16, name) {}
CNumeric_Field::CNumeric_Field(int check, int rows, const char* name)
    : CField(check, Q7_TYPE_DECIMAL, 16, name) {
  alloc(rows);
}

void CNumeric_Field::PutNulls(int from, int to) {
  Numeric* d = static_cast<Numeric*>(m_pData);
  std::fill(d + from, d + to, q7num::NanNumeric());
}

int CNumeric_Field::Str2Data(int row, const char* text) {
  if (!ClaimRow(row)) return Q7_ERROR_NULL_DATA;
  Numeric* d = static_cast<Numeric*>(m_pData);
  Numeric v;
  const char* end = nullptr;
  if (text != nullptr && *text != ' ' && *text != ',' && *text != '\0') {
    // Read where it lies; a text that reads cleanly and holds no comma is what NumberText would
    // have handed over unchanged.
    const int status = q7num::NumericStr2Num(text, &m_info, &v, &end);
    if (status >= 0 && !q7num::IsNan(v) && end != nullptr && OnlyBlanks(end) &&
        std::memchr(text, ',', static_cast<size_t>(end - text)) == nullptr) {
      d[row + 1] = v;
      return 0;
    }
  }
  return Str2DataGeneral(row, text);
}

[[gnu::noinline]] int CNumeric_Field::Str2DataGeneral(int row, const char* text) {
  Numeric* d = static_cast<Numeric*>(m_pData);
  Numeric v;
  const char* end = nullptr;
  const NumberText t(text);
  if (t.empty()) {
    d[row + 1] = q7num::NanNumeric();
    return 0;
  }
  const int status = q7num::NumericStr2Num(t.get(), &m_info, &v, &end);
  // Trailing blanks are padding (fixed-width sources), as the other number types take them.
  const bool failed = status < 0 || q7num::IsNan(v) || end == nullptr || !OnlyBlanks(end);
  d[row + 1] = failed ? q7num::NanNumeric() : v;
  return failed && m_nCheck != 0 ? Q7_ERROR_INVALID_DATA : 0;
}

TBaseArray* CNumeric_Field::MakeValueList(int count, void* list) { return new TNumericArray(count, list); }

void CNumeric_Field::SetListAttributes(TBaseArray* list) const {
  static_cast<TNumericArray*>(list)->SetDecimalInfo(m_info.scale, m_info.roundingMode);
}

// ---------------------------------------------------------------------------------------------

CField* CreateField(int type, int check, const char* name) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return new CInt_Field(check, name);
    case Q7_TYPE_DOUBLE:
      return new CDouble_Field(check, name);
    case Q7_TYPE_DATE:
      return new CDate_Field(check, name);
    case Q7_TYPE_TIME:
      return new CTime_Field(check, name);
    case Q7_TYPE_STRING:
      return new CStr_Field(check, name);
    case Q7_TYPE_DATETIME:
      return new CDateTime_Field(check, name);
    case Q7_TYPE_DECIMAL:
      return new CNumeric_Field(check, name);
    default:
      throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
}

const char* FieldTypeName(int type) {
  static const char* const kNames[] = {"INTEGER", "DOUBLE", "DATE", "TIME", "STRING", "DATETIME", "DECIMAL"};
  if (type < Q7_TYPE_INTEGER || type > Q7_TYPE_DECIMAL) return nullptr;
  return kNames[type - Q7_TYPE_INTEGER];
}

// ---------------------------------------------------------------------------------------------

void CPStr::setData(const char* text) {
  if (text == nullptr) return;
  setData(text, strnlen(text, kSize - 1));
}

void CPStr::setData(const char* text, size_t len) {
  if (text == nullptr) return;
  len = std::min(len, kSize - 1);
  memmove(m_szData, text, len);
  m_szData[len] = '\0';
}

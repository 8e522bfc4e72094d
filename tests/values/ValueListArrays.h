// Building and reading value-list arrays in the value-list tests.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/zpk_memory.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace vltest {

template <class T>
void* Block(const std::vector<T>& v) {
  void* p = zpk_malloc(sizeof(T) * (v.empty() ? 1 : v.size()));
  if (!v.empty()) memcpy(p, v.data(), sizeof(T) * v.size());
  return p;
}

inline std::unique_ptr<TIntArray> Ints(const std::vector<int32_t>& v) {
  return std::make_unique<TIntArray>(static_cast<int>(v.size()), Block(v));
}
inline std::unique_ptr<TDoubleArray> Doubles(const std::vector<double>& v, int extend = 3) {
  auto a = std::make_unique<TDoubleArray>(static_cast<int>(v.size()), Block(v));
  a->SetExtendType(extend);
  return a;
}
inline std::unique_ptr<TNumericArray> Decimals(const std::vector<Numeric>& v, int scale = 6, int mode = 4) {
  auto a = std::make_unique<TNumericArray>(static_cast<int>(v.size()), Block(v));
  a->SetDecimalInfo(scale, mode);
  return a;
}
inline std::unique_ptr<TStrArray> Texts(const std::vector<std::string>& v) {
  std::vector<const char*> p;
  for (const auto& s : v) p.push_back(s.c_str());
  return std::make_unique<TStrArray>(static_cast<int>(v.size()), static_cast<char**>(Block(p)));
}

inline std::vector<int32_t> IntsOf(TBaseArray* a) {
  const int32_t* p = static_cast<const int32_t*>(a->FData);
  return std::vector<int32_t>(p, p + a->FArraySize);
}
inline std::vector<double> DoublesOf(TBaseArray* a) {
  const double* p = static_cast<const double*>(a->FData);
  return std::vector<double>(p, p + a->FArraySize);
}
inline std::vector<std::string> TextsOf(TBaseArray* a) {
  auto* s = static_cast<TStrArray*>(a);
  std::vector<std::string> out;
  for (int i = 0; i < s->FArraySize; ++i) out.emplace_back(s->FStrArea + s->Offsets()[i]);
  return out;
}
inline std::vector<int64_t> DecimalsOf(TBaseArray* a) {  // low words (tests use small values)
  const Numeric* p = static_cast<const Numeric*>(a->FData);
  std::vector<int64_t> out;
  for (int i = 0; i < a->FArraySize; ++i)
    out.push_back(q7num::NumericIsNan(&p[i]) ? INT64_MIN : static_cast<int64_t>(p[i].low));
  return out;
}

}  // namespace vltest

// TFilterDscp: one field line of a checked-import catalog split into its parameters, in the order
// type letter, size, name, scale, rounding mode (a "SKIP" may stand anywhere but in the name's
// place).
//
// Failures throw CQ7Exception(Q7_CATALOG_PARSE_ERROR) after a record in the correction log. One
// thread uses an object.
#pragma once

#include <cstdint>

class TCorrectLog;

class TFilterDscp {
 public:
  static constexpr int kMaxParams = 10;
  // A parameter holds at most kMaxParamLength characters; one more is refused.
  static constexpr int kMaxParamLength = 255;

  TFilterDscp();

  // Cuts the line at tabs into parameters; every parameter but the third (the field name) is then
  // upper-cased (AsciiUpper) and loses its blanks. Returns the count (0 for an empty line). A
  // parameter of 256 characters or more ("Error! Too long.") or an eleventh one ("Error! Too many
  // parameters.") is recorded in log (line, field 0, the line as ErrorString; log may be null)
  // and thrown; the object then holds no parameters.
  int DesolvePrms(int line, const char* text, TCorrectLog* log);
  // 1 when a parameter other than the third reads "SKIP", else 0.
  int SearchSKIP() const;

  int Count() const { return count_; }
  // Parameter i, or the empty text outside 0 .. Count() - 1.
  const char* Param(int i) const;

 private:
  int32_t count_;
  char params_[kMaxParams][kMaxParamLength + 3];
};

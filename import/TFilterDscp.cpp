// TFilterDscp: one field line of a checked-import catalog split into its parameters.
#include "import/TFilterDscp.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "import/CheckerText.h"
#include "import/TCorrectLog.h"
#include "q7api.h"

namespace {

constexpr int kNameParam = 2;

}  // namespace

TFilterDscp::TFilterDscp() : count_(0) { memset(params_, 0, sizeof params_); }

int TFilterDscp::DesolvePrms(int line, const char* text, TCorrectLog* log) {
  count_ = 0;
  if (text == nullptr || text[0] == '\0') return 0;
  int count = 0;
  const char* start = text;
  for (;;) {
    const char* tab = strchr(start, '\t');
    const size_t len = tab != nullptr ? static_cast<size_t>(tab - start) : strlen(start);
    const char* refusal = nullptr;
    if (count == kMaxParams) {
      refusal = "Error! Too many parameters.";
    } else if (len > static_cast<size_t>(kMaxParamLength)) {
      refusal = "Error! Too long.";
    }
    if (refusal != nullptr) {
      if (log != nullptr) log->AddData(line, 0, "", text, "", refusal);
      throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
    }
    char* param = params_[count];
    memcpy(param, start, len);
    param[len] = '\0';
    if (count != kNameParam) AsciiExcludeSpace(AsciiUpper(param));
    ++count;
    if (tab == nullptr) break;
    start = tab + 1;
  }
  count_ = count;
  return count_;
}

int TFilterDscp::SearchSKIP() const {
  for (int i = 0; i < count_; ++i) {
    if (i != kNameParam && strcmp(params_[i], "SKIP") == 0) return 1;
  }
  return 0;
}

const char* TFilterDscp::Param(int i) const { return i >= 0 && i < count_ ? params_[i] : ""; }

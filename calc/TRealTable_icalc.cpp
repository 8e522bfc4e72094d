// The real table's integrated-calculator requests: one TIntegratedCalc per request, held in ICalc
// while it runs and destroyed (ICalc cleared) on every path.
#include <cstdint>

#include "calc/TIntegratedCalc.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "values/TNumericArray.h"

namespace {

// The calculator of one request: whatever an earlier request left in ICalc is destroyed first.
class RequestCalc {
 public:
  explicit RequestCalc(TRealTable* table) {
    delete ICalc;
    ICalc = nullptr;
    calc_ = new TIntegratedCalc();
    calc_->FTableID = table->FTableID;
    calc_->FTable = table;
    ICalc = calc_;
  }
  ~RequestCalc() {
    if (ICalc == calc_) ICalc = nullptr;
    delete calc_;
  }
  RequestCalc(const RequestCalc&) = delete;
  RequestCalc& operator=(const RequestCalc&) = delete;

  TIntegratedCalc* operator->() const { return calc_; }

 private:
  TIntegratedCalc* calc_;
};

void Check(int rc) {
  if (rc != 0) throw CQ7Exception(rc);
}

bool Referred(TRealTable* table) {
  TTableCollection* owner = table->FileCollection();
  return owner != nullptr && owner->IsReferred(table->FTableID);
}

// The decimal info of decimal truth values and conversions, from the target filter: a decimal
// list's own scale and mode, a double list's digit setting plus 3, scale 6 with ROUNDHALFUP for
// a string filter. The serial request takes it too, so that its column equals the parallel one.
void TakeTargetDecimalInfo(TIntegratedCalc* calc) {
  TBaseArray* list = calc->FFilter->VL;
  switch (calc->FResultType) {
    case Q7_TYPE_DECIMAL:
      calc->FDecimalInfo = *static_cast<TNumericArray*>(list)->GetDecimalInfo();
      break;
    case Q7_TYPE_DOUBLE:
      calc->FDecimalInfo.scale = static_cast<int8_t>(list->FUserArea[5]) + 3;
      break;
    case Q7_TYPE_STRING:
      calc->FDecimalInfo = NumericInfo{6, Q7_ROUND_HALF_UP};
      break;
    default:
      break;
  }
}

}  // namespace

int TRealTable::IntegratedCalc(int set_id, int filter_id, int first_row, int count, const char* formula) {
  RequestCalc calc(this);
  if (Referred(this)) return Q7_ERROR_NOT_EDITABLE;
  try {
    Check(calc->Setup(set_id, filter_id, first_row, count, formula));
    TakeTargetDecimalInfo(calc.operator->());
    Check(calc->Parser());
    Check(calc->Run());
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  return 0;
}

int TRealTable::MppIntegratedCalc(int set_id, int filter_id, int first_row, int count, const char* formula) {
  RequestCalc calc(this);
  if (Referred(this)) {
    PutErrorLog("MppIntegratedCalc", Q7_ERROR_NOT_EDITABLE, "Failed to refere table ( result TableCanEdit )");
    return Q7_ERROR_NOT_EDITABLE;
  }
  try {
    Check(calc->Setup(set_id, filter_id, first_row, count, formula));
    TakeTargetDecimalInfo(calc.operator->());
    Check(calc->Parser());
    Check(calc->MppRun());
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  return 0;
}

int TRealTable::MppIntegratedCalcPtr(int set_id, int first_row, int count, const char* formula,
                                     int result_type, void* buffer, size_t size, char* string_area) {
  RequestCalc calc(this);
  try {
    Check(calc->SetupForPtr(set_id, first_row, count, formula, result_type));
    calc->FDecimalInfo = NumericInfo{6, Q7_ROUND_HALF_UP};
    Check(calc->Parser());
    Check(calc->MppRunForPtr(result_type, buffer, size, string_area));
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  return 0;
}

// The non-cube summary object: its construction (the serial road), the failure path its roads
// share, the work arrays' release and the output members, which hand on to the request, the join
// work arrays and the output writer.
#include "summary/noncube/TNonCubeSum.h"

#include <functional>
#include <string>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/FailureCode.h"

TNonCubeSum::TNonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                         const int* measures, const int* masks, const int* decimals) {
  try {
    result_ = -1;
    request_.Check(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals, true);
    if (request_.is_join()) request_.FillJoin();
    result_ = request_.is_join() ? NonCubeJoinDimNMsrN() : NonCubeRealDimN();
  } catch (const CQ7Exception& e) {
    result_ = e.ErrorCode();
    throw;
  }
}

TNonCubeSum::~TNonCubeSum() { InitJoinXSum(); }

void TNonCubeSum::InitJoinXSum() { join_work_.Clear(); }

void TNonCubeSum::RoadUndo::DropTempSet() {
  if (temp_set > 0) {
    source->DelSetForce(temp_set);
    source->SetCurrentSetID(restore_set);
    temp_set = 0;
  }
}

int TNonCubeSum::FailRoad(RoadUndo* undo, int code) {
  InitJoinXSum();
  undo->DropTempSet();
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (undo->out_id > 0 && db != nullptr) db->DelTable(undo->out_id);
  undo->out_id = 0;
  output_.SetTable(nullptr);
  return code;
}

int TNonCubeSum::RunRoad(RoadUndo* undo, const std::function<int()>& body) {
  try {
    return body();
  } catch (...) {
    return FailRoad(undo, CurrentNegativeFailureCode());
  }
}

void TNonCubeSum::SetupSummaryInfo(int out_column_id, int source_column_id, int kind, int bit) {
  output_.SetupSummaryInfo(request_, out_column_id, source_column_id, kind, bit);
}

int TNonCubeSum::RepeatFirstCount(const std::string& column) { return output_.RepeatFirstCount(column); }

int TNonCubeSum::PutMaxMinFilter(int kind, int decimals, int n_rows, int* value_numbers, TFilter* measure) {
  return output_.PutMaxMinFilter(request_, kind, decimals, n_rows, value_numbers, measure);
}

int TNonCubeSum::PutMaxMinFilter(int kind, int /*decimals*/, int n_rows, int* value_numbers, TFilter* measure,
                                 TFilter** out) {
  const char* name = measure != nullptr ? measure->FFilterName : "";
  return NonCubeOutput::MaxMinColumn(kind, n_rows, value_numbers, name, measure, out);
}

int TNonCubeSum::PutJTableMaxMinFilter(int kind, int /*decimals*/, int n_rows, int* value_numbers, char* name,
                                       TFilter* measure, TFilter** out) {
  return NonCubeOutput::MaxMinColumn(kind, n_rows, value_numbers, name != nullptr ? name : "", measure, out);
}

int TNonCubeSum::RegCount(const char* name) {
  return output_.RegCount(name, join_work_.out_row_count(), join_work_.out_counts());
}

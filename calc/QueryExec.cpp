// The checking passes of a query tree, its execution and its dump.
#include <locale.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "calc/QueryTree.h"
#include "database/SearchCodes.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "kernels/SetOps.h"
#include "values/ArrayFunctions.h"
#include "values/DateTime.h"
#include "values/NumericText.h"
#include "values/TNumericArray.h"
#include "values/ZpkBlock.h"

namespace {

// Internal-fault messages name the source file without its directory.
const char* SourceName() {
  const char* slash = strrchr(__FILE__, '/');
  return slash != nullptr ? slash + 1 : __FILE__;
}

const char* SideName(int side) {
  switch (side) {
    case kQuerySideMaster:
      return "master";
    case kQuerySideSlave:
      return "slave";
    case kQuerySideBoth:
      return "master and slave";
    default:
      return "unknown";
  }
}

bool IsComparison(int kind) { return kind >= kQueryIsNull && kind <= kQueryRightMatch; }
bool IsMatch(int kind) { return kind >= kQueryLeftMatch && kind <= kQueryRightMatch; }

// Literals are read in the C locale whatever locale the host runs in.
locale_t CLocale() {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (c_locale == static_cast<locale_t>(nullptr)) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  return c_locale;
}

[[noreturn]] void ThrowValueType(const char* format, const char* text) {
  throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, format, text);
}

// A set operation's rows as a new set.
std::unique_ptr<TSetArray> Combine(int op, TRealTable* table, TSetArray* x, TSetArray* y) {
  int* rows = nullptr;
  int size = 0;
  const int count = SetOpeCommon(op, table->TotalRecs(), x, y, &size, &rows);
  ZpkBlock<int> guard(rows);
  std::unique_ptr<TSetArray> set(new (std::nothrow) TSetArray());
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  set->FData = guard.Release();
  set->FArraySize = count;
  set->FAllocSize = size;
  return set;
}

// The intersection of the two sides' sets: either one alone when the other is absent.
std::unique_ptr<TSetArray> Intersect(TRealTable* table, std::unique_ptr<TSetArray> x,
                                     std::unique_ptr<TSetArray> y) {
  if (x == nullptr) return y;
  if (y == nullptr) return x;
  return Combine(kSetOpeAnd, table, x.get(), y.get());
}

}  // namespace

// ---- Stage 1 ----

TQueryNode* TQueryNode::Stage1(bool negate_below) {
  switch (kind) {
    case kQuerySymbol:
      Resolve();
      return this;
    case kQueryNumber:
    case kQueryString:
      return this;
    case kQueryIsNull:
      a = a->Stage1(negate_below);
      if (negate_below) negate = !negate;
      return this;
    case kQueryEqual:
    case kQueryLessThan:
    case kQueryLessThanOrEqual:
    case kQueryLeftMatch:
    case kQueryMiddleMatch:
    case kQueryRightMatch:
    case kQueryBetween:
    case kQueryWithin:
      if (c != nullptr) c = c->Stage1(negate_below);
      b = b->Stage1(negate_below);
      a = a->Stage1(negate_below);
      if (negate_below) negate = !negate;
      return this;
    case kQueryAnd:
    case kQueryOr:
      // De Morgan: a negated AND is the OR of the negated operands, and the other way round.
      if (negate_below) kind = kind == kQueryAnd ? kQueryOr : kQueryAnd;
      a = a->Stage1(negate_below);
      b = b->Stage1(negate_below);
      return this;
    case kQueryNot:
      return a->Stage1(!negate_below);
    default:
      throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d Unknown node type(%d) in Stage1()", SourceName(),
                         __LINE__, kind);
  }
}

void TQueryNode::Resolve() {
  TBaseTable* searched = tree->table;
  const int type = searched->GetType();
  TFilter* found = nullptr;
  if (type == TBaseTable::kTypeJoin) {
    ResolveJoinColumn(static_cast<TJoinTableBase*>(searched));
    found = filter;
  } else if (type != TBaseTable::kTypeReal) {
    throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d Unknown table type(%d) in Analyze()", SourceName(),
                       __LINE__, type);
  } else {
    auto* real = static_cast<TRealTable*>(searched);
    if (qualifier != nullptr && strcmp(qualifier, real->FTableName) != 0) {
      throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "Table name mismatch: %s", qualifier);
    }
    for (int i = 0; i < real->FnFilter && found == nullptr; ++i) {
      if (real->FFilters[i] != nullptr && strcmp(real->FFilters[i]->FFilterName, text) == 0)
        found = real->FFilters[i];
    }
    if (found == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER, "No such filter: \"%s\"", text);
    if (tree->set_pos < 0 || tree->set_pos >= real->FnSet || real->FSets[tree->set_pos] == nullptr) {
      throw CQ7Exception(Q7_ERROR_NO_SUCH_SET, "No Such Set (position %d)", tree->set_pos);
    }
    table = real;
    filter = found;
    source = real->FSets[tree->set_pos];
    side = kQuerySideMaster;
  }
  value_type = ArrayDataTypeEx(found->VL);
  free(text);
  free(qualifier);
  text = nullptr;
  qualifier = nullptr;
  kind = kQueryFilter;
}

// A join column is named by its unique join name (any qualifier is not checked) and searched on its
// source table's filter over that side's rows of the searched join set.
void TQueryNode::ResolveJoinColumn(TJoinTableBase* join) {
  const int id = join->GetJoinFilterIDFromName(text);
  TFilter* found = nullptr;
  if (id > 0) {
    try {
      found = join->GetFilter(id);
    } catch (const CQ7Exception&) {
      found = nullptr;  // a vanished source filter: refused below as a name that finds nothing
    }
  }
  if (found == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER, "No such filter: \"%s\"", text);
  int column_side = -1;
  const int at = join->JFilterID2Pos(id, &column_side);
  if (at < 0) throw CQ7Exception(at);
  TRealTable* real = tree->sources[column_side];
  if (real == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  if (tree->set_pos < 0 || tree->set_pos >= join->FnSet) {
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET, "No Such Set (position %d)", tree->set_pos);
  }
  table = real;
  filter = found;
  source = tree->JoinRows(column_side);
  side = column_side == 0 ? kQuerySideMaster : kQuerySideSlave;
}

TSetArray* TQueryTree::JoinRows(int join_side) {
  auto* join = static_cast<TJoinTableBase*>(table);
  TSetArray* rows = join->FEntries[set_pos].rows[join_side];
  if (rows != nullptr && join->FOuter == 0) return rows;
  // An outer join's rows hold record 0 (no partner), which is no record of the side's table.
  if (held[join_side] == nullptr) {
    held[join_side].reset(rows != nullptr ? rows->CopyWithout0() : new TSetArray());
  }
  return held[join_side].get();
}

// ---- Stage 2 ----

void TQueryNode::Stage2(int type, const NumericInfo* info) {
  switch (kind) {
    case kQueryFilter:
      return;
    case kQueryNumber:
      ConvertNumber(type, info);
      return;
    case kQueryString:
      ConvertString(type);
      return;
    case kQueryConst:
      if (const_type != type)
        throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect %d, but %d", type, const_type);
      return;
    case kQueryIsNull:
    case kQueryEqual:
    case kQueryLessThan:
    case kQueryLessThanOrEqual:
    case kQueryBetween:
    case kQueryWithin:
    case kQueryLeftMatch:
    case kQueryMiddleMatch:
    case kQueryRightMatch: {
      if (a == nullptr || a->kind != kQueryFilter) {
        throw CQ7Exception(Q7_ERROR_QUERY_OPERAND, "expect Filter, but %s",
                           QueryNodeKindName(a != nullptr ? a->kind : kQueryInvalid));
      }
      if (IsMatch(kind)) {
        if (a->value_type != Q7_TYPE_STRING) {
          throw CQ7Exception(Q7_ERROR_QUERY_OPERAND, "%s for non-String filter is not allowd",
                             QueryNodeKindName(kind));
        }
        side = a->side;
        b->Stage2(Q7_TYPE_STRING, nullptr);
        if (b->kind != kQueryConst || b->text == nullptr) {
          throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect String, but NULL");
        }
        return;
      }
      side = a->side;
      NumericInfo decimal_info = {0, 0};
      const NumericInfo* list_info = nullptr;
      if (a->value_type == Q7_TYPE_DECIMAL) {
        static_cast<TNumericArray*>(a->filter->VL)->GetDecimalInfo(&decimal_info);
        list_info = &decimal_info;
      }
      if (b != nullptr) b->Stage2(a->value_type, list_info);
      if (c != nullptr) c->Stage2(a->value_type, list_info);
      return;
    }
    case kQueryAnd:
      a->Stage2(0, nullptr);
      b->Stage2(0, nullptr);
      side = a->side | b->side;
      return;
    case kQueryOr:
      a->Stage2(0, nullptr);
      b->Stage2(0, nullptr);
      if (!((a->side == kQuerySideMaster && b->side == kQuerySideMaster) ||
            (a->side == kQuerySideSlave && b->side == kQuerySideSlave))) {
        throw CQ7Exception(
            Q7_ERROR_QUERY_OPERAND,
            "left and right hand sides of 'OR' must refer to a same real table. The left refers to "
            "%s. The right refers to %s.",
            SideName(a->side), SideName(b->side));
      }
      side = a->side;
      return;
    default:
      throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d Unknown node type: %d", SourceName(), __LINE__,
                         kind);
  }
}

void TQueryNode::ConvertNumber(int type, const NumericInfo* info) {
  switch (type) {
    case Q7_TYPE_INTEGER: {
      char* end = nullptr;
      errno = 0;
      const long value = strtol_l(text, &end, 10, CLocale());
      if (end == text || *end != '\0') ThrowValueType("expect Integer, but %s", text);
      if (errno == ERANGE || value < -2147483647L || value > 2147483647L) {
        ThrowValueType("expect Integer, but overflow (%s)", text);
      }
      int_value = static_cast<int32_t>(value);
      break;
    }
    case Q7_TYPE_DOUBLE: {
      char* end = nullptr;
      const double value = strtod_l(text, &end, CLocale());
      if (end == text || *end != '\0') ThrowValueType("expect Double, but %s", text);
      if (!std::isfinite(value)) ThrowValueType("expect Double, but overflow (%s)", text);
      double_value = value;
      break;
    }
    case Q7_TYPE_DATE:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect Date data, but Number constant");
    case Q7_TYPE_TIME:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect Time data, but Number constant");
    case Q7_TYPE_STRING:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect String data, but Number constant");
    case Q7_TYPE_DATETIME:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect DateTime data, but Number constant");
    case Q7_TYPE_DECIMAL: {
      const NumericInfo scale = info != nullptr ? *info : NumericInfo{0, 0};
      const int status = q7num::NumericStr2Num(text, &scale, &numeric_value, nullptr);
      if (status == 3 || status == 4) ThrowValueType("expect Decimal, but overflow (%s)", text);
      // The lexer passes only numbers the reader takes; anything else would search for NULL.
      if (status < 0) ThrowValueType("expect Decimal, but %s", text);
      numeric_info = scale;
      break;
    }
    default:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "unknown data type(%d)", type);
  }
  free(text);
  text = nullptr;
  const_type = type;
  kind = kQueryConst;
}

void TQueryNode::ConvertString(int type) {
  int err = 0;
  switch (type) {
    case Q7_TYPE_INTEGER:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect Integer, but String");
    case Q7_TYPE_DOUBLE:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect Double, but String");
    case Q7_TYPE_DATE: {
      const int order = CurrentDateOrder();
      const double value = order == 1   ? Str2DateDDMMYYYY(text, 1, &err)
                           : order == 2 ? Str2DateMMDDYYYY(text, 1, &err)
                                        : Str2Date(text, 1, &err);
      if (err != 0) ThrowValueType("Invalid Date Format: '%s'", text);
      double_value = value;
      break;
    }
    case Q7_TYPE_TIME: {
      const double value = Str2Time(text, 1, &err);
      if (err != 0) ThrowValueType("Invalid Time Format: '%s'", text);
      double_value = value;
      break;
    }
    case Q7_TYPE_STRING:
      // The text itself is the value; the node keeps it.
      break;
    case Q7_TYPE_DATETIME: {
      const int order = CurrentDateOrder();
      const double value = order == 1   ? Str2DateTimeDDMMYYYY(text, 1, &err)
                           : order == 2 ? Str2DateTimeMMDDYYYY(text, 1, &err)
                                        : Str2DateTime(text, 1, &err);
      if (err != 0) ThrowValueType("Invalid DateTime Format: '%s'", text);
      double_value = value;
      break;
    }
    case Q7_TYPE_DECIMAL:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "expect Numeric, but String");
    default:
      throw CQ7Exception(Q7_ERROR_QUERY_VALUE_TYPE, "unknown data type(%d)", type);
  }
  if (type != Q7_TYPE_STRING) {
    free(text);
    text = nullptr;
  }
  const_type = type;
  kind = kQueryConst;
}

// ---- Execution ----

QuerySets TQueryNode::Execute() { return Run<false>(); }
QuerySets TQueryNode::MppExecute() { return Run<true>(); }

template <bool Parallel>
QuerySets TQueryNode::Run() {
  if (IsComparison(kind)) return RunComparison<Parallel>();
  switch (kind) {
    case kQueryAnd: {
      QuerySets x = a->Run<Parallel>();
      QuerySets y = b->Run<Parallel>();
      QuerySets out;
      out.master = Intersect(tree->sources[0], std::move(x.master), std::move(y.master));
      out.slave = Intersect(tree->sources[1], std::move(x.slave), std::move(y.slave));
      return out;
    }
    case kQueryOr: {
      QuerySets x = a->Run<Parallel>();
      QuerySets y = b->Run<Parallel>();
      QuerySets out;
      if (side == kQuerySideMaster) {
        out.master = Combine(kSetOpeOr, tree->sources[0], x.master.get(), y.master.get());
      } else if (side == kQuerySideSlave) {
        out.slave = Combine(kSetOpeOr, tree->sources[1], x.slave.get(), y.slave.get());
      } else if (side == kQuerySideBoth) {
        throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d TQ_BOTH_BIT is not allowd for 'OR' node",
                           SourceName(), __LINE__);
      } else {
        throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d Unknown ms_flag(%d) for 'OR' node", SourceName(),
                           __LINE__, side);
      }
      return out;
    }
    default:
      throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d Unknown node type(%d)", SourceName(), __LINE__,
                         kind);
  }
}

namespace {

// Where the search reads a constant: the stored value, or the text itself.
const char* ValuePointer(const TQueryNode* value) {
  if (value == nullptr) return nullptr;
  switch (value->const_type) {
    case Q7_TYPE_INTEGER:
      return reinterpret_cast<const char*>(&value->int_value);
    case Q7_TYPE_DECIMAL:
      return reinterpret_cast<const char*>(&value->numeric_value);
    case Q7_TYPE_STRING:
      return value->text;
    default:
      return reinterpret_cast<const char*>(&value->double_value);
  }
}

int OperationCode(int kind) {
  // A NULL bound finds no rows in a query, whatever the comparison.
  switch (kind) {
    case kQueryIsNull:
      return Q7_SEARCH_IS_NULL;
    case kQueryEqual:
      return Q7_SEARCH_EQUAL | kSearchNullBoundEmpty;
    case kQueryBetween:
      return Q7_SEARCH_BETWEEN | kSearchNullBoundEmpty;
    case kQueryLessThanOrEqual:
      return Q7_SEARCH_AT_MOST | kSearchNullBoundEmpty;
    case kQueryWithin:
      return Q7_SEARCH_STRICTLY_BETWEEN | kSearchNullBoundEmpty;
    case kQueryLessThan:
      return Q7_SEARCH_LESS | kSearchNullBoundEmpty;
    case kQueryLeftMatch:
      return Q7_SEARCH_STARTS_WITH | kSearchNullBoundEmpty;
    case kQueryMiddleMatch:
      return Q7_SEARCH_CONTAINS | kSearchNullBoundEmpty;
    default:
      return Q7_SEARCH_ENDS_WITH | kSearchNullBoundEmpty;
  }
}

}  // namespace

template <bool Parallel>
QuerySets TQueryNode::RunComparison() {
  if (side != kQuerySideMaster && side != kQuerySideSlave) {
    throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d Unknown ms_flag(%d) for Comparison node", SourceName(),
                       __LINE__, side);
  }
  const int op = OperationCode(kind);
  const char* from = kind == kQueryIsNull ? nullptr : ValuePointer(b);
  const char* to = kind == kQueryBetween || kind == kQueryWithin ? ValuePointer(c) : nullptr;
  // The set search reads final value numbers. The table's serial road has merged every filter
  // already; the task road and the sides of a join table have not.
  a->filter->MergeTVL(Parallel);
  TSetArray* found = Parallel ? a->source->MppSearchByValue(a->filter, op, from, to, negate)
                              : a->source->SearchByValue(a->filter, op, from, to, negate);
  QuerySets out;
  (side == kQuerySideMaster ? out.master : out.slave).reset(found);
  return out;
}

int TQueryTree::Execute() { return Run<false>(); }
int TQueryTree::MppExecute() { return Run<true>(); }

template <bool Parallel>
int TQueryTree::Run() {
  if (table->FnSet >= TRealTable::kMaxSets)
    throw CQ7Exception(Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
  QuerySets sets = Parallel ? top->MppExecute() : top->Execute();
  switch (table->GetType()) {
    case TBaseTable::kTypeReal: {
      if (sets.master == nullptr) {
        throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "%s:%d No result set for a real table", SourceName(),
                           __LINE__);
      }
      const int id = static_cast<TRealTable*>(table)->AddSetWithoutCopy(sets.master.get());
      if (id < 0) throw CQ7Exception(id);
      sets.master.release();
      return id;
    }
    case TBaseTable::kTypeJoin:
      return RegisterJoinSet<Parallel>(std::move(sets));
    default:
      return -1;
  }
}

// The searched sides' rows, and a copy of the searched join set's rows on a side the query left
// alone, become a new join set of the searched set's side, paired again: the joined rows whose both
// records survived. A failure deletes the new set and makes the previous current set current again.
template <bool Parallel>
int TQueryTree::RegisterJoinSet(QuerySets sets) {
  auto* join = static_cast<TJoinTableBase*>(table);
  const JoinSetEntry& searched = join->FEntries[set_pos];
  std::unique_ptr<TSetArray> rows[2] = {std::move(sets.master), std::move(sets.slave)};
  for (int s = 0; s < 2; ++s) {
    if (rows[s] == nullptr) {
      rows[s].reset(searched.rows[s] != nullptr ? searched.rows[s]->CopyWithout0() : new TSetArray());
    }
  }
  return join->RegisterPairedSet(searched.side, rows[0].release(), rows[1].release(), Parallel);
}

// ---- Dump ----

void TQueryTree::Dump(FILE* out, const char* title, const char* prefix) {
  fprintf(out, "%s%s\n", prefix, title);
  if (top == nullptr) return;
  const std::string inner = std::string(prefix) + " ";
  top->Dump(out, inner.c_str(), true);
}

void TQueryNode::Dump(FILE* out, const char* prefix, bool last) {
  fprintf(out, "%s%c- ", prefix, last ? '`' : '|');
  DumpLine(out);
  TQueryNode* children[3] = {a, b, c};
  int n = 0;
  for (TQueryNode* child : children) {
    if (child != nullptr) children[n++] = child;
  }
  const std::string inner = std::string(prefix) + (last ? ' ' : '|') + "   ";
  for (int i = 0; i < n; ++i) children[i]->Dump(out, inner.c_str(), i == n - 1);
}

void TQueryNode::DumpLine(FILE* out) {
  const char* no = negate ? "NOT " : "";
  switch (kind) {
    case kQuerySymbol:
      if (qualifier != nullptr) {
        fprintf(out, "Symbol - \"%s\".\"%s\"\n", qualifier, text);
      } else {
        fprintf(out, "Symbol - \"%s\"\n", text);
      }
      return;
    case kQueryFilter:
      fprintf(out, "Filter - \"%s\".\"%s\"\n", table->FTableName, filter->FFilterName);
      return;
    case kQueryNumber:
      fprintf(out, "Number - %s\n", text);
      return;
    case kQueryString:
      fprintf(out, "String - '%s'\n", text);
      return;
    case kQueryConst: {
      char buf[64];
      switch (const_type) {
        case Q7_TYPE_INTEGER:
          if (int_value == INT32_MIN) {
            fprintf(out, "Const::Integer - NULL\n");
          } else {
            fprintf(out, "Const::Integer - %d\n", int_value);
          }
          return;
        case Q7_TYPE_DOUBLE:
          if (!(double_value > kDateTimeNull)) {
            fprintf(out, "Const::Double - NULL\n");
          } else {
            fprintf(out, "Const::Double - %f\n", double_value);
          }
          return;
        case Q7_TYPE_DATE:
        case Q7_TYPE_TIME:
        case Q7_TYPE_DATETIME: {
          const char* name =
              const_type == Q7_TYPE_DATE ? "Date" : (const_type == Q7_TYPE_TIME ? "Time" : "DateTime");
          if (!(double_value > kDateTimeNull)) {
            fprintf(out, "Const::%s - NULL\n", name);
            return;
          }
          if (const_type == Q7_TYPE_DATE) {
            Double2DateStr(double_value, buf, '/');
          } else if (const_type == Q7_TYPE_TIME) {
            Double2TimeStr(double_value, buf);
          } else {
            Double2DateTimeStr(double_value, buf, '/');
          }
          fprintf(out, "Const::%s - '%s'\n", name, buf);
          return;
        }
        case Q7_TYPE_STRING:
          if (text == nullptr) {
            fprintf(out, "Const::String - NULL\n");
          } else {
            fprintf(out, "Const::String - '%s'\n", text);
          }
          return;
        case Q7_TYPE_DECIMAL:
          if (numeric_value.high == INT64_MIN && numeric_value.low == 0) {
            fprintf(out, "Const::Decimal - NULL\n");
          } else {
            q7num::NumericNum2Str(&numeric_value, &numeric_info, 0, numeric_info.scale, buf, sizeof(buf));
            fprintf(out, "Const::Decimal - %s\n", buf);
          }
          return;
        default:
          fprintf(out, "Const::UnknownDataType: %d\n", const_type);
          return;
      }
    }
    case kQueryIsNull:
      fprintf(out, "Operator(IS%s NULL):\n", negate ? " NOT" : "");
      return;
    case kQueryEqual:
      fprintf(out, "Operator(%s):\n", negate ? "NE" : "EQ");
      return;
    case kQueryLessThan:
      fprintf(out, "Operator(%s):\n", negate ? "GE" : "LT");
      return;
    case kQueryLessThanOrEqual:
      fprintf(out, "Operator(%s):\n", negate ? "GT" : "LE");
      return;
    case kQueryBetween:
      fprintf(out, "Operator(%sBETWEEN):\n", no);
      return;
    case kQueryWithin:
      fprintf(out, "Operator(%sWITHIN):\n", no);
      return;
    case kQueryLeftMatch:
      fprintf(out, "Operator(%sLEFT MATCH):\n", no);
      return;
    case kQueryMiddleMatch:
      fprintf(out, "Operator(%sMIDDLE MATCH):\n", no);
      return;
    case kQueryRightMatch:
      fprintf(out, "Operator(%sRIGHT MATCH):\n", no);
      return;
    case kQueryAnd:
      fprintf(out, "Operator(AND):\n");
      return;
    case kQueryOr:
      fprintf(out, "Operator(OR):\n");
      return;
    case kQueryNot:
      fprintf(out, "Operator(NOT):\n");
      return;
    default:
      if (a != nullptr || b != nullptr || c != nullptr) {
        fprintf(out, "Unknown operator node :%d\n", kind);
      } else {
        fprintf(out, "Unknown leaf node :%d\n", kind);
      }
      return;
  }
}

// The text query's tree: its nodes and the two checking passes that make it ready to run.
#include "calc/QueryTree.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/TBaseTable.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"

char QueryErrorMessage[500];

namespace {

const char* const kKindNames[] = {
    "Invalid", "Symbol", "Filter",     "Number",       "String",
    "Const",   "IsNull", "Equal",      "LessThan",     "LessThanOrEqual",
    "Between", "Within", "LEFT MATCH", "MIDDLE MATCH", "RIGHT MATCH",
    "And",     "Or",     "Not",
};

TQueryNode* NewNode(TQueryTree* tree, int kind) {
  // Room in the vector first, so that a node is never made without its owner.
  if (tree->nodes.size() == tree->nodes.capacity()) tree->nodes.reserve(2 * tree->nodes.capacity() + 30);
  TQueryNode* node = new TQueryNode(tree, kind);
  tree->nodes.push_back(node);
  return node;
}

}  // namespace

const char* QueryNodeKindName(int kind) {
  if (kind < 0 || kind >= static_cast<int>(sizeof(kKindNames) / sizeof(kKindNames[0]))) return "Unknown";
  return kKindNames[kind];
}

void QueryAppendError(const char* message) {
  constexpr size_t kSize = sizeof(QueryErrorMessage);
  size_t length = strlen(QueryErrorMessage);
  if (length > kSize - 3) return;
  if (length > 0) QueryErrorMessage[length++] = '\n';
  qz7_strlcpy(QueryErrorMessage + length, message, kSize - length);
}

TQueryNode::~TQueryNode() {
  free(text);
  free(qualifier);
}

TQueryTree::TQueryTree(TBaseTable* searched, int set_position) : table(searched), set_pos(set_position) {
  if (table != nullptr) {
    if (table->GetType() == TBaseTable::kTypeReal) {
      sources[0] = static_cast<TRealTable*>(table);
    } else if (table->GetType() == TBaseTable::kTypeJoin) {
      auto* join = static_cast<TJoinTableBase*>(table);
      sources[0] = join->FMasterTable;
      sources[1] = join->FSlaveTable;
    }
  }
  nodes.reserve(30);
}

TQueryTree::~TQueryTree() {
  for (TQueryNode* node : nodes) delete node;
}

TQueryNode* MakeLeafQueryNode(TQueryTree* tree, int kind, char* text, int dup) {
  if (kind != kQuerySymbol && kind != kQueryNumber && kind != kQueryString) {
    throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "Unknown leaf node type(%d) in MakeLeafQueryNode()", kind);
  }
  char* owned = text;
  if (dup != 0) {
    owned = strdup(text != nullptr ? text : "");
    if (owned == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  TQueryNode* node = nullptr;
  try {
    node = NewNode(tree, kind);
  } catch (const std::bad_alloc&) {
    if (dup != 0) free(owned);
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  node->text = owned;
  return node;
}

TQueryNode* MakeOperatorQueryNode(TQueryTree* tree, int kind, int negate, TQueryNode* a, TQueryNode* b,
                                  TQueryNode* c) {
  if (kind < kQueryIsNull || kind > kQueryNot) {
    throw CQ7Exception(Q7_ERROR_QUERY_INTERNAL, "Unknown operator node type(%d) in MakeOperatorQueryNode()",
                       kind);
  }
  TQueryNode* node = nullptr;
  try {
    node = NewNode(tree, kind);
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  node->negate = negate != 0;
  node->a = a;
  node->b = b;
  node->c = c;
  node->side = 0;
  return node;
}

void QuerySetTopNode(TQueryTree* tree, TQueryNode* node) { tree->top = node; }

void QuerySetTableName(TQueryNode* column, TQueryNode* table) {
  free(column->qualifier);
  column->qualifier = table->text;
  table->text = nullptr;
}

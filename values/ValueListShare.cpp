// Holder counts of value lists that several columns share.
#include "values/ValueListShare.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "foundation/CQ7Exception.h"
#include "values/TBaseArray.h"

namespace {

// Lists with more than one holder, and their holder counts. Lists with one holder are not listed.
struct ShareTable {
  std::mutex mutex;
  std::unordered_map<const TBaseArray*, int> holders;
};

ShareTable& Table() {
  static ShareTable* table = new ShareTable;  // never destroyed: holders may release at unload
  return *table;
}

}  // namespace

void RetainValueList(TBaseArray* list) {
  if (list == nullptr) return;
  ShareTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  try {
    auto [it, inserted] = t.holders.try_emplace(list, 1);
    ++it->second;
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
}

void ReleaseValueList(TBaseArray* list) {
  if (list == nullptr) return;
  {
    ShareTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.holders.find(list);
    if (it != t.holders.end()) {
      if (--it->second > 1) return;
      t.holders.erase(it);  // one holder left: no longer listed
      return;
    }
  }
  delete list;
}

int ValueListHolders(const TBaseArray* list) {
  if (list == nullptr) return 0;
  ShareTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.holders.find(list);
  return it == t.holders.end() ? 1 : it->second;
}

void UnshareValueList(TBaseArray** list) {
  TBaseArray* shared = *list;
  if (shared == nullptr || ValueListHolders(shared) < 2) return;
  std::unique_ptr<TBaseArray> copy(shared->CopyArray());
  memcpy(copy->FUserArea, shared->FUserArea, sizeof(copy->FUserArea));
  ReleaseValueList(shared);  // others still hold it: never deletes here
  *list = copy.release();
}

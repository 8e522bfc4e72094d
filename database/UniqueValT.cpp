// The unique-value record (database/UniqueValT.h).
#include "database/UniqueValT.h"

#include <cstring>
#include <memory>

#include "database/TSetArray.h"
#include "foundation/zpk_memory.h"
#include "values/ZpkBlock.h"

void InitUniqueValT(unique_val_t* u, int n) {
  const size_t entries = static_cast<size_t>(n > 0 ? n : 0) + 1;
  ZpkBlock<int> first(entries);
  ZpkBlock<int> second(entries);
  auto set = std::make_unique<TSetArray>();
  std::memset(first.get(), 0, entries * sizeof(int));
  u->count = 0;
  u->result_count = 0;
  u->buffer = nullptr;
  u->flag = 1;
  u->set = set.release();
  u->first = u->first_again = first.Release();
  u->second = u->second_again = second.Release();
}

void ReflectUniqueValT(unique_val_t* u, int* count, int** buffer, TSetArray** set, int** oldBuffer) {
  if (count != nullptr) *count = u->result_count;
  if (set != nullptr) {
    *set = u->set;
  } else {
    delete u->set;
  }
  if (buffer != nullptr) {
    *buffer = u->first;
  } else {
    zpk_free(u->first);
  }
  zpk_free(u->second);
  if (oldBuffer != nullptr && *oldBuffer != nullptr) {
    if (*oldBuffer != u->buffer) zpk_free(*oldBuffer);
    *oldBuffer = u->buffer;
  } else {
    zpk_free(u->buffer);
  }
  u->set = nullptr;
  u->buffer = nullptr;
  u->first = u->first_again = nullptr;
  u->second = u->second_again = nullptr;
}

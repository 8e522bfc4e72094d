// How an object that outlives the call that built it (the detail display, a summary handle) tells
// whether the table, set and columns it was built over are still those the database holds.
//
// Its table, set and filter pointers may dangle: the table may have been deleted, or the database
// cleared or replaced by a load, and table IDs are issued again after a clear. So a kept pointer is
// dereferenced only once the database has handed out that same pointer again (the quiet lookups
// below, which follow only live objects). What tells the original column from a new one built at the
// old address is a value list held with HeldValueList: a held list is never freed, so no column made
// later lists its values in it, and a column changing its values in place makes a copy of its own
// first (values/ValueListShare.h), so a column still on the held list has the values it had.
//
// Thread safety: none; callers run under the API lock.
#pragma once

class TBaseArray;
class TBaseTable;
class TFilter;

// The table of that ID in the current database, or null; records nothing (a holder that went stale
// is not the host's error).
TBaseTable* FindTableQuietly(int table_id);
// The table lists the set ID.
bool HasSet(const TBaseTable* table, int set_id);
// The table's filter of that ID, or null; records nothing.
TFilter* FindFilterQuietly(TBaseTable* table, int filter_id);

// One hold on a value list (RetainValueList), dropped when the holder goes.
class HeldValueList {
 public:
  HeldValueList() = default;
  ~HeldValueList();
  HeldValueList(const HeldValueList&) = delete;
  HeldValueList& operator=(const HeldValueList&) = delete;

  // Holds `list` (null: nothing) in place of the one held before; remembers its size.
  // Q7_ERROR_OUT_OF_MEMORY is thrown with nothing changed.
  void Hold(TBaseArray* list);
  TBaseArray* get() const { return list_; }
  // The filter still lists its values in the held list, at the size it had when taken.
  bool ListedBy(const TFilter* filter) const;

 private:
  TBaseArray* list_ = nullptr;
  int size_ = 0;
};

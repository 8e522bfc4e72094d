// A scope in which table names keep their "_#" suffix. The calls that write summaries seed output
// names from the summed table's (and columns') names, so that an output of "sales_#2" stays
// recognisable; the flag is process-wide, so the scope is opened only while the API lock is held.
#pragma once

#include "database/TTableCollection.h"

class KeepSharpNames {
 public:
  KeepSharpNames() { TTableCollection::m_nDisableTrimUntilSharp = 1; }
  ~KeepSharpNames() { TTableCollection::m_nDisableTrimUntilSharp = 0; }
  KeepSharpNames(const KeepSharpNames&) = delete;
  KeepSharpNames& operator=(const KeepSharpNames&) = delete;
};

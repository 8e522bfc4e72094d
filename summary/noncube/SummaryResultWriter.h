// What one measure's sum-type mask asks of the parallel cube sums, after the measure's type has had
// its say: SUM and AVERAGE need a number (INTEGER, DOUBLE of any kind, DECIMAL), so a text measure
// gives only COUNT, MAX and MIN. Pure; used by summary/noncube/MppCubeSum.cpp and
// summary/noncube/FastCubeSum.cpp.
#pragma once

struct CubeMeasureFlags {
  int count = 0;
  int max = 0;
  int min = 0;
  int sum = 0;
  int average = 0;
  // The per-cell SUM array is needed (for SUM or for AVERAGE).
  int NeedsSum() const { return sum || average; }
};

// mask: 1 COUNT, 2 MAX, 4 MIN, 8 SUM, 16 AVERAGE; measure_type: the value list's type (2, 3, 6, 8).
CubeMeasureFlags SplitCubeMask(int mask, int measure_type);

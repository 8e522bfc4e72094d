// The measure bits of a summary request: which results of a measure are wanted or computed. They
// may be combined; AVERAGE exists only in output tables (SUM / COUNT of the cell).
#pragma once

inline constexpr int kSumCount = 1;
inline constexpr int kSumMax = 2;
inline constexpr int kSumMin = 4;
inline constexpr int kSumSum = 8;
inline constexpr int kSumAverage = 16;

// Free functions over the typed arrays: their value type codes, element widths, the identity tests
// of two arrays, and the growth rule.
//
// A null array counts as an array of no known type. Failures throw CQ7Exception.
#pragma once

#include <cstdint>

class TBaseArray;

// The array's GetDataType (2, 3, 6 or 8; 0 for a base array).
int ArrayDataType(TBaseArray* arr);
// 2, 6 and 8 as they are; a double array's extend type (3, 4, 5 or 7, a stored 0 read as 3).
// Anything else records ("ArrayDataTypeEx", 0xE0000074, "Invalid data type") and throws
// Q7_ERROR_INVALID_DATA_TYPE.
int ArrayDataTypeEx(TBaseArray* arr);
// A double array takes t = 3, 4, 5 or 7 as its extend type; an integer, string or decimal array
// only checks that t is its type. Anything else throws Q7_ERROR_INVALID_DATA_TYPE.
void SetArrayDataTypeEx(TBaseArray* arr, int t);
// 4 for type 2, 8 for types 3 and 6, 16 for type 8; else throws Q7_ERROR_INVALID_DATA_TYPE.
int ArrayUnitSize(TBaseArray* arr);
// True when both are string arrays of equal count and unit whose offsets are byte-equal as they
// stand and whose areas, once both are compacted (Sweep), hold the same bytes.
bool CompareStrArray(TBaseArray* a, TBaseArray* b);
// True when a and b have the same data type (GetDataType), element count and element width and
// equal contents: string arrays text by text (CompareStrArray), the others byte by byte over
// count x width bytes (so a double list holding -0.0 differs from one holding 0.0). A null array
// is never the same as anything. The value-list merge uses it to recognise two value lists that
// are already identical. Only reads its arguments; they must not change meanwhile.
bool CheckSame(TBaseArray* a, TBaseArray* b);
// A value list of the array class of value type `type` (2 to 8) over `count` compiled entries
// (the list output of Compile, MppCompile or a merge). The block is taken over: a fixed-width list
// adopts it, a string list copies the texts it points at (which must stay alive until this
// returns) and adopts the pointer block as its offsets. DOUBLE, DATE, TIME and DATETIME lists get
// their extend type; a decimal list has the array defaults (callers set the scale they need or
// copy the old list's attributes). Q7_ERROR_OUT_OF_MEMORY, or Q7_ERROR_INVALID_DATA_TYPE for a type
// outside 2 to 8, is thrown with the block freed.
TBaseArray* AdoptCompiledList(int type, int count, void* block);
// n itself; a negative n throws Q7_ERROR_NEGATIVE_SIZE.
int64_t CalcMargin(int64_t n);
// The capacity a full array grows to: n + n/8 + 10000.
int64_t CalcMargin2(int64_t n);

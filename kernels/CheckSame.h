// Equality of two arrays, which the value-list merge uses to recognise two value lists that are
// already identical.
//
// Thread safety: only reads its arguments; the arrays must not change meanwhile.
#pragma once

class TBaseArray;

// True when a and b have the same data type (GetDataType), element count and element width and
// equal contents: string arrays text by text (CompareStrArray), the others byte by byte over
// count x width bytes (so a double list holding -0.0 differs from one holding 0.0). A null array
// is never the same as anything.
bool CheckSame(TBaseArray* a, TBaseArray* b);

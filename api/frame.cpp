#include "api/frame.h"

const char kEmptyText[] = "";
char gBuf[kGBufSize];

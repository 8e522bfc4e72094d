#include "api/frame/frame.h"

const char kEmptyText[] = "";
char gBuf[kGBufSize];

// The shared storage of the exported functions' frames: the empty text and the global text buffer.
#include "api/frame/frame.h"

const char kEmptyText[] = "";
char gBuf[kGBufSize];

// The process-wide settings that the value-list compiler reads.
#include "values/CompileSettings.h"

int g_cut_last_space = 0;

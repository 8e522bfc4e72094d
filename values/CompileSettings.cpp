#include "values/CompileSettings.h"

int g_cut_last_space = 0;

// The sort and counting kernels in one include, for callers that use several of them.
#pragma once

#include "kernels/CountingSort.h"
#include "kernels/IntegratedSort.h"
#include "kernels/MppCountingSort.h"
#include "kernels/MppCountup.h"
#include "kernels/RadixPlan.h"

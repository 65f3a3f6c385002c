// The lowest folder reading only itself: allowed.
#pragma once

#include "report/progress.h"

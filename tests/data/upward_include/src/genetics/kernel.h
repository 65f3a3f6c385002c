// A kernel that reads the commands above it: the folder check must refuse it.
#pragma once

#include "analyses/command_context.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"

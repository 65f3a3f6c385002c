#include "genomics/genotypes.h"

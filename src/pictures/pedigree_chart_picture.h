// The pedigree chart of an individual as a picture: the individual on the
// left, its parents, grandparents and so on to the right.
#pragma once

#include "pedigree/pedigree.h"
#include "pictures/picture.h"

namespace kinvar::pictures {

// The chart of `individual`, `generations` back (parents are generation 1).
// The pedigree has its coefficients computed and its records in code order.
Picture PedigreeChartPicture(const Pedigree& ped, RecIndex individual, int generations);

}  // namespace kinvar::pictures

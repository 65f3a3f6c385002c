// Metafounders: genetic groups that are related base populations. Their
// file gives Gamma, the groups' relationships, and names the groups; the
// pedigree then reads them as genetic groups (a parent ID naming one is an
// unknown parent with that metafounder behind it).
#pragma once

#include <string>
#include <vector>

#include "pedigree/genetic_groups.h"

namespace kinvar {

// Reads "group group value" lines (blank lines and lines beginning with '#'
// skipped), each unordered pair once, every group's diagonal given, missing
// pairs 0. The groups are numbered in the order they first appear, at most
// 300 of them. A value is all of its cell. Gamma must be a relationship
// matrix: each diagonal value within 0 to 2, positive semi-definite (so no
// pair beyond the square root of the product of its diagonals); a singular
// one is noted (gammaSingular), as only the inverse needs more. An empty string on success (ids, gamma
// and gammaSource of `groups` then set), else what is wrong, nothing kept.
std::string ReadMetafounders(const std::string& path, GeneticGroups& groups);

// A line of the file given as data.
struct MetafounderRow {
  std::string group1;
  std::string group2;
  double value = 0.0;
};
// The file's checks on rows, the messages naming the row (1-based);
// `source` names them in the reports.
std::string SetMetafounders(const std::vector<MetafounderRow>& rows, const std::string& source,
                            GeneticGroups& groups);

// The smallest and largest eigenvalue of a symmetric matrix n x n by row.
void SymmetricEigenRange(const std::vector<double>& matrix, std::size_t n, double& smallest,
                         double& largest);

}  // namespace kinvar

// Seeded random pedigrees for tests: the text of a pedigree file together
// with the structure it describes, so that a test can compute what loading
// and the analyses must give without going through the program.
//
// Conventions of this header:
// - The same options (seed included) always give the same text and structure.
// - IDs in the structure are upper case, as the reader stores them; the text
//   may write them in any letter case. An unknown parent is "" in the
//   structure and "0", "000", "unknown" and the like in the text.
// - `individuals` lists the file's data lines in file order, then the
//   parents that appear only in a sire or dam column (always founders).
// - Full sibs (same known sire and same known dam) never disagree on a
//   predefined F, so every generated text loads without errors and cycles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kinvar::test {

enum class ListingOrder {
  kShuffled,      // data lines in random order
  kParentsFirst,  // every listed parent before its progeny
  kProgenyFirst,  // the reverse of kParentsFirst
};

struct RandomPedigreeOptions {
  std::uint64_t seed = 1;
  int size = 100;         // individuals created, listed or not (at least 1)
  int founders = 10;      // individuals of the base generation (1..size)
  // Parents are drawn from the last `window` individuals created; a small
  // window makes many generations and much inbreeding.
  int window = 50;
  double closeMatingChance = 0.2;    // mate with a parent, sib, half sib or progeny
  double unknownParentChance = 0.05; // per parent of a non-founder
  int maxFamilySize = 3;             // progeny per mating, 1..max
  double unlistedChance = 0.3;       // a founder used as a parent has no line
  bool groupColumn = false;
  bool fColumn = false;
  double predefinedChance = 0.1;     // per listed individual or full-sib family
  ListingOrder order = ListingOrder::kShuffled;
  bool crlf = false;                 // end lines with "\r\n"
  bool decorate = true;  // comments, blank lines, mixed separators and case
};

struct RandomIndividual {
  std::string id;
  std::string sire;  // "" = unknown
  std::string dam;
  bool listed = true;  // false: appears only as a parent
  int group = -1;      // group number, -1 when none
  std::optional<float> fInFile;  // F written on its own line
  // F once loaded: from its line, or copied from a full sib that has one.
  std::optional<float> fPredefined;
};

struct RandomPedigree {
  std::string text;
  std::vector<RandomIndividual> individuals;
  bool hasGroupColumn = false;
  bool hasFColumn = false;
  int nListed = 0;
  int maxGeneration = 0;  // longest ancestral path over all individuals
};

RandomPedigree MakeRandomPedigree(const RandomPedigreeOptions& options);

// Options of every kind drawn from `seed`: sizes from a handful to
// `maxSize`, shallow and deep, with and without Group and F columns, all
// listing orders. Meant for loops over many seeds.
RandomPedigreeOptions VariedOptions(std::uint64_t seed, int maxSize = 300);

// Parents-first order of `individuals` (indexes into it), computed from the
// IDs alone; empty when the parents form a cycle.
std::vector<int> ParentsFirstOrder(const std::vector<RandomIndividual>& individuals);

}  // namespace kinvar::test

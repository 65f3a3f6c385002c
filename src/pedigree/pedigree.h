// The in-memory pedigree: one Rec per individual, the group table, the index
// arrays that order the records, and the settings and report store that every
// analysis reads and writes.
//
// Conventions of this header:
// - Individuals are held in `recs`, in reading order: recs[0] is the unknown
//   parent, recs[1..nRead] are the file's data lines in file order, and
//   recs[nRead+1..nTotal] are the parents that validation added, in the order
//   it created them. A RecIndex is a position in `recs`; 0 means "unknown".
// - `code` is the chronological code: 1..nTotal once recoded (parents before
//   progeny, founders first), 0 only for the unknown parent, -1 not yet coded,
//   -2 waiting on the recoding stack.
// - `records` and `familyOrder` hold RecIndex values, never copies. When
//   `orderState` is 1, records[i] is the individual with code i + 1.
// - Inbreeding coefficients, work values and the within-family variance are
//   32-bit floats; F = -1 means "not known yet" and is the unknown parent's F,
//   which makes 1/2 - (Fs + Fd)/4 come out right for unknown parents.
// - IDs are 1..20 bytes, upper-cased by the reader; bytes above 127 are kept
//   and order before ASCII (CompareIds compares signed bytes).
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/genetic_groups.h"
#include "report/report_copy_file.h"
#include "report/report_store.h"

namespace kinvar {

using RecIndex = std::int32_t;
constexpr RecIndex kUnknownParent = 0;
constexpr int kMaxIdLength = 20;
constexpr int kMaxGroupNumber = 1000;
// Sex as a Sex column gives it.
enum class Sex : std::int8_t { kUnknown = 0, kMale = 1, kFemale = 2 };
// A birth date is the day count from 1970-01-01 (proleptic Gregorian);
// this value when the date is not known.
constexpr std::int32_t kUnknownBirth = INT32_MIN;
// The generation table starts at this size and grows for deeper pedigrees.
constexpr int kInitialGenerationTableSize = 400;

struct Rec {
  char id[kMaxIdLength + 1] = {};  // NUL-terminated, upper case
  bool fPredefined = false;        // F came from the file or a full sib
  Sex sex = Sex::kUnknown;         // from a Sex column, or the role of an added parent
  std::int32_t group = -1;         // index into Pedigree::groups, -1 = none
  RecIndex sire = kUnknownParent;
  RecIndex dam = kUnknownParent;
  std::int32_t code = -1;
  float scratch = 0.0f;  // analysis work value; 0 when idle
  float f = -1.0f;       // inbreeding coefficient, -1 = not known
  // Longest ancestral path in generations: 0 for founders, -1 for the
  // unknown parent, else 1 + the larger parental generation.
  std::int32_t generation = 0;
  // Flags while an algorithm runs, 0 when idle. Validation: 1 = seen as a
  // sire, 2 = seen as a dam. Inbreeding: 1 = in the ancestor list.
  std::int32_t mark = 0;
  std::int32_t birth = kUnknownBirth;  // from a Birth date column

  std::string_view Id() const { return id; }
};

// The parents of one data line as text, kept from reading until validation
// links them to records. Pedigree::links[i] is the link of record i + 1:
// validation finds a link's record by its place.
struct ParentLink {
  char sire[kMaxIdLength + 1] = {};
  char dam[kMaxIdLength + 1] = {};
  RecIndex rec = kUnknownParent;  // the line's individual
};

struct Description {
  std::int32_t group = 0;  // group number as written in the file, 0..2147483647
  std::int32_t count = 0;  // individuals of the file in this group
};

struct Settings {
  float relationshipLower = 0.0f;
  float relationshipUpper = 2.0f;
  std::int32_t relationshipType = 1;  // 0 = coefficient, 1 = numerator
  std::int32_t listFounders = 0;      // list founders without progeny
  std::int32_t allowForbidden = 0;    // read a forbidden-matings file
  std::int32_t numberFormat = 1;      // 0 fraction, 1 general, 2..7 fixed 1..6
  // Worker threads of the long computations, 0 = one per core. Chosen on
  // the command line or in the desktop's own settings, never written to
  // the settings file, whose layout other programs may read.
  std::int32_t threads = 0;
  // 0: F, D and every relationship in 32-bit floats; 1: in 64-bit ones, for
  // lines whose inbreeding approaches 1, where D = 1/2 - (Fs + Fd)/4 keeps
  // no correct digit in a float. Kept like `threads`, out of the file.
  std::int32_t precision = 0;
  // Path counting writes a file only when its paths number at most this
  // many (0: no limit), so that a line of full sibs cannot fill the disk.
  // Kept like `threads`, out of the file.
  std::int64_t maxPaths = 1000000;
};

// The number of workers a Settings::threads value asks for: one per core,
// or fewer when the setting asks for fewer. More workers than cores only
// add their stacks and their per-worker state, never speed.
int WorkerCount(int setting);

// Below this D a float holds it with a relative error beyond about 1e-3.
constexpr float kSingleVarianceBound = 1.0f / 65536.0f;

struct Pedigree {
  std::int32_t nRead = 0;    // data lines read (individuals listed as progeny)
  std::int32_t nTotal = 0;   // nRead plus the parents validation added
  std::int32_t nInbreds = 0;           // F > 0, predefined ones included
  std::int32_t nEvaluated = 0;         // F computed (not predefined)
  std::int32_t nInbredsEvaluated = 0;  // computed F > 0
  std::int32_t nFounders = 0;          // both parents unknown
  std::int32_t nNonFounders = 0;       // file records with a known parent

  std::int32_t nFullSibGroups = 0;
  std::int32_t nFullSibMembers = 0;
  std::int32_t maxFullSibSize = 0;
  std::int32_t minFullSibSize = 0;  // 0 while no family was counted

  std::vector<Description> groups;     // in order of first appearance
  std::int32_t nGroups = 0;
  std::vector<std::int32_t> groupOrder;  // indexes into groups, by group number

  std::int32_t orderState = 2;   // 1 = records in code order
  std::int16_t fColumn = -1;     // 0-based column of F in the header, -1 none
  std::int16_t groupColumn = -1; // 0-based column of Group, -1 none
  std::int16_t sexColumn = -1;   // 0-based column of Sex, -1 none
  std::int16_t birthColumn = -1; // 0-based column of Birth date, -1 none

  // generationCount[k]: individuals whose generation exceeds k.
  // generationFill: fill pointers of the inbreeding buckets, a copy of it.
  std::vector<std::int32_t> generationCount =
      std::vector<std::int32_t>(kInitialGenerationTableSize, 0);
  std::vector<std::int32_t> generationFill =
      std::vector<std::int32_t>(kInitialGenerationTableSize, 0);

  std::vector<RecIndex> work;  // nTotal + 1 entries once validated
  bool inbreedingComputed = false;
  // Within-family variances by code (entry 0 unused), set with the
  // coefficients: the D of A = T D T' that every relationship goes through.
  std::vector<float> d;
  // In double precision, F and D by code (entry 0: the unknown parent's
  // F = -1), filled with the coefficients; `recs[].f` and `d` then hold
  // them rounded to float for the commands that stay in single precision.
  std::vector<double> fDouble;
  std::vector<double> dDouble;
  // The precision the coefficients were computed in (Settings::precision).
  std::int32_t inbreedingPrecision = 0;

  ReportStore report;
  ReportCopyFile copyFile;
  // The tables of the file that the last file command wrote (the inverse of
  // A, matrix T). Those commands leave the report on screen as it was, so
  // their tables cannot be the report's.
  ResultSet writtenTables;

  std::vector<Rec> recs = std::vector<Rec>(1, UnknownParentRec());
  std::vector<RecIndex> records;
  std::vector<RecIndex> familyOrder;
  std::vector<RecIndex> fullSibs;  // validation to recoding only
  std::vector<ParentLink> links;   // reading to validation only
  // The file's line (a workbook's row) of each record read, lines[i] that of
  // recs[i + 1], for the messages of validation; reading to validation only.
  std::vector<std::int32_t> lines;

  Settings settings;  // survives reset
  // The groups asked for survive reset; what a load assigned does not.
  GeneticGroups geneticGroups;

  Rec& unknownParent() { return recs[kUnknownParent]; }
  Rec& rec(RecIndex i) { return recs[static_cast<std::size_t>(i)]; }
  const Rec& rec(RecIndex i) const { return recs[static_cast<std::size_t>(i)]; }
  // The record with code i + 1 when orderState is 1.
  Rec& byCode(std::int32_t i) { return rec(records[static_cast<std::size_t>(i)]); }
  const Rec& byCode(std::int32_t i) const {
    return rec(records[static_cast<std::size_t>(i)]);
  }
  // Last record read from the file; the added parents follow it in `recs`.
  RecIndex lastRead() const { return nRead; }
  bool HasGroupColumn() const { return groupColumn != -1; }
  bool HasFColumn() const { return fColumn != -1; }
  bool HasSexColumn() const { return sexColumn != -1; }
  bool HasBirthColumn() const { return birthColumn != -1; }
  // True when the coefficients were computed in double precision.
  bool InDouble() const { return inbreedingComputed && inbreedingPrecision == 1; }
  // Group number of a record, or -1 when it has none.
  int GroupNumber(const Rec& r) const {
    return r.group < 0 ? -1 : groups[static_cast<std::size_t>(r.group)].group;
  }

  static Rec UnknownParentRec();
};

// Empties the pedigree for the next load; leaves the settings and the report
// copy file alone (the copy file is rewound by the next analysis).
void ResetPedigree(Pedigree& ped);

// 1 when a > b at the first differing byte (signed), 0 when equal, -1 when
// smaller.
inline int CompareIds(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const auto ca = static_cast<signed char>(*a);
    const auto cb = static_cast<signed char>(*b);
    if (ca != cb) return ca > cb ? 1 : -1;
    if (ca == 0) return 0;
  }
}

// An unknown parent is written as only "0" characters or as "UNKNOWN".
bool IsUnknownId(std::string_view id);

// `text` with a to z upper-cased, as the reader takes IDs: other bytes,
// those above 127 included, are kept whatever the locale.
std::string UpperCased(std::string_view text);

// Binary search of records[0..n-1], sorted by ID; kUnknownParent when absent.
RecIndex FindById(const Pedigree& ped, std::int32_t n, const char* id);

// Puts `records` in code order when it is not (orderState != 1).
void EnsureCodeOrder(Pedigree& ped);

}  // namespace kinvar

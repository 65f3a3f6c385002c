// A pedigree held by a program that calls Kinvar as a library: the R package
// and the Python module. A session owns a document and runs the same command
// handlers as the desktop program and kinvar-cli, answering the handlers'
// dialogs from the call's arguments, so the tables it returns are the tables
// `kinvar-cli --format csv` writes for the same command.
//
// Conventions of this header:
// - Input order: the caller's rows in their order, then the parents that
//   have no row of their own in order of first appearance. Position p
//   (0-based) in input order is the record p + 1 of the pedigree.
// - IDs come back as the caller spelled them. The core compares IDs in upper
//   case; a session remembers the spelling of every ID that is not already
//   upper case and puts it back into every ID column of a result. Two
//   spellings of one ID that differ only in letter case are one individual,
//   as in a file; results show the first spelling, in the order of the rows
//   and, within a row, of the progeny, sire and dam.
// - Failures are exceptions: InvalidPedigree when validation rejects the
//   pedigree (nothing is built), Refused when the core refuses an input with
//   a message (an unknown ID, a group that is not in the pedigree, a file
//   it cannot read), Cancelled when the cancel check said stop. After any of
//   them the session holds the pedigree as before and can run again.
// - A session is not thread-safe; one thread at a time may use it. Its long
//   computations may use threads of their own (SetThreads).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "pedigree/genetic_groups.h"
#include "pedigree/load.h"
#include "pedigree/metafounders.h"
#include "report/result_table.h"

namespace kinvar {

class Document;
class SessionPlatform;
template <class T>
struct BasicSparseLower;
template <class T>
struct BasicInverseBuild;

// Validation's error list, one message a line as the report shows them.
class InvalidPedigree : public std::runtime_error {
 public:
  explicit InvalidPedigree(std::vector<std::string> errors);
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  std::vector<std::string> errors_;
};

// The message the core showed when it refused an input.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Cancelled : public std::runtime_error {
 public:
  Cancelled();
};

// The lower triangle of the inverse of A in input order: element k is
// (row[k], col[k], value[k]) with col[k] <= row[k], 0-based; by column, rows
// ascending within a column (the order a compressed sparse column matrix
// stores them).
struct LowerTriplets {
  std::int32_t n = 0;
  std::vector<std::int32_t> row;
  std::vector<std::int32_t> col;
  std::vector<double> value;
};

// What a pedigree is read with beyond its own cells; each member's empty
// value leaves the load as it is without it.
struct LoadOptions {
  // Parent IDs that stand for genetic groups (unknown parents as far as F
  // and relationships go), in the order the inverse of A numbers them.
  std::vector<std::string> geneticGroups;
  // Fuzzy groups: an unknown parent spread over several groups, its
  // fractions summing to 1. Needs `geneticGroups`.
  std::vector<GroupFractionRow> groupFractions;
  // Metafounders: Gamma as (group, group, value) rows, each unordered pair
  // once, every diagonal given; the groups named are the metafounders. Not
  // with `geneticGroups` or `groupFractions`.
  std::vector<MetafounderRow> metafounders = {};
};

// A matrix over some of the individuals: `ids` in input order, and the
// lower triangle whose rows and columns (0-based) index `ids`.
struct MemberMatrix {
  std::vector<std::string> ids;
  LowerTriplets lower;
};

enum class RelationshipKind { kNumerator, kCoefficient };

// The individuals whose pairs `Relationships` lists.
struct PairScope {
  enum class Kind { kAll, kWithinGroup, kBetweenGroups, kIds } kind = Kind::kAll;
  int group1 = 0;
  int group2 = 0;
  std::vector<std::string> ids;  // kIds: the pairs among these, each once
};

// The sires or the dams of a mating command: a group number, or the IDs of
// the individuals, which then need no group of their own.
using MateSet = std::variant<int, std::vector<std::string>>;

// The inputs of the mating optimization. Contributions give each sire its
// number of dams; a sire left out of them has none, and an ID in them that
// is not a sire is refused by name. Forbidden pairs are (sire, dam).
struct MatingRequest {
  MateSet sireGroup = 0;
  MateSet damGroup = 0;
  std::vector<std::pair<std::string, std::int32_t>> contributions;
  std::vector<std::pair<std::string, std::string>> forbidden;
  bool exact = true;
  std::uint32_t seed = 0;  // the random stream of the annealing
};

// The purging analysis: the reference (every individual when none), the
// purging coefficient, the gene-dropping replicates and their random stream.
struct PurgingRequest {
  std::optional<int> group;
  double purgingCoefficient = 0.0;
  std::int32_t geneDrops = 0;
  bool allFounders = false;
  std::uint32_t seed = 0;
};

// Optimum contributions of the candidates of two groups. Breeding values by
// ID (none: least kinship); at most one target; `matings` gives every dam
// one progeny and adds the table "sire_matings" (sire, matings), the
// contribution file's lines for OptimizeMatings.
struct ContributionRequest {
  MateSet sireGroup = 0;
  MateSet damGroup = 0;
  std::vector<std::pair<std::string, double>> breedingValues;
  std::optional<double> targetDeltaF;
  std::optional<double> targetKinship;
  std::optional<double> maxContribution;
  bool matings = false;
};

// A planned mating: the sire and the dam by ID ("" or "0" unknown), or new
// ones by their parents (the ID then names the new one; "0" an unknown
// parent); the best sires from a group (none: all males), their mean
// kinship with a group (none: every individual), and how many are listed.
struct PlannedMatingRequest {
  std::string sire;
  std::string dam;
  std::optional<std::pair<std::string, std::string>> sireParents;
  std::optional<std::pair<std::string, std::string>> damParents;
  std::optional<int> candidates;
  std::optional<int> reference;
  int top = 20;
};

// The ID columns of a pedigree given as columns, each with its role (0 the
// progeny, 1 the sire, 2 the dam), and whether any cell is in lower case.
struct SpelledIdColumns {
  std::vector<const std::vector<std::string_view>*> columns;
  std::vector<int> roles;
  bool lowerCase = false;
};

class Session {
 public:
  // Polled often during long computations on the thread that called the
  // session; true stops the computation (Cancelled). Other threads of the
  // computation see the answer through a flag.
  using CancelCheck = std::function<bool()>;
  // A stage's label and the bar's position, 0..100.
  using ProgressSink = std::function<void(const std::string& label, int percent)>;

  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Reads a pedigree file of any format the reader accepts (a workbook from
  // `sheet`, or its first worksheet when empty).
  static std::unique_ptr<Session> Read(const std::string& path, const std::string& sheet = {},
                                       int threads = 0, const LoadOptions& options = {});
  // The pedigree of the columns (PedigreeColumns: the reader's column names
  // and text cells). A row without an ID is refused: the rows must stay the
  // caller's rows.
  // `shownNames`, when given, are the caller's names of the columns: a
  // message of the reader names the column so, and a row (1 for the first
  // row of cells) where a file's message names a line.
  static std::unique_ptr<Session> FromColumns(const PedigreeColumns& columns, int threads = 0,
                                              const LoadOptions& options = {},
                                              const std::vector<std::string>& shownNames = {});
  // The same from views of the caller's text, which stays in place for the
  // call (the cells of a host language's data frame, read without a copy).
  static std::unique_ptr<Session> FromColumnViews(const PedigreeColumnViews& columns, int threads = 0,
                                              const LoadOptions& options = {},
                                              const std::vector<std::string>& shownNames = {});
  // The columns of a data frame that the reader takes, found by the
  // reader's names and synonyms in any letter case: for each of Progeny,
  // Sire, Dam, Group, F, Sex and Birth date, the index of its name in
  // `names`, -1 for none. When no name stands for the individual, its sire
  // or its dam, the first three columns do. Refused when two names stand
  // for one column.
  static std::vector<int> FindColumns(const std::vector<std::string>& names);
  // The reader's names of those columns, in that order.
  static std::vector<std::string> ReaderColumnNames();

  void SetCancelCheck(CancelCheck check);
  void SetProgress(ProgressSink sink);
  // 0: one thread per core.
  void SetThreads(int threads);
  // F, D, relationships, the inverse of A, T, dii and the decompositions in
  // 64-bit floats; single precision (the default) otherwise.
  void SetDoublePrecision(bool on);

  std::int32_t size() const;  // rows plus added parents
  std::int32_t rows() const;
  bool HasGroups() const;
  // Every ID in input order, as spelled by the caller.
  std::vector<std::string> Ids() const;
  // The caller's spelling of an ID as the core holds it (upper case).
  std::string_view Spelling(std::string_view coreId) const;
  // The group numbers of the pedigree, ascending.
  std::vector<int> Groups() const;
  // Names for the group numbers 1, 2, ... (names[k - 1] for group k), such
  // as herds that the caller numbered in order of first appearance: every
  // group column of a result then holds the names instead of the numbers.
  void NameGroups(std::vector<std::string> names) { groupNames_ = std::move(names); }
  const std::vector<std::string>& GroupNames() const { return groupNames_; }
  // The genetic groups (or metafounders) it was read with, as the caller
  // spelled them, in the order of the inverse's rows after the individuals.
  const std::vector<std::string>& GroupIds() const { return groupIds_; }

  // The pedigree structure census (the structure command's tables).
  ResultSet Structure(bool listFounders = false);
  // `inbreeding`: every individual in input order, and the `summary`.
  ResultSet Inbreeding();
  double Relationship(const std::string& id1, const std::string& id2, RelationshipKind kind);
  // The pairs of the scope whose value lies in [low, high] (every pair when
  // no range is given), table `pairs`. A listing of all, a group or two
  // groups is refused when more pairs than the listing's cap lie in the
  // range: it never returns the first of them as if they were all.
  ResultSet Relationships(const PairScope& scope, RelationshipKind kind,
                          std::optional<std::pair<double, double>> range);
  // The k x k matrix of the IDs, by column; refused above kMaxMatrixCells.
  std::vector<double> RelationshipMatrix(const std::vector<std::string>& ids, RelationshipKind kind);
  static constexpr std::int64_t kMaxMatrixCells = 25'000'000;
  // The most IDs whose pairs come from one matrix.
  static constexpr std::int64_t kMaxIdsAtOnce = 5'000;
  ResultSet AverageRelatedness();
  ResultSet AverageBetweenGroups();
  ResultSet Dii();
  // With genetic groups or metafounders, n counts them too: rows and
  // columns from size() on are the groups in the order of GroupIds(). With
  // metafounders it is the inverse of A^Gamma, refused when Gamma is
  // singular.
  LowerTriplets InverseOfA();
  // The X-linked relationships S (inverse: its inverse) in input order.
  // Refused for an individual of unknown sex, and S itself above
  // kMaxXLinkedIndividuals.
  LowerTriplets XLinked(bool inverse);
  // The dominance relationships D (inverse: its inverse) among a group's
  // members, or among every individual; elements with |value| < minValue
  // and zeros are left out. Refused above the core's limits and, for the
  // inverse, when D is not positive definite.
  MemberMatrix Dominance(std::optional<int> group, bool inverse, double minValue);
  // Path counting of one individual, of one group's members, or of all.
  ResultSet PathCountingIndividual(const std::string& id);
  ResultSet PathCountingGroup(int group);
  ResultSet PathCountingAll();
  // The ancestors or descendants of an individual or a group's members, as
  // a pedigree of its own (the file extraction writes, read back).
  enum class Kinship { kAncestors, kDescendants };
  std::unique_ptr<Session> ExtractIndividual(Kinship kinship, const std::string& id);
  std::unique_ptr<Session> ExtractGroup(Kinship kinship, int group);
  ResultSet GeneOrigin(int group);
  ResultSet DecomposeIndividual(const std::string& id);
  ResultSet DecomposeGroup(int group);
  ResultSet DecomposeCoancestry(int group);
  // A group, or every individual when no group is given.
  ResultSet Diversity(std::optional<int> group);
  ResultSet OptimizeMatings(const MatingRequest& request);
  ResultSet Purging(const PurgingRequest& request);
  // H inverse in input order, the genetic groups after the individuals as
  // in InverseOfA; the genomic block on the genotyped individuals. The
  // keywords are hinverse's, as RunDeclared takes them.
  LowerTriplets HInverse(const std::map<std::string, std::string>& keywords);
  // A command that declares its parameters, with keyword arguments by the
  // declaration's keywords (R's and Python's names) as texts; a keyword left
  // out takes its default. A seed file parameter is given as `seed`, the
  // start of the random stream. Refused for a keyword the command does not
  // take.
  ResultSet RunDeclared(const std::string& command, const std::map<std::string, std::string>& keywords);
  // The keywords a declared command takes and their defaults, in order.
  static std::vector<std::pair<std::string, std::string>> Keywords(const std::string& command);
  // Population management: the mean kinship ranking of a group (or of every
  // individual), the suitability of every sire-dam pair, and the optimum
  // contributions.
  ResultSet MeanKinship(std::optional<int> group);
  ResultSet MateSuitability(const MateSet& sires, const MateSet& dams, std::optional<int> reference,
                            double maxF);
  ResultSet OptimumContributions(const ContributionRequest& request);
  // The offspring's F, the common ancestors' parts of it and the best
  // sires for the dam: tables summary, common_ancestors, best_sires.
  ResultSet PlannedMating(const PlannedMatingRequest& request);

  // The pedigree, for what no command above covers; read-only.
  const Pedigree& pedigree() const;
  // The warnings and information the last call's command gave (a sire that
  // is also a dam, where the random seed came from ...), in order.
  const std::vector<std::string>& Notes() const;

 private:
  Session();

  // Before the load: the groups stand for parents from the reading on.
  void UseGroups(const LoadOptions& options);
  void UseMetafounders(const LoadOptions& options);
  // After it: the fractions name individuals.
  void UseFractions(const LoadOptions& options);
  void KeepSpellings(const SpelledIdColumns& ids);
  bool KeepSpellingsByRecord(const SpelledIdColumns& ids);
  void KeepFirstSpellings(const std::vector<const std::vector<std::string_view>*>& idColumns);
  void Begin(std::deque<std::string> inputs, std::deque<std::string> openFiles = {},
             std::optional<std::string> savePath = std::nullopt,
             std::map<std::string, std::string> formValues = {});
  // Cancelled, or Refused with the message shown, else with `fallback`.
  [[noreturn]] void ThrowStopped(const std::string& fallback);
  void ThrowIfRejected();
  // Refused when the command does not take the loaded metafounders into
  // account or is not available for the pedigree, as the document does.
  void RefuseUnlessRuns(std::int32_t id) const;
  RecIndex Find(const std::string& id);
  void EnsureF();
  // Runs a document command with its dialogs' answers; Refused, Cancelled
  // or InvalidPedigree when it did not show its result.
  void Execute(std::int32_t id, std::deque<std::string> inputs,
               std::deque<std::string> openFiles = {},
               std::optional<std::string> savePath = std::nullopt,
               std::map<std::string, std::string> formValues = {});
  // Execute; the command's tables, spelled.
  ResultSet Run(std::int32_t id, std::deque<std::string> inputs,
                std::deque<std::string> openFiles = {},
                std::optional<std::string> savePath = std::nullopt,
                std::map<std::string, std::string> formValues = {});
  void Spell(ResultSet& tables) const;
  void NameGroupsIn(ResultSet& tables) const;
  std::string CappedListingMessage(const PairScope& scope) const;
  void SetRelationshipSettings(RelationshipKind kind, std::optional<std::pair<double, double>> range);
  ResultSet PairsOf(const std::vector<std::string>& ids, RelationshipKind kind,
                    std::optional<std::pair<double, double>> range);
  template <class T>
  LowerTriplets InInputOrder(const BasicSparseLower<T>& byCode) const;
  // `position` by code: where the code's row goes, -1 for none.
  template <class T>
  static LowerTriplets Reordered(const BasicSparseLower<T>& byCode, const std::vector<std::int32_t>& position,
                                 std::int32_t n);
  template <class T>
  MemberMatrix DominanceOf(const std::vector<T>& d, std::vector<RecIndex> members, bool inverse,
                           double minValue);
  template <class T>
  LowerTriplets Finished(const BasicInverseBuild<T>& build, const char* noMemory);
  template <class T>
  std::vector<double> MatrixColumns(const std::vector<RecIndex>& recs, RelationshipKind kind,
                                    const std::vector<T>& d, const std::vector<T>& f);
  static void SortRowsWithinColumns(LowerTriplets& t, const std::vector<std::int64_t>& start);
  std::unique_ptr<Session> Extract(std::int32_t id, const std::string& input);
  LoadOptions GroupsToCarry() const;
  void AddSireMatings(const std::string& path, ResultSet& tables) const;
  // The picker's answers for the two sets of the mating command; the listed
  // ones go to its state for the next run only (see MateLists).
  std::deque<std::string> UseMates(std::int32_t command, const MateSet& sires, const MateSet& dams);
  std::vector<RecIndex> ListedMembers(const std::vector<std::string>& ids, const char* role);
  std::vector<RecIndex> SireMembers(const MateSet& sires);
  std::string ContributionLines(const MatingRequest& request, const std::vector<RecIndex>& sires);
  void RefuseForbiddenStrangers(const MatingRequest& request);

  std::unique_ptr<SessionPlatform> platform_;
  std::unique_ptr<Document> doc_;
  int threads_ = 0;
  bool doublePrecision_ = false;
  std::vector<std::string> groupIds_;
  std::vector<std::string> groupNames_;
  // Looked up by string_view, so a million lookups allocate nothing.
  struct IdHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view id) const { return std::hash<std::string_view>()(id); }
  };
  // Upper-case ID -> the caller's spelling, for spellings not in upper case.
  // Every ID cell of every result is looked up, and nearly all of them have
  // no spelling of their own: two bits per key in one word of `filter`
  // answer those without the map's bucket and node, which at a million
  // cells cost more than the rest of the conversion.
  class Spellings {
   public:
    void Add(std::string_view coreId, std::string_view spelled);
    std::string_view Of(std::string_view coreId) const;
    bool empty() const { return map_.empty(); }

   private:
    void Mark(std::size_t hash);
    std::unordered_map<std::string, std::string, IdHash, std::equal_to<>> map_;
    std::vector<std::uint64_t> filter_;
  };
  Spellings spellings_;
};

}  // namespace kinvar

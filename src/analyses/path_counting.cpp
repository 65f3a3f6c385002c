#include "analyses/path_counting.h"


#include <algorithm>
#include <limits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "analyses/command_ids.h"
#include "pedigree/number_text.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kLabel = "Searching for loops...";
constexpr const char* kDashes =
    "---------------------------------------------------------------------";
constexpr int kVisibleWidth = 90;
// Frames entered between two looks at the cancel request inside one search.
constexpr std::uint32_t kPollMask = (1u << 16) - 1;

// The tables of a run into the report: every block of full sibs is one
// family, numbered from 1, which joins the three tables.
struct PathTables {
  ResultTable* inbreds = nullptr;  // family, id, f
  ResultTable* paths = nullptr;    // family, ancestor, sire_side, dam_side, contribution, path
  ResultTable* ncas = nullptr;     // family, ancestor, f, contribution
  std::int64_t family = 0;
};

PathTables AddPathTables(ResultSet& set) {
  PathTables t;
  t.inbreds = &set.Add("inbreds");
  t.inbreds->AddColumn("family", ColumnType::kInteger)
      .AddColumn("id", ColumnType::kId)
      .AddColumn("f", ColumnType::kReal);
  t.paths = &set.Add("paths");
  t.paths->AddColumn("family", ColumnType::kInteger)
      .AddColumn("ancestor", ColumnType::kId)
      .AddColumn("sire_side", ColumnType::kInteger, "generations")
      .AddColumn("dam_side", ColumnType::kInteger, "generations")
      .AddColumn("contribution", ColumnType::kReal)
      .AddColumn("path", ColumnType::kText);
  t.ncas = &set.Add("ncas");
  t.ncas->AddColumn("family", ColumnType::kInteger)
      .AddColumn("ancestor", ColumnType::kId)
      .AddColumn("f", ColumnType::kReal)
      .AddColumn("contribution", ColumnType::kReal);
  return t;
}

// Where the lines go: the report store (and its tables), or a file that
// takes them laid out. The tables end where the report is full, as the
// search does: paths can be more than any table could hold.
struct Output {
  ReportStore& report;
  OutputFile* file = nullptr;
  PathTables* tables = nullptr;

  bool Full() const { return file == nullptr && report.Full(); }
  void Line(const std::string& markup) {
    if (file == nullptr)
      report.Add(markup);
    else
      file->Markup(markup);
  }
};

// The end of the path element that starts at `i`: an element is one ID with
// its separators ("<S", "<|XA|A>", "D>"), so it ends after a '>' or before
// the next '<'.
std::size_t ElementEnd(const std::string& text, std::size_t i) {
  std::size_t end = i + 1;
  while (end < text.size() && text[end - 1] != '>' && text[end] != '<') ++end;
  return end;
}

// Visible characters of text[i, end), and the last markup code in it, if any.
int Visible(const std::string& text, std::size_t i, std::size_t end, char& last) {
  int visible = 0;
  while (i < end) {
    if (text[i] == '|' && i + 1 < end) {
      last = text[i + 1];
      i += 2;
    } else {
      ++visible;
      ++i;
    }
  }
  return visible;
}

// Cuts a marked-up path into lines of at most 90 visible characters; a
// continuation line starts with five blanks and the last code met. Lines
// break only between elements, so that no ID is split across two lines
// (an element has at most 22 visible characters).
void AddCut(ReportStore& report, const std::string& text) {
  std::string line;
  int visible = 0;
  char last = 'A';
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t end = ElementEnd(text, i);
    char lastAfter = last;
    const int width = Visible(text, i, end, lastAfter);
    if (!line.empty() && visible + width > kVisibleWidth) {
      report.Add(line);
      line = "     |";
      line += last;
      visible = 5;
    }
    line.append(text, i, end - i);
    visible += width;
    last = lastAfter;
    i = end;
  }
  if (!line.empty()) report.Add(line);
}

class LoopSearch {
 public:
  LoopSearch(const Pedigree& ped, Output& out, std::function<bool()> poll)
      : ped_(ped), out_(out), poll_(std::move(poll)) {
    const auto size = static_cast<std::size_t>(ped.nTotal) + 1;
    sire_.resize(size);
    dam_.resize(size);
    for (std::int32_t c = 1; c <= ped.nTotal; ++c) {
      const Rec& r = ped.byCode(c - 1);
      sire_[static_cast<std::size_t>(c)] = ped.rec(r.sire).code;
      dam_[static_cast<std::size_t>(c)] = ped.rec(r.dam).code;
    }
    tag_.resize(size);
    flags_.resize(size);
    ncaSlot_.assign(size, -1);
  }

  std::int32_t Sire(std::int32_t c) const { return sire_[static_cast<std::size_t>(c)]; }
  std::int32_t Dam(std::int32_t c) const { return dam_[static_cast<std::size_t>(c)]; }
  bool Stopped() const { return stop_; }
  // Paths are then counted, never listed, and the search stops once more
  // than `budget` have been met.
  void CountOnly(std::uint64_t budget) {
    counting_ = true;
    budget_ = budget;
  }
  std::uint64_t Counted() const { return counted_; }
  bool Canceled() const { return canceled_; }
  void Cancel() { canceled_ = stop_ = true; }

  // Breadth-first from both parents with tags +x and -x: a common ancestor
  // is met when a tag reaches an individual tagged from the other side.
  bool HasCommonAncestor(std::int32_t x) {
    tag_[static_cast<std::size_t>(x)] = 0;
    queue_.assign({Sire(x), Dam(x)});
    Tag(Sire(x)) = x;
    Tag(Dam(x)) = -x;
    for (std::size_t i = 0; i < queue_.size(); ++i) {
      const std::int32_t u = queue_[i];
      const std::int32_t t = Tag(u);
      for (const std::int32_t p : {Sire(u), Dam(u)}) {
        if (p == 0) continue;
        if (Tag(p) == -t) return true;
        if (Tag(p) == t) continue;
        Tag(p) = t;
        queue_.push_back(p);
      }
    }
    return false;
  }

  // Every path of the full sibs with sire s and dam d, into the output and
  // the NCA table (emptied first).
  void Enumerate(std::int32_t s, std::int32_t d) {
    for (const std::int32_t a : ncas_) ncaSlot_[static_cast<std::size_t>(a)] = -1;
    ncas_.clear();
    contributions_.clear();
    MarkLeadingAncestors(s, d);
    if (Leads(s)) sireStack_.push_back({s, 0});
    while (!sireStack_.empty() && !stop_) {
      Frame& f = sireStack_.back();
      if (f.next == 0) {
        Flags(f.code) |= kOnSirePath;
        f.next = 1;
        SearchDamSide(f.code, d);
        if (stop_) break;
      }
      const std::int32_t p = NextParent(sireStack_.back());
      if (p != 0) {
        sireStack_.push_back({p, 0});
      } else {
        Flags(sireStack_.back().code) &= static_cast<std::uint8_t>(~kOnSirePath);
        sireStack_.pop_back();
      }
    }
    sireStack_.clear();
    ClearFlags();
  }

  // The NCA section and the closing dash line of a result block.
  void WriteNcas() {
    if (out_.Full()) return;
    out_.Line("NCAs: (N = " + std::to_string(ncas_.size()) + ")|T1|T5F|T7|T5P");
    for (std::size_t i = 0; i < ncas_.size() && !out_.Full(); ++i) {
      const Rec& a = ped_.byCode(ncas_[i] - 1);
      if (out_.tables != nullptr)
        out_.tables->ncas->AddRow()
            .Integer(out_.tables->family)
            .Id(a.id)
            .Float(a.f)
            .Float(contributions_[i]);
      out_.Line(std::string("|X") + a.id + "|T1|T5|I" + Format(a.f) + "|T7|T5" +
                Format(contributions_[i]));
    }
    out_.Line(kDashes);
  }

  std::string Format(float value) const { return FormatNumber(ped_.settings.numberFormat, value); }

 private:
  struct Frame {
    std::int32_t code;
    std::uint8_t next;  // 0 not entered, 1 dam next, 2 sire next, 3 done
  };
  static constexpr std::uint8_t kSireSide = 1;    // ancestor-or-self of the sire
  static constexpr std::uint8_t kDamSide = 2;     // ancestor-or-self of the dam
  static constexpr std::uint8_t kLeads = 4;       // has a common ancestor at or above it
  static constexpr std::uint8_t kOnSirePath = 8;  // on the current sire-side path

  std::int32_t& Tag(std::int32_t c) { return tag_[static_cast<std::size_t>(c)]; }
  std::uint8_t& Flags(std::int32_t c) { return flags_[static_cast<std::size_t>(c)]; }
  bool Leads(std::int32_t c) { return (Flags(c) & kLeads) != 0; }

  // Only individuals with a common ancestor of both parents at or above them
  // can lie on a path; the others are left out of both searches, which
  // changes no path and spares the walks through the rest of the ancestry.
  void MarkLeadingAncestors(std::int32_t s, std::int32_t d) {
    for (const auto& [start, side] : {std::pair{s, kSireSide}, std::pair{d, kDamSide}}) {
      std::vector<std::int32_t>& stack = queue_;
      stack.assign({start});
      while (!stack.empty()) {
        const std::int32_t c = stack.back();
        stack.pop_back();
        if (c == 0 || (Flags(c) & side) != 0) continue;
        if (Flags(c) == 0) marked_.push_back(c);
        Flags(c) |= side;
        stack.push_back(Sire(c));
        stack.push_back(Dam(c));
      }
    }
    std::sort(marked_.begin(), marked_.end());
    for (const std::int32_t c : marked_) {
      const bool common = (Flags(c) & (kSireSide | kDamSide)) == (kSireSide | kDamSide);
      if (common || (Sire(c) != 0 && Leads(Sire(c))) || (Dam(c) != 0 && Leads(Dam(c))))
        Flags(c) |= kLeads;
    }
  }

  void ClearFlags() {
    for (const std::int32_t c : marked_) Flags(c) = 0;
    marked_.clear();
  }

  // The next parent to go up to: the dam, then the sire, when known and on
  // the way to a common ancestor; 0 when none is left.
  std::int32_t NextParent(Frame& f) {
    while (f.next < 3) {
      const std::int32_t p = f.next == 1 ? Dam(f.code) : Sire(f.code);
      ++f.next;
      if (p != 0 && Leads(p)) return p;
    }
    return 0;
  }

  // The paths from the dam up to `a` that share no individual with the
  // sire-side path; an ancestor always has a smaller code.
  void SearchDamSide(std::int32_t a, std::int32_t d) {
    if (Leads(d)) damStack_.push_back({d, 0});
    while (!damStack_.empty() && !stop_) {
      Frame& f = damStack_.back();
      if (f.next == 0) {
        const std::int32_t v = f.code;
        if ((++visits_ & kPollMask) == 0 && poll_ && poll_()) Cancel();
        if (a > v || (a != v && (Flags(v) & kOnSirePath) != 0)) {
          damStack_.pop_back();
          continue;
        }
        if (a == v) {
          Found();
          damStack_.pop_back();
          continue;
        }
        f.next = 1;
      }
      const std::int32_t p = NextParent(damStack_.back());
      if (p != 0)
        damStack_.push_back({p, 0});
      else
        damStack_.pop_back();
    }
    damStack_.clear();
  }

  void Found() {
    if (counting_) {
      if (++counted_ > budget_) stop_ = true;
      return;
    }
    const std::int32_t a = damStack_.back().code;
    const std::size_t n1 = sireStack_.size() - 1;
    const std::size_t n2 = damStack_.size() - 1;
    std::int32_t& slot = ncaSlot_[static_cast<std::size_t>(a)];
    if (slot < 0) {
      slot = static_cast<std::int32_t>(ncas_.size());
      ncas_.push_back(a);
      contributions_.push_back(0.0f);
    }
    float power = 1.0f;
    for (std::size_t i = 0; i < n1 + n2 + 1; ++i) power = power * 0.5f;
    const float share = (1.0f + ped_.byCode(a - 1).f) * power;
    float& c = contributions_[static_cast<std::size_t>(slot)];
    c = c + share;
    WritePath(n1, n2, share);
  }

  // The path as the saved file has it: "<S2<S1<A>D1>D2>", sire side first.
  void AddPathRow(std::size_t n1, std::size_t n2, float share) {
    std::string& text = plain_;
    text.clear();
    for (std::size_t i = 0; i < n1; ++i) text.append("<").append(Id(sireStack_[i].code));
    text.append("<").append(Id(damStack_[n2].code)).append(">");
    for (std::size_t j = n2; j-- > 0;) text.append(Id(damStack_[j].code)).append(">");
    out_.tables->paths->AddRow()
        .Integer(out_.tables->family)
        .Id(Id(damStack_[n2].code))
        .Integer(static_cast<std::int64_t>(n1))
        .Integer(static_cast<std::int64_t>(n2))
        .Float(share)
        .Text(text);
  }

  void WritePath(std::size_t n1, std::size_t n2, float share) {
    if (out_.Full()) {
      stop_ = true;
      return;
    }
    if (out_.tables != nullptr) AddPathRow(n1, n2, share);
    const bool toFile = out_.file != nullptr;
    std::string& text = text_;
    text.clear();
    for (std::size_t i = 0; i < n1; ++i) text.append("<").append(Id(sireStack_[i].code));
    text.append(toFile ? "<" : "<|X").append(Id(damStack_[n2].code)).append(toFile ? ">" : "|A>");
    for (std::size_t j = n2; j-- > 0;) text.append(Id(damStack_[j].code)).append(">");
    if (!toFile) {
      AddCut(out_.report, text);
      return;
    }
    text += '\n';
    out_.file->Raw(text);
  }

  const char* Id(std::int32_t c) const { return ped_.byCode(c - 1).id; }

  const Pedigree& ped_;
  Output& out_;
  std::function<bool()> poll_;
  std::vector<std::int32_t> sire_, dam_;  // parents' codes by code
  std::vector<std::int32_t> tag_;         // the common-ancestor test's tags
  std::vector<std::int32_t> queue_;
  std::vector<std::uint8_t> flags_;
  std::vector<std::int32_t> marked_;  // codes whose flags are set
  std::vector<Frame> sireStack_, damStack_;
  std::vector<std::int32_t> ncas_;  // in the order first met
  std::vector<float> contributions_;
  std::vector<std::int32_t> ncaSlot_;  // code -> index in ncas_, -1
  std::string text_;
  std::string plain_;
  std::uint32_t visits_ = 0;
  bool counting_ = false;
  std::uint64_t budget_ = 0;
  std::uint64_t counted_ = 0;
  bool stop_ = false;
  bool canceled_ = false;
};

// ---------------------------------------------------------------------------
// The three operations.

enum class Scope { kIndividual, kGroup, kAll };

void WriteHeader(Output& out, int groupNumber) {
  out.Line("|XResults for path counting method:");
  if (groupNumber >= 0) {
    out.Line("Group|T5" + std::to_string(groupNumber));
    out.Line("");
  }
  out.Line("Individual|T1|T5F");
  out.Line("----------|T1|T5----------");
}

void WriteIdLine(LoopSearch& search, Output& out, const Rec& r) {
  if (out.tables != nullptr)
    out.tables->inbreds->AddRow().Integer(out.tables->family).Id(r.id).Float(r.f);
  out.Line(std::string(r.id) + "|T1|T5|I" + search.Format(r.f));
}

// The end of a run that found nobody, or a cancel: the report says so and
// nothing can be saved from it.
void EndWith(CommandContext& ctx, const std::string& line) {
  ctx.ped.report.Clear();
  ctx.ped.report.Add(line);
  ctx.lastCommand = 0;
}

void RunIndividual(CommandContext& ctx, Output& out, RecIndex x) {
  const Rec& r = ctx.ped.rec(x);
  // No progress window unless one individual takes long: then one shows up,
  // so that even a single deep search can be cancelled.
  std::unique_ptr<ProgressWindow> window;
  std::unique_ptr<Progress> progress;
  LoopSearch search(ctx.ped, out, [&]() {
    if (!window) {
      window = ctx.platform.OpenProgress();
      progress = std::make_unique<Progress>(*window);
      progress->SetStage(0, 100, 0, kLabel);
    }
    return window->PollCancel();
  });
  const std::int32_t c = r.code;
  if (search.Sire(c) == 0 || search.Dam(c) == 0 || !search.HasCommonAncestor(c)) {
    EndWith(ctx, std::string("|X") + r.id + " |Ais not inbred.");
    return;
  }
  if (out.tables != nullptr) out.tables->family = 1;
  WriteIdLine(search, out, r);
  out.Line("Path(s):");
  search.Enumerate(search.Sire(c), search.Dam(c));
  if (search.Canceled()) return ShowCanceled(ctx);
  search.WriteNcas();
}

// The group (index `group`) or every individual (-1), full-sib run by run.
void RunMany(CommandContext& ctx, Output& out, std::int32_t group) {
  Pedigree& ped = ctx.ped;
  const std::int32_t n = ped.nTotal;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 100, group < 0 ? n : ped.groups[static_cast<std::size_t>(group)].count,
                    kLabel);
  LoopSearch search(ped, out, [&window]() { return window->PollCancel(); });
  const auto in = [&](std::int32_t c) { return group < 0 || ped.byCode(c - 1).group == group; };
  bool listed = false;
  std::int64_t visited = 0;
  for (std::int32_t c = 1; c <= n && !search.Stopped(); ++c) {
    const std::int32_t s = search.Sire(c), d = search.Dam(c);
    if (s == 0 || d == 0 || !in(c)) continue;
    std::int32_t end = c;
    std::int64_t members = 1;
    for (; end < n && search.Sire(end + 1) == s && search.Dam(end + 1) == d; ++end)
      members += in(end + 1) ? 1 : 0;
    const bool loops = search.HasCommonAncestor(c);
    if (loops) {
      listed = true;
      if (out.tables != nullptr) ++out.tables->family;
      for (std::int32_t k = c; k <= end; ++k)
        if (in(k)) WriteIdLine(search, out, ped.byCode(k - 1));
      out.Line("Path(s):");
      search.Enumerate(s, d);
      if (!search.Canceled()) search.WriteNcas();
    }
    if (group >= 0 || loops) {
      if (search.Canceled() || progress.Step(group >= 0 ? visited : end - 1))
        return ShowCanceled(ctx);
    }
    visited += members;
    c = end;
  }
  if (listed) return;
  EndWith(ctx, group < 0 ? "There is no inbred."
                         : "There is no inbred in the group |X" +
                               std::to_string(ped.groups[static_cast<std::size_t>(group)].group) +
                               ".");
}

// The individual and the group of the last runs, found again by the ID and
// the number they were picked by (kUnknownParent, -1 none).
RecIndex PathIndividual(CommandContext& ctx) {
  std::string typed = ctx.remembered.values.Text(PathCountingIndividualDeclaration(), "id");
  return typed.empty() ? kUnknownParent : FindTypedId(ctx.ped, typed);
}

int PathGroup(const CommandContext& ctx) {
  const auto number = WholeInteger(ctx.remembered.values.Text(PathCountingGroupDeclaration(), "group"),
                                   std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  return number ? static_cast<int>(*number) : -1;
}

// Common steps: the remembered input, the coefficients, the header, the run.
// With a file and `tablesInto`, the tables of the whole run go there too.
void Run(CommandContext& ctx, Scope scope, OutputFile* file, ResultSet* tablesInto = nullptr) {
  const std::int32_t group = scope == Scope::kGroup ? GroupIndexOf(ctx.ped, PathGroup(ctx)) : -1;
  const RecIndex individual = scope == Scope::kIndividual ? PathIndividual(ctx) : kUnknownParent;
  if (scope == Scope::kIndividual && individual == kUnknownParent) return;
  if (scope == Scope::kGroup && group < 0) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = scope == Scope::kIndividual ? kCmdPathCountingIndividual
                    : scope == Scope::kGroup    ? kCmdPathCountingGroup
                                                : kCmdPathCountingAll;
  Output out{ctx.ped.report, file};
  PathTables tables;
  if (file == nullptr) {
    ctx.ped.report.Clear();
    tables = AddPathTables(ctx.ped.report.tables());
    out.tables = &tables;
  } else if (tablesInto != nullptr) {
    tables = AddPathTables(*tablesInto);
    out.tables = &tables;
  }
  WriteHeader(out, scope == Scope::kGroup ? PathGroup(ctx) : -1);
  if (scope == Scope::kIndividual)
    RunIndividual(ctx, out, individual);
  else
    RunMany(ctx, out, group);
}

}  // namespace

void OnPathCountingIndividual(CommandContext& ctx) {
  if (ctx.askInputs) {
    const auto x = AskIndividual(ctx, "Path counting method", "Calculate");
    if (!x) return;
    ctx.remembered.values.Set(kCmdPathCountingIndividual, "id", std::string(ctx.ped.rec(*x).Id()));
  }
  ctx.askInputs = true;
  Run(ctx, Scope::kIndividual, nullptr);
}

void OnPathCountingGroup(CommandContext& ctx) {
  if (ctx.askInputs) {
    const auto group = AskGroup(ctx, "Path counting method", "Calculate");
    if (!group) return;
    ctx.remembered.values.Set(kCmdPathCountingGroup, "group", std::to_string(*group));
  }
  ctx.askInputs = true;
  Run(ctx, Scope::kGroup, nullptr);
}

void OnPathCountingAll(CommandContext& ctx) { Run(ctx, Scope::kAll, nullptr); }

namespace {

// The help of kinvar-cli's path-counting, which its three commands share.
CommandDeclaration PathCounting(std::int32_t id, const char* scope, std::vector<Parameter> input,
                                void (*run)(CommandContext&)) {
  return CommandDeclaration{id, "path-counting", std::move(input)}
      .Scope(scope)
      .Runs(run)
      .Summary("Wright's path counting: the loops that make individuals inbred")
      .Explanation("Usage: kinvar-cli path-counting PEDIGREE individual ID|group G|all\n"
                   "Writes, for each inbred individual, every path from its sire up to a common ancestor\n"
                   "and down to its dam, the nodal common ancestors and their contributions to F. The paths\n"
                   "are counted first: a run with more than --max-paths N (default 1000000; 0: no limit)\n"
                   "is refused and writes nothing.");
}

}  // namespace

CommandDeclaration PathCountingIndividualDeclaration() {
  return PathCounting(kCmdPathCountingIndividual, "individual",
                      {Declare("id", ParameterType::kId).Help("The individual's ID")
                           .Shown(Control::kIndividualPicker).Positional()},
                      OnPathCountingIndividual)
      .Menu({.menu = kPathCountingMenu, .text = "An Individual...",
             .prompt = "Draw inbreeding loops for a specific individual",
             .tooltip = "Draw inbreeding loops for a specific individual", .rule = kValid,
             .follows = kCmdDecompositionGroup});
}

CommandDeclaration PathCountingGroupDeclaration() {
  return PathCounting(kCmdPathCountingGroup, "group",
                      {Declare("group", ParameterType::kGroup).Help("The group number")
                           .Shown(Control::kGroupPicker).Positional()},
                      OnPathCountingGroup)
      .Menu({.menu = kPathCountingMenu, .text = "A Group...", .prompt = "Draw inbreeding loops for a group",
             .tooltip = "Draw inbreeding loops for a group", .rule = kValid | kGroups});
}

CommandDeclaration PathCountingAllDeclaration() {
  return PathCounting(kCmdPathCountingAll, "all", {}, OnPathCountingAll)
      .Menu({.menu = kPathCountingMenu, .text = "All", .prompt = "Draw inbreeding loops for all individuals",
             .tooltip = "Draw inbreeding loops for all individuals", .rule = kValidNotShown});
}

namespace {

// The paths the run would list, counted up to limit + 1 without writing
// any; nothing when the user cancelled.
std::optional<std::uint64_t> CountPaths(CommandContext& ctx, Scope scope, std::uint64_t limit) {
  Pedigree& ped = ctx.ped;
  EnsureCodeOrder(ped);
  const std::int32_t group = scope == Scope::kGroup ? GroupIndexOf(ped, PathGroup(ctx)) : -1;
  if (scope == Scope::kGroup && group < 0) return 0;  // the run writes nothing either
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 100, ped.nTotal, "Counting paths...");
  Output nowhere{ped.report};
  LoopSearch search(ped, nowhere, [&window]() { return window->PollCancel(); });
  search.CountOnly(limit);
  const auto count = [&](std::int32_t c) {
    if (search.Sire(c) != 0 && search.Dam(c) != 0 && search.HasCommonAncestor(c))
      search.Enumerate(search.Sire(c), search.Dam(c));
  };
  if (scope == Scope::kIndividual) {
    if (const RecIndex x = PathIndividual(ctx); x != kUnknownParent) count(ped.rec(x).code);
  } else {
    const std::int32_t n = ped.nTotal;
    const auto in = [&](std::int32_t c) { return group < 0 || ped.byCode(c - 1).group == group; };
    for (std::int32_t c = 1; c <= n && !search.Stopped(); ++c) {
      const std::int32_t s = search.Sire(c), d = search.Dam(c);
      if (s == 0 || d == 0 || !in(c)) continue;
      count(c);
      while (c < n && search.Sire(c + 1) == s && search.Dam(c + 1) == d) ++c;
      if (progress.Step(c - 1)) search.Cancel();
    }
  }
  if (search.Canceled()) return std::nullopt;
  return search.Counted();
}

// A file takes every path, so a run past the limit is refused before its
// first line rather than filling the disk; false when refused or cancelled.
bool WithinPathLimit(CommandContext& ctx, Scope scope) {
  const std::int64_t limit = ctx.ped.settings.maxPaths;
  if (limit <= 0) return true;
  const auto counted = CountPaths(ctx, scope, static_cast<std::uint64_t>(limit));
  if (!counted) {
    ShowCanceled(ctx);
    return false;
  }
  if (*counted <= static_cast<std::uint64_t>(limit)) return true;
  ctx.platform.ShowMessage(PathLimitMessage(limit), MessageIcon::kError);
  return false;
}

bool IsPathCounting(std::int32_t command) {
  return command == kCmdPathCountingIndividual || command == kCmdPathCountingGroup ||
         command == kCmdPathCountingAll;
}

Scope ScopeOf(std::int32_t command) {
  return command == kCmdPathCountingIndividual ? Scope::kIndividual
         : command == kCmdPathCountingGroup    ? Scope::kGroup
                                               : Scope::kAll;
}

bool RunInto(CommandContext& ctx, OutputFile& file, ResultSet* tables) {
  if (!IsPathCounting(ctx.lastCommand)) return true;
  const Scope scope = ScopeOf(ctx.lastCommand);
  if (!WithinPathLimit(ctx, scope)) return false;
  Run(ctx, scope, &file, tables);
  return ctx.lastCommand != 0;
}

}  // namespace

std::string PathLimitMessage(std::int64_t limit) {
  return "The paths number more than " + std::to_string(limit) +
         ", the limit of paths written; nothing was written. Raise the limit to write them all.";
}

bool WritePathCountingFile(CommandContext& ctx, OutputFile& file) {
  return RunInto(ctx, file, nullptr);
}

bool CompletePathCountingTables(CommandContext& ctx) {
  if (!IsPathCounting(ctx.lastCommand) || !ctx.ped.report.Full()) return true;
  std::string error;
  const auto nowhere = OutputFile::Begin("/dev/null", error);
  if (!nowhere) return false;
  ResultSet whole;
  if (!RunInto(ctx, *nowhere, &whole)) return false;
  ctx.ped.report.tables() = std::move(whole);
  return true;
}

}  // namespace kinvar

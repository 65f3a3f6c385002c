// The Purging Analysis command: its settings form, the computation over the
// reference and its ancestors, and the report with its tables.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "analyses/purging.h"
#include "analyses/seed_file.h"
#include "genetics/mt19937.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kTitle = "Inbreeding-purging analysis";
constexpr std::size_t kFoundersShown = 20;

struct PurgingRun {
  int groupNumber = kAllIndividuals;
  float d = 0.0f;
  std::int32_t geneDrops = 0;
  std::uint32_t seed = 0;  // of the replicates, when there are any
  bool allFounders = false;
  AncestorSubset subset;
  std::vector<std::int32_t> reference;  // local numbers, in code order
  std::vector<float> fa, g, partial;
  std::vector<FounderOrigin> founders;
  std::optional<GeneDropFigures> drops;
};

std::string Shortest(float value) {
  char buffer[32];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

// The settings form; false when the user cancelled.
bool AskSettings(CommandContext& ctx, const CommandDeclaration& declaration) {
  return ctx.platform.AskValues(DeclaredForm(declaration, kTitle, ctx.remembered.values, ctx.platform));
}

// The seed the settings name: the one typed, else none (a run draws a new
// one from the seed file); after a run, the seed it used, so that a re-run
// with other options repeats the same replicates.
std::optional<std::uint32_t> RememberedSeed(const CommandContext& ctx, const CommandDeclaration& declaration) {
  const std::string text = ctx.remembered.values.Text(declaration, "seed");
  if (text.empty()) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(text));
}

// One seed per replicate, all from the run's one seed, so that the report
// can name what repeats its figures.
std::vector<std::uint32_t> DrawSeeds(std::uint32_t runSeed, std::int32_t count) {
  Mt19937 generator;
  InitGenerator(generator, runSeed);
  std::vector<std::uint32_t> seeds(static_cast<std::size_t>(count));
  for (std::uint32_t& seed : seeds) seed = NextRandom(generator);
  return seeds;
}

// The seed file's generator, loaded before the computation so that a seed
// file that is refused stops the run with the report as it was.
struct Seeding {
  Mt19937 generator;
  SeedSource source = SeedSource::kFile;
};

bool Compute(CommandContext& ctx, PurgingRun& run, Progress& progress, Seeding& seeding) {
  Pedigree& ped = ctx.ped;
  std::vector<RecIndex> seeds;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (run.groupNumber == kAllIndividuals || ped.GroupNumber(r) == run.groupNumber)
      seeds.push_back(ped.records[static_cast<std::size_t>(i)]);
  }
  run.subset = BuildAncestorSubset(ped, seeds);
  for (const RecIndex s : seeds) run.reference.push_back(run.subset.LocalOf(ped.rec(s)));
  run.fa = BallouAncestralInbreeding(ped, run.subset);
  auto g = PurgedInbreeding(ped, run.subset, run.d, ped.settings.threads, progress);
  if (!g) return false;
  run.g = std::move(*g);
  run.founders = FounderOrigins(run.subset, run.reference, run.allFounders ? 0 : kFoundersShown);
  auto partial = PartialInbreeding(ped, run.subset, run.founders, ped.settings.threads, progress);
  if (!partial) return false;
  run.partial = std::move(*partial);
  if (run.geneDrops == 0) return true;
  // A new seed is the next word of the seed file's stream (loaded before
  // the run, so that a refused file stops it before anything changes); the
  // file is written back only after a complete run.
  const CommandDeclaration declaration = PurgingDeclaration();
  const std::optional<std::uint32_t> typed = RememberedSeed(ctx, declaration);
  const bool fresh = !typed.has_value();
  run.seed = fresh ? NextRandom(seeding.generator) : *typed;
  run.drops = DropGenes(ped, run.subset, run.reference, DrawSeeds(run.seed, run.geneDrops),
                        ped.settings.threads, progress);
  if (!run.drops) return false;
  ctx.remembered.values.Set(kCmdPurging, "seed", std::to_string(run.seed));
  if (fresh) SaveSeedFile(seeding.generator, ctx.seedPath, ctx.platform, BackupAfter(seeding.source));
  return true;
}

std::string FounderName(const Pedigree& ped, const PurgingRun& run, const FounderOrigin& f) {
  const std::string id(ped.rec(run.subset.recOf[static_cast<std::size_t>(f.local)]).Id());
  if (f.side == 0) return id;
  return std::string(f.side == 1 ? "unknown sire of " : "unknown dam of ") + id;
}

// Means over a set of reference positions.
struct Means {
  std::int64_t n = 0;
  double f = 0, fa = 0, g = 0, faDrop = 0, fNew = 0, fOld = 0;
};

void Add(const Pedigree& ped, const PurgingRun& run, std::size_t i, Means& m) {
  const std::int32_t k = run.reference[i];
  ++m.n;
  m.f += static_cast<double>(ped.rec(run.subset.recOf[static_cast<std::size_t>(k)]).f);
  m.fa += static_cast<double>(run.fa[static_cast<std::size_t>(k)]);
  m.g += static_cast<double>(run.g[static_cast<std::size_t>(k)]);
  if (run.drops) {
    m.faDrop += run.drops->ancestral[i];
    m.fNew += run.drops->fNew[i];
    m.fOld += run.drops->fOld[i];
  }
}

Means Finish(Means m) {
  if (m.n == 0) return m;
  const auto n = static_cast<double>(m.n);
  for (double* v : {&m.f, &m.fa, &m.g, &m.faDrop, &m.fNew, &m.fOld}) *v /= n;
  return m;
}

std::string Num(const Pedigree& ped, double value) {
  return FormatNumber(ped.settings.numberFormat, static_cast<float>(value));
}

std::string Cell(const std::string& text, int width) {
  std::string cell = text;
  if (static_cast<int>(cell.size()) < width) cell.append(static_cast<std::size_t>(width) - cell.size(), ' ');
  return cell + " ";
}

std::string FiguresLine(const Pedigree& ped, const PurgingRun& run, const std::string& first,
                        int firstWidth, const Means& m, const std::string& count) {
  std::string line = Cell(first, firstWidth) + count;
  for (const double v : {m.f, m.fa, m.g}) line += Cell(Num(ped, v), 11);
  if (run.drops)
    for (const double v : {m.faDrop, m.fNew, m.fOld}) line += Cell(Num(ped, v), 11);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string Heading(const PurgingRun& run, const std::string& first, int firstWidth, const std::string& count) {
  std::string line = "|A" + Cell(first, firstWidth) + count + Cell("F", 11) + Cell("Fa", 11) + Cell("g", 11);
  if (run.drops) line += Cell("Fa (drop)", 11) + Cell("F new", 11) + Cell("F old", 11);
  while (line.back() == ' ') line.pop_back();
  return line;
}

void WriteSummary(Pedigree& ped, const PurgingRun& run, const Means& all, ResultTable& summary) {
  const std::string reference =
      run.groupNumber == kAllIndividuals ? "All individuals" : "Group " + std::to_string(run.groupNumber);
  const auto figure = [](const char* label, const std::string& value) {
    return std::string(label) + "|T3|I" + value;
  };
  WriteReportLines(ped, {std::string("|X") + kTitle, "", figure("Reference population", reference),
                         figure("Reference individuals", std::to_string(all.n)),
                         figure("Purging coefficient (d)", Shortest(run.d)),
                         figure("Gene-dropping replicates", run.geneDrops == 0 ? "none" : std::to_string(run.geneDrops))});
  if (run.drops) WriteReportLines(ped, {figure("Random seed", std::to_string(run.seed))});
  WriteReportLines(ped, {"", figure("Mean inbreeding (F)", Num(ped, all.f)),
                         figure("Mean ancestral inbreeding, Ballou (Fa)", Num(ped, all.fa)),
                         figure("Mean purged inbreeding (g)", Num(ped, all.g))});
  summary.AddFigure("Reference population", run.groupNumber == kAllIndividuals
                                                ? std::nan("")
                                                : static_cast<double>(run.groupNumber));
  summary.AddFigure("Reference individuals", all.n);
  summary.AddFigure("Purging coefficient (d)", run.d);
  summary.AddFigure("Gene-dropping replicates", std::int64_t{run.geneDrops});
  if (run.drops) summary.AddFigure("Random seed", std::int64_t{run.seed});
  summary.AddFigure("Mean inbreeding (F)", all.f);
  summary.AddFigure("Mean ancestral inbreeding, Ballou (Fa)", all.fa);
  summary.AddFigure("Mean purged inbreeding (g)", all.g);
  if (run.drops) {
    WriteReportLines(ped, {figure("Mean ancestral inbreeding, gene dropping", Num(ped, all.faDrop)),
                           figure("Mean new inbreeding, Kalinowski (F new)", Num(ped, all.fNew)),
                           figure("Mean old inbreeding, Kalinowski (F old)", Num(ped, all.fOld))});
    summary.AddFigure("Mean ancestral inbreeding, gene dropping", all.faDrop);
    summary.AddFigure("Mean new inbreeding, Kalinowski (F new)", all.fNew);
    summary.AddFigure("Mean old inbreeding, Kalinowski (F old)", all.fOld);
  }
}

void WriteGroups(Pedigree& ped, const PurgingRun& run, ResultSet& tables) {
  std::vector<Means> byGroup(ped.groups.size());
  for (std::size_t i = 0; i < run.reference.size(); ++i) {
    const Rec& r = ped.rec(run.subset.recOf[static_cast<std::size_t>(run.reference[i])]);
    if (r.group >= 0) Add(ped, run, i, byGroup[static_cast<std::size_t>(r.group)]);
  }
  ResultTable& t = tables.Add("purging_groups");
  t.AddColumn("group", ColumnType::kInteger).AddColumn("individuals", ColumnType::kInteger);
  for (const char* name : {"f", "fa_ballou", "g"}) t.AddColumn(name, ColumnType::kReal);
  if (run.drops)
    for (const char* name : {"fa_gene_drop", "f_new", "f_old"}) t.AddColumn(name, ColumnType::kReal);
  WriteReportLines(ped, {"", "|XMeans by group", Heading(run, "Group", 11, Cell("Individuals", 11))});
  for (const std::int32_t index : ped.groupOrder) {
    const Means m = Finish(byGroup[static_cast<std::size_t>(index)]);
    if (m.n == 0) continue;
    const int number = ped.groups[static_cast<std::size_t>(index)].group;
    WriteReportLines(ped, {FiguresLine(ped, run, std::to_string(number), 11, m, Cell(std::to_string(m.n), 11))});
    TableRow row = t.AddRow();
    row.Integer(number).Integer(m.n).Real(m.f).Real(m.fa).Real(m.g);
    if (run.drops) row.Real(m.faDrop).Real(m.fNew).Real(m.fOld);
  }
}

void WriteFounders(Pedigree& ped, const PurgingRun& run, ResultSet& tables) {
  ResultTable& t = tables.Add("founders");
  t.AddColumn("founder", ColumnType::kId).AddColumn("contribution", ColumnType::kReal);
  WriteReportLines(ped, {"", std::string("|XFounders of the partial inbreeding") +
                                 (run.allFounders ? " (all)" : " (the largest contributions)"),
                         "|A" + Cell("Founder", 34) + "Contribution"});
  for (const FounderOrigin& f : run.founders) {
    const std::string name = FounderName(ped, run, f);
    WriteReportLines(ped, {Cell(name, 34) + Num(ped, f.contribution)});
    t.AddRow().Id(name).Real(f.contribution);
  }
}

void WriteIndividuals(Pedigree& ped, const PurgingRun& run, ResultSet& tables) {
  ResultTable& t = tables.Add("purging");
  t.AddColumn("id", ColumnType::kId).AddColumn("code", ColumnType::kInteger);
  for (const char* name : {"f", "fa_ballou", "g"}) t.AddColumn(name, ColumnType::kReal);
  if (run.drops)
    for (const char* name : {"fa_gene_drop", "fa_gene_drop_se", "f_gene_drop", "f_new", "f_old"})
      t.AddColumn(name, ColumnType::kReal);
  ResultTable& partial = tables.Add("partial_inbreeding");
  partial.AddColumn("id", ColumnType::kId).AddColumn("founder", ColumnType::kId).AddColumn("value", ColumnType::kReal);
  WriteReportLines(ped, {"", "|XIndividuals", Heading(run, "ID", 20, "")});
  const std::size_t nj = run.founders.size();
  std::vector<std::string> founderNames;
  for (const FounderOrigin& f : run.founders) founderNames.push_back(FounderName(ped, run, f));
  for (std::size_t i = 0; i < run.reference.size(); ++i) {
    const auto k = static_cast<std::size_t>(run.reference[i]);
    const Rec& r = ped.rec(run.subset.recOf[k]);
    Means one;
    Add(ped, run, i, one);
    WriteReportLines(ped, {FiguresLine(ped, run, std::string(r.Id()), 20, one, "")});
    TableRow row = t.AddRow();
    row.Id(r.Id()).Integer(r.code).Float(r.f).Float(run.fa[k]).Float(run.g[k]);
    if (run.drops) {
      const GeneDropFigures& d = *run.drops;
      row.Real(d.ancestral[i]).Real(d.ancestralSe[i]).Real(d.f[i]).Real(d.fNew[i]).Real(d.fOld[i]);
    }
    for (std::size_t j = 0; j < nj; ++j)
      if (const float v = run.partial[k * nj + j]; v != 0.0f)
        partial.AddRow().Id(r.Id()).Id(founderNames[j]).Float(v);
  }
}

void WriteReport(Pedigree& ped, const PurgingRun& run) {
  ResultSet tables;
  Means all;
  for (std::size_t i = 0; i < run.reference.size(); ++i) Add(ped, run, i, all);
  all = Finish(all);
  WriteSummary(ped, run, all, tables.Add(SummaryTable()));
  if (ped.HasGroupColumn()) WriteGroups(ped, run, tables);
  WriteFounders(ped, run, tables);
  WriteIndividuals(ped, run, tables);
  ped.report.tables() = std::move(tables);
}

}  // namespace

CommandDeclaration PurgingDeclaration() {
  using T = ParameterType;
  CommandDeclaration d{kCmdPurging, "purging", {}};
  d.parameters = {
      Declare("group", T::kGroup).Default("all").Help("The group number, or all")
          .Shown(Control::kGroupPicker).Positional(),
      Declare("purging-coefficient", T::kNumber).Default("0").Range(0.0, 0.5).Single()
          .Help("The purging coefficient d, 0 to 0.5 (default 0)").Label("Purging coefficient d (0 to 0.5)")
          .Refusal("The purging coefficient must be a number from 0 to 0.5."),
      Declare("gene-drop", T::kInteger).Default("0").Range(0.0, kMaxGeneDrops)
          .Help("Gene-dropping replicates (default none)").Label("Gene-dropping replicates (0 for none)")
          .Refusal("The number of gene-dropping replicates must be a whole number from 0 to " +
                   std::to_string(kMaxGeneDrops) + ".")
          .Keyword("gene_drops"),
      Declare("all-founders", T::kFlag).Default("0").Help("Partial inbreeding for every founder, not the 20 largest")
          .Label("Partial inbreeding for all founders (else the 20 largest)").Shown(Control::kCheck),
      Declare(kSeedFileParameter, T::kFile).Help("The seed file of the random generator")
          .Shown(Control::kNone).Keyword("seed"),
      Declare("seed", T::kInteger).Range(0.0, 4294967295.0).Help("The gene-dropping seed (default a new one)")
          .Label("Random seed of gene dropping (empty: a new one)").Refusal(kTypedSeedMessage).Keyword("-")
          .EmptyMeansNone().NotRecalled(),
  };
  return d
      .Runs(OnPurgingAnalysis)
      .Summary("Ancestral, partial and purged inbreeding of a group or of all individuals")
      .Explanation("Usage: kinvar-cli purging PEDIGREE G|all [--purging-coefficient D] [--gene-drop N]\n"
                   "[--all-founders] [--seed-file FILE] [--seed S]\n"
                   "Writes per individual F, Ballou's ancestral inbreeding Fa and the purged inbreeding g for\n"
                   "the purging coefficient D (Garcia-Dorado 2012; default 0, which gives g = F); with\n"
                   "--gene-drop N, N gene-dropping replicates estimate the ancestral inbreeding (Baumung et\n"
                   "al. 2015) and split F into new and old inbreeding (Kalinowski et al. 2000), from the\n"
                   "random seed S, or a new seed drawn from the stream of the seed file (the report names\n"
                   "it); and the partial inbreeding coefficients F_i(j)\n"
                   "(Gulisija & Crow 2007) for the 20 founders that contribute most, or all of them.")
      .Menu({.menu = kInbreedingMenu, .text = "P&urging Analysis...",
             .prompt = "Ancestral, partial and purged inbreeding of a group or of all individuals",
             .tooltip = "Purging analysis", .rule = kValid, .follows = kCmdPathCountingAll});
}

void OnPurgingAnalysis(CommandContext& ctx) {
  const CommandDeclaration declaration = PurgingDeclaration();
  const bool ask = ctx.askInputs;
  const std::optional<int> reference = ChooseGroupOrAll(ctx, kTitle, declaration, "group");
  if (!reference || (ask && !AskSettings(ctx, declaration))) return;
  const CommandValues& values = ctx.remembered.values;
  PurgingRun run;
  run.groupNumber = *reference;
  run.d = static_cast<float>(values.Number(declaration, "purging-coefficient"));
  run.geneDrops = static_cast<std::int32_t>(values.Number(declaration, "gene-drop"));
  run.allFounders = values.Flag(declaration, "all-founders");
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Seeding seeding;
  // A re-run repeats its remembered seed and leaves the seed file alone.
  if (run.geneDrops > 0 && !RememberedSeed(ctx, declaration)) {
    seeding.source = LoadSeedFile(seeding.generator, ctx.seedPath, ctx.platform, ClockSeed(),
                                  SeedOwner(ctx.seedFileNamed));
    if (seeding.source == SeedSource::kRefused) return;
  }
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const bool done = Compute(ctx, run, progress, seeding);
  window.reset();
  if (!done) {
    ShowCanceled(ctx);
    return;
  }
  ctx.ped.report.Clear();
  ctx.ped.copyFile.Reset();
  ctx.lastCommand = kCmdPurging;
  if (run.drops && seeding.source == SeedSource::kClock) WriteReportLines(ctx.ped, {kClockSeedMessage});
  WriteReport(ctx.ped, run);
}

}  // namespace kinvar

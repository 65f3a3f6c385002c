#include "genotype_generator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench_support.h"
#include "pedigree/load.h"

namespace kinvar::bench {

const char* const kGenotypeUsage =
    "  --genotypes M        also write genotypes of M SNPs dropped through the pedigree\n"
    "  --genotype-format F  text (OUTPUT.txt, default) or plink (OUTPUT.bed/.bim/.fam)\n"
    "  --genotype-maf-spread S  founder allele frequencies uniform on 0.5 +- S (default 0.45)\n"
    "  --linkage R          crossover chance between neighbouring SNPs (default 0.5: unlinked)\n"
    "  --wrong-parents W    share of known parents that are not the true ones\n"
    "                       (listed in OUTPUT-wrong-parents.txt)\n"
    "  --genotype-missing X share of genotypes written as missing\n";

namespace {

// splitmix64: small, fast and the same everywhere.
class Stream {
 public:
  explicit Stream(std::uint64_t seed) : state_(seed ^ 0x9E3779B97F4A7C15ull) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // True with chance `threshold` / 2^64.
  bool Below(std::uint64_t threshold) { return Next() < threshold; }
  std::uint64_t Uniform(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

// The integer a draw is compared with for chance `p` in [0, 1].
std::uint64_t Threshold(double p) {
  if (p <= 0.0) return 0;
  if (p >= 1.0) return ~std::uint64_t{0};
  return static_cast<std::uint64_t>(p * 18446744073709551616.0);
}

using Haplotype = std::vector<std::uint64_t>;

struct Dropper {
  const GenotypeGeneratorOptions& options;
  std::int64_t words;
  std::vector<std::uint64_t> frequency;  // per SNP, as a threshold
  Stream stream;

  Haplotype Founder() {
    Haplotype h(static_cast<std::size_t>(words), 0);
    for (std::int64_t j = 0; j < options.snps; ++j)
      if (stream.Below(frequency[static_cast<std::size_t>(j)])) h[static_cast<std::size_t>(j / 64)] |= 1ull << (j % 64);
    return h;
  }

  // One gamete of a parent with haplotypes a and b.
  Haplotype Gamete(const Haplotype& a, const Haplotype& b) {
    Haplotype g(static_cast<std::size_t>(words));
    if (options.linkage >= 0.5) {
      for (std::size_t w = 0; w < g.size(); ++w) {
        const std::uint64_t mask = stream.Next();
        g[w] = (a[w] & ~mask) | (b[w] & mask);
      }
      return g;
    }
    const std::uint64_t cross = Threshold(options.linkage);
    bool second = stream.Next() & 1;
    for (std::int64_t j = 0; j < options.snps; ++j) {
      if (j > 0 && stream.Below(cross)) second = !second;
      const std::size_t w = static_cast<std::size_t>(j / 64);
      const std::uint64_t bit = 1ull << (j % 64);
      if (((second ? b[w] : a[w]) & bit) != 0) g[w] |= bit;
      else g[w] &= ~bit;
    }
    return g;
  }
};

// Parents in code order by role, for drawing a wrong one born before.
struct ParentPools {
  std::vector<std::vector<RecIndex>> byRole{2};  // 0 sires, 1 dams; ascending code
};

ParentPools PoolsOf(const Pedigree& ped) {
  std::vector<char> role(ped.recs.size(), 0);
  for (RecIndex r = 1; r <= ped.nTotal; ++r) {
    if (ped.rec(r).sire != kUnknownParent) role[static_cast<std::size_t>(ped.rec(r).sire)] |= 1;
    if (ped.rec(r).dam != kUnknownParent) role[static_cast<std::size_t>(ped.rec(r).dam)] |= 2;
  }
  ParentPools pools;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const RecIndex r = ped.records[static_cast<std::size_t>(i)];
    if (role[static_cast<std::size_t>(r)] & 1) pools.byRole[0].push_back(r);
    if (role[static_cast<std::size_t>(r)] & 2) pools.byRole[1].push_back(r);
  }
  return pools;
}

// The true parent: the recorded one, or with the chance asked another of
// the same role coded before the animal.
RecIndex TrueParent(const Pedigree& ped, RecIndex animal, int role, const std::vector<RecIndex>& pool,
                    std::uint64_t wrongChance, Stream& stream, std::vector<WrongParent>& wrong) {
  const Rec& a = ped.rec(animal);
  const RecIndex recorded = role == 0 ? a.sire : a.dam;
  if (recorded == kUnknownParent || !stream.Below(wrongChance)) return recorded;
  const auto before = std::lower_bound(pool.begin(), pool.end(), a.code,
                                       [&](RecIndex r, std::int32_t code) { return ped.rec(r).code < code; });
  const auto count = static_cast<std::uint64_t>(before - pool.begin());
  if (count < 2) return recorded;
  RecIndex other = recorded;
  while (other == recorded) other = pool[static_cast<std::size_t>(stream.Uniform(count))];
  wrong.push_back({a.id, role == 0 ? "sire" : "dam", ped.rec(recorded).id, ped.rec(other).id});
  return other;
}

void WriteCodes(const Haplotype& a, const Haplotype& b, std::int64_t snps, std::uint64_t missing, Stream& stream,
                std::uint8_t* out) {
  for (std::int64_t j = 0; j < snps; ++j) {
    const std::size_t w = static_cast<std::size_t>(j / 64);
    const int shift = static_cast<int>(j % 64);
    out[j] = static_cast<std::uint8_t>(((a[w] >> shift) & 1) + ((b[w] >> shift) & 1));
    if (missing != 0 && stream.Below(missing)) out[j] = kMissingGenotype;
  }
}

}  // namespace

SimulatedGenotypes SimulateGenotypes(const Pedigree& ped, const GenotypeGeneratorOptions& options) {
  Dropper dropper{options, (options.snps + 63) / 64, {}, Stream(options.seed)};
  for (std::int64_t j = 0; j < options.snps; ++j) {
    const double u = static_cast<double>(dropper.stream.Next() >> 11) / 9007199254740992.0;
    dropper.frequency.push_back(Threshold(0.5 - options.mafSpread + 2.0 * options.mafSpread * u));
  }
  const ParentPools pools = PoolsOf(ped);
  const std::uint64_t wrongChance = Threshold(options.wrongParents);
  std::vector<Haplotype> paternal(ped.recs.size()), maternal(ped.recs.size());
  SimulatedGenotypes out;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const RecIndex r = ped.records[static_cast<std::size_t>(i)];
    const RecIndex sire = TrueParent(ped, r, 0, pools.byRole[0], wrongChance, dropper.stream, out.wrong);
    const RecIndex dam = TrueParent(ped, r, 1, pools.byRole[1], wrongChance, dropper.stream, out.wrong);
    const auto s = static_cast<std::size_t>(sire), d = static_cast<std::size_t>(dam);
    paternal[static_cast<std::size_t>(r)] =
        sire == kUnknownParent ? dropper.Founder() : dropper.Gamete(paternal[s], maternal[s]);
    maternal[static_cast<std::size_t>(r)] =
        dam == kUnknownParent ? dropper.Founder() : dropper.Gamete(paternal[d], maternal[d]);
  }
  Genotypes& g = out.genotypes;
  for (std::int64_t j = 0; j < options.snps; ++j)
    g.snps.push_back({"1", "snp" + std::to_string(j + 1), (j + 1) * 1000, "A", "G"});
  g.codes.resize(static_cast<std::size_t>(ped.nTotal) * static_cast<std::size_t>(options.snps));
  const std::uint64_t missing = Threshold(options.missing);
  for (RecIndex r = 1; r <= ped.nTotal; ++r) {
    g.ids.emplace_back(ped.rec(r).id);
    WriteCodes(paternal[static_cast<std::size_t>(r)], maternal[static_cast<std::size_t>(r)], options.snps, missing,
               dropper.stream, g.codes.data() + static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(options.snps));
  }
  return out;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Create(const std::string& path, std::string& error) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) error = "cannot write " + path;
  return file;
}

bool Close(File file, const std::string& path, std::string& error) {
  const bool ok = std::ferror(file.get()) == 0 && std::fclose(file.release()) == 0;
  if (!ok) error = "cannot write " + path;
  return ok;
}

}  // namespace

bool WriteTextGenotypes(const Genotypes& g, const std::string& path, std::string& error) {
  File file = Create(path, error);
  if (!file) return false;
  std::string line;
  for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
    line = g.ids[static_cast<std::size_t>(a)] + ' ';
    for (std::int64_t j = 0; j < g.SnpCount(); ++j) {
      const std::uint8_t c = g.At(a, j);
      line += c == kMissingGenotype ? '5' : static_cast<char>('0' + c);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), file.get());
  }
  return Close(std::move(file), path, error);
}

bool WritePlinkSet(const Genotypes& g, const std::string& prefix, std::string& error) {
  File fam = Create(prefix + ".fam", error), bim = Create(prefix + ".bim", error), bed = Create(prefix + ".bed", error);
  if (!fam || !bim || !bed) return false;
  for (const std::string& id : g.ids) std::fprintf(fam.get(), "%s %s 0 0 0 -9\n", id.c_str(), id.c_str());
  for (const SnpInfo& s : g.snps)
    std::fprintf(bim.get(), "%s\t%s\t0\t%lld\t%s\t%s\n", s.chromosome.c_str(), s.name.c_str(),
                 static_cast<long long>(s.position), s.allele1.c_str(), s.allele2.c_str());
  std::fwrite("\x6c\x1b\x01", 1, 3, bed.get());
  constexpr unsigned kBits[10] = {0, 2, 3, 0, 0, 0, 0, 0, 0, 1};
  std::vector<unsigned char> row(static_cast<std::size_t>((g.AnimalCount() + 3) / 4));
  for (std::int64_t j = 0; j < g.SnpCount(); ++j) {
    std::fill(row.begin(), row.end(), 0);
    for (std::int64_t a = 0; a < g.AnimalCount(); ++a)
      row[static_cast<std::size_t>(a / 4)] |= static_cast<unsigned char>(kBits[g.At(a, j)] << (2 * (a % 4)));
    std::fwrite(row.data(), 1, row.size(), bed.get());
  }
  return Close(std::move(fam), prefix + ".fam", error) && Close(std::move(bim), prefix + ".bim", error) &&
         Close(std::move(bed), prefix + ".bed", error);
}

bool WriteWrongParents(const std::vector<WrongParent>& wrong, const std::string& path, std::string& error) {
  File file = Create(path, error);
  if (!file) return false;
  std::fputs("animal role recorded true\n", file.get());
  for (const WrongParent& w : wrong)
    std::fprintf(file.get(), "%s %s %s %s\n", w.animal.c_str(), w.role.c_str(), w.recorded.c_str(), w.truth.c_str());
  return Close(std::move(file), path, error);
}

namespace {

double Share(const Options& args, const char* name, double fallback) {
  const std::string text = args.Get(name, "");
  return text.empty() ? fallback : std::atof(text.c_str());
}

}  // namespace

int GenerateGenotypesFor(const Options& args, const std::string& pedigreePath) {
  GenotypeGeneratorOptions options;
  options.snps = args.Int("genotypes", 0);
  options.seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  options.mafSpread = Share(args, "genotype-maf-spread", options.mafSpread);
  options.linkage = Share(args, "linkage", options.linkage);
  options.wrongParents = Share(args, "wrong-parents", 0.0);
  options.missing = Share(args, "genotype-missing", 0.0);
  const std::string format = args.Get("genotype-format", "text");
  if (options.snps < 1 || options.mafSpread < 0 || options.mafSpread > 0.5 || options.linkage < 0 ||
      options.wrongParents < 0 || options.wrongParents > 1 || options.missing < 0 || options.missing > 1 ||
      (format != "text" && format != "plink")) {
    std::fprintf(stderr, "kinvar-generate: --genotypes must be at least 1, --genotype-maf-spread 0..0.5, "
                         "--wrong-parents and --genotype-missing 0..1, --genotype-format text or plink\n");
    return 2;
  }
  Pedigree ped;
  SilentProgressWindow window;
  Progress progress(window);
  const LoadOutcome load = LoadPedigree(pedigreePath, ped, progress);
  if (load.status != LoadStatus::kLoaded) {
    std::fprintf(stderr, "kinvar-generate: %s does not load: %s\n", pedigreePath.c_str(), load.message.c_str());
    return 1;
  }
  EnsureCodeOrder(ped);
  const SimulatedGenotypes simulated = SimulateGenotypes(ped, options);
  const std::string stem = pedigreePath.substr(0, pedigreePath.rfind('.') == std::string::npos ||
                                                          pedigreePath.rfind('.') < pedigreePath.rfind('/') + 1
                                                      ? pedigreePath.size()
                                                      : pedigreePath.rfind('.'));
  std::string error;
  const bool written = (format == "text" ? WriteTextGenotypes(simulated.genotypes, stem + ".txt", error)
                                         : WritePlinkSet(simulated.genotypes, stem, error)) &&
                       WriteWrongParents(simulated.wrong, stem + "-wrong-parents.txt", error);
  if (!written) {
    std::fprintf(stderr, "kinvar-generate: %s\n", error.c_str());
    return 1;
  }
  std::printf("%lld animals x %lld SNPs, %zu wrong parents\n", static_cast<long long>(simulated.genotypes.AnimalCount()),
              static_cast<long long>(options.snps), simulated.wrong.size());
  return 0;
}

}  // namespace kinvar::bench

#include "pedigree_generator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace kinvar::bench {

namespace {

// xoshiro256** seeded through splitmix64: small, fast and the same
// everywhere, unlike the standard library's distributions.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) {
    for (auto& word : state_) {
      seed += 0x9E3779B97F4A7C15ULL;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      word = z ^ (z >> 31);
    }
  }

  std::uint64_t Next() {
    const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = Rotl(state_[3], 45);
    return result;
  }

  // 0..n-1 by a multiply-high; the tiny bias does not matter here.
  std::int64_t Below(std::int64_t n) {
    const auto wide = static_cast<unsigned __int128>(Next()) * static_cast<std::uint64_t>(n);
    return static_cast<std::int64_t>(wide >> 64);
  }
  // Exact multiples of 2^-53 in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> state_{};
};

constexpr std::int32_t kNone = -1;
constexpr int kHerds = 5000;
constexpr double kFullSibChance = 0.25;

struct Animal {
  std::int32_t sire = kNone;
  std::int32_t dam = kNone;
  std::int32_t herd = 0;
  std::int32_t generation = 0;
  bool male = false;
  bool listed = true;
  std::int8_t fIndex = -1;  // into kFValues, -1 = not predefined
};

const char* const kFValues[] = {"0", "0.03125", "0.0625", "0.125"};
const char* const kCountries[] = {"DE", "NL", "FR", "US", "CA", "GB", "DK", "IT", "ESP", "AT", "CH", "NZ"};

struct Shape {
  std::int64_t generationSize = 0;
  std::int64_t sires = 0;  // per generation
  std::int64_t dams = 0;
  double unlistedFounders = 0.0;
};

Shape ShapeFor(const GeneratorOptions& o) {
  Shape s;
  if (o.deepGenerations > 0) {
    s.generationSize = std::max<std::int64_t>(20, o.individuals / (o.deepGenerations + 1));
    s.sires = std::max<std::int64_t>(5, s.generationSize / 1000);
    s.dams = std::max<std::int64_t>(20, s.generationSize / 20);
    s.unlistedFounders = 0.2;
  } else {
    // The wide shape is this one without the cap: a larger herd book grows
    // wider (more births, sires and dams per generation), not deeper.
    s.generationSize = o.wideGenerations > 0
                           ? std::max<std::int64_t>(200, o.individuals / o.wideGenerations)
                           : std::clamp<std::int64_t>(o.individuals / 25, 200, 40000);
    s.sires = std::max<std::int64_t>(5, s.generationSize / 40);
    s.dams = std::max<std::int64_t>(20, s.generationSize / 10);
    s.unlistedFounders = 0.4;
  }
  return s;
}

class Population {
 public:
  Population(const GeneratorOptions& o, Rng& rng) : o_(o), shape_(ShapeFor(o)), rng_(rng) {}

  void Breed() {
    starts_.push_back(0);
    Founders();
    for (int g = 1; listed_ < o_.individuals && (o_.deepGenerations == 0 || g <= o_.deepGenerations);
         ++g) {
      Generation(g);
    }
    // A deep pedigree may fall a little short of the requested size.
    while (listed_ < o_.individuals) Generation(static_cast<int>(starts_.size()) - 1);
  }

  const std::vector<Animal>& animals() const { return animals_; }
  int generations() const { return static_cast<int>(starts_.size()) - 1; }

 private:
  void Founders() {
    for (std::int64_t i = 0; i < shape_.generationSize && listed_ < o_.individuals; ++i) {
      Animal& a = NewAnimal(0);
      a.herd = static_cast<std::int32_t>(rng_.Below(kHerds));
      a.listed = !rng_.Chance(shape_.unlistedFounders);
      if (a.listed) {
        ++listed_;
        MaybePredefineF(a);
      }
    }
    starts_.push_back(static_cast<std::int64_t>(animals_.size()));
  }

  Animal& NewAnimal(int generation) {
    Animal& a = animals_.emplace_back();
    a.generation = generation;
    a.male = rng_.Below(2) == 0;
    return a;
  }

  void MaybePredefineF(Animal& a) {
    if (o_.fColumn && rng_.Chance(0.1)) a.fIndex = static_cast<std::int8_t>(rng_.Below(4));
  }

  // A generation h from which parents of generation g are drawn.
  int ParentGeneration(int g, bool sire) {
    const double u = rng_.Unit();
    int back = 1;
    if (o_.deepGenerations > 0) {
      back = u < (sire ? 0.9 : 0.8) ? 1 : 2;
    } else if (sire) {
      back = u < 0.6 ? 1 : (u < 0.9 ? 2 : 3);
    } else {
      back = u < 0.7 ? 1 : 2;
    }
    return std::max(0, g - back);
  }

  std::int32_t DrawParent(int g, bool male) {
    for (int attempt = 0; attempt < 64; ++attempt) {
      const int h = ParentGeneration(g, male);
      const std::int64_t first = starts_[static_cast<std::size_t>(h)];
      const std::int64_t size = starts_[static_cast<std::size_t>(h) + 1] - first;
      if (size == 0) continue;
      const auto i = static_cast<std::int32_t>(first + rng_.Below(size));
      if (animals_[static_cast<std::size_t>(i)].male == male) return i;
    }
    return kNone;
  }

  std::vector<std::int32_t> Pool(int g, std::int64_t size, bool male) {
    std::vector<std::int32_t> pool;
    for (std::int64_t k = 0; k < size; ++k) {
      const std::int32_t parent = DrawParent(g, male);
      if (parent != kNone) pool.push_back(parent);
    }
    return pool;
  }

  void Generation(int g) {
    const std::vector<std::int32_t> sires = Pool(g, shape_.sires, true);
    const std::vector<std::int32_t> dams = Pool(g, shape_.dams, false);
    bool previousHasParents = false;
    for (std::int64_t i = 0; i < shape_.generationSize && listed_ < o_.individuals; ++i) {
      const Animal previous = animals_.back();
      Animal& a = NewAnimal(g);
      ++listed_;
      if (previousHasParents && rng_.Chance(kFullSibChance)) {
        a.sire = previous.sire;
        a.dam = previous.dam;
      } else {
        const double u = rng_.Unit();
        if (u >= 0.01 && u < 0.03) a.dam = Pick(dams, false);
        if (u >= 0.03 && u < 0.04) a.sire = Pick(sires, true);
        if (u >= 0.04) {
          a.sire = Pick(sires, true);
          a.dam = Pick(dams, false);
        }
      }
      a.herd = a.dam != kNone ? animals_[static_cast<std::size_t>(a.dam)].herd
                              : static_cast<std::int32_t>(rng_.Below(kHerds));
      if (a.sire == kNone && a.dam == kNone) MaybePredefineF(a);
      previousHasParents = a.sire != kNone && a.dam != kNone;
    }
    starts_.push_back(static_cast<std::int64_t>(animals_.size()));
  }

  // Sires are drawn with density falling like 1/sqrt: a few sires father a
  // large share of each generation, as artificial insemination bulls do.
  std::int32_t Pick(const std::vector<std::int32_t>& pool, bool skewed) {
    if (pool.empty()) return kNone;
    const auto n = static_cast<double>(pool.size());
    std::size_t k = 0;
    if (skewed) {
      const double u = rng_.Unit();
      k = std::min(pool.size() - 1, static_cast<std::size_t>(n * u * u));
    } else {
      k = static_cast<std::size_t>(rng_.Below(static_cast<std::int64_t>(pool.size())));
    }
    return pool[k];
  }

  const GeneratorOptions& o_;
  Shape shape_;
  Rng& rng_;
  std::vector<Animal> animals_;
  std::vector<std::int64_t> starts_;  // first animal of each generation, then the end
  std::int64_t listed_ = 0;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

class Writer {
 public:
  Writer(std::FILE* file, Rng& rng) : file_(file), rng_(rng) { buffer_.reserve(kFlushAt + 256); }

  void Text(const char* s) { buffer_ += s; }
  void Char(char c) { buffer_ += c; }

  // Country, herd in base 36, the sex letter, then the serial number: the
  // serial is all digits and follows the last letter, so IDs are unique.
  void Id(std::int32_t index, const Animal& a) {
    char text[32];
    int n = 0;
    for (const char* c = kCountries[a.herd % 12]; *c != 0; ++c) text[n++] = *c;
    char herd[8];
    int h = 0;
    for (int v = a.herd; h == 0 || v > 0; v /= 36) herd[h++] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36];
    while (h > 0) text[n++] = herd[--h];
    text[n++] = a.male ? 'M' : 'F';
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%d", index + 1);
    // Some herd books write IDs in lower case; the reader folds them.
    if (rng_.Chance(0.05)) {
      for (int i = 0; i < n; ++i) {
        if (text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] - 'A' + 'a');
      }
    }
    buffer_.append(text, static_cast<std::size_t>(n));
  }

  void Unknown() {
    const double u = rng_.Unit();
    Text(u < 0.95 ? "0" : (u < 0.98 ? "000" : (u < 0.99 ? "UNKNOWN" : "unknown")));
  }

  bool Flush(bool force) {
    if (!force && buffer_.size() < kFlushAt) return true;
    const bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    bytes_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
    return ok;
  }

  std::int64_t bytes() const { return bytes_; }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  std::FILE* file_;
  Rng& rng_;
  std::string buffer_;
  std::int64_t bytes_ = 0;
};

bool WriteLines(const GeneratorOptions& o, const std::vector<Animal>& animals,
                const std::vector<std::int32_t>& lines, Writer& w) {
  w.Text("! Generated pedigree: ");
  w.Text(std::to_string(o.individuals).c_str());
  w.Text(" individuals, seed ");
  w.Text(std::to_string(o.seed).c_str());
  w.Text("\n");
  w.Text(o.fColumn ? "Progeny\tSire\tDam\tGroup\tF\n" : "Progeny\tSire\tDam\tGroup\n");
  Rng dots(o.seed ^ 0x5DEECE66DULL);
  for (const std::int32_t i : lines) {
    const Animal& a = animals[static_cast<std::size_t>(i)];
    w.Id(i, a);
    w.Char('\t');
    if (a.sire == kNone) w.Unknown(); else w.Id(a.sire, animals[static_cast<std::size_t>(a.sire)]);
    w.Char('\t');
    if (a.dam == kNone) w.Unknown(); else w.Id(a.dam, animals[static_cast<std::size_t>(a.dam)]);
    w.Char('\t');
    if (dots.Chance(0.02)) w.Char('.'); else w.Text(std::to_string(a.generation % 1001).c_str());
    if (o.fColumn) {
      w.Char('\t');
      w.Text(a.fIndex < 0 ? "." : kFValues[a.fIndex]);
    }
    w.Char('\n');
    if (!w.Flush(false)) return false;
  }
  return w.Flush(true);
}

}  // namespace

bool GeneratePedigreeFile(const GeneratorOptions& options, const std::string& path,
                          GeneratorSummary& summary, std::string& error) {
  Rng rng(options.seed);
  Population population(options, rng);
  population.Breed();
  const std::vector<Animal>& animals = population.animals();

  std::vector<std::int32_t> lines;
  lines.reserve(static_cast<std::size_t>(options.individuals));
  std::vector<bool> usedAsParent(animals.size(), false);
  for (const Animal& a : animals) {
    if (a.sire != kNone) usedAsParent[static_cast<std::size_t>(a.sire)] = true;
    if (a.dam != kNone) usedAsParent[static_cast<std::size_t>(a.dam)] = true;
  }
  summary = {};
  for (std::size_t i = 0; i < animals.size(); ++i) {
    if (animals[i].listed) lines.push_back(static_cast<std::int32_t>(i));
    else if (usedAsParent[i]) ++summary.parentsOnly;
  }
  if (options.order == Order::kRandom) {
    for (std::size_t i = lines.size(); i > 1; --i) {
      const auto j = static_cast<std::size_t>(rng.Below(static_cast<std::int64_t>(i)));
      std::swap(lines[i - 1], lines[j]);
    }
  }

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = "cannot create " + path;
    return false;
  }
  Writer writer(file.get(), rng);
  if (!WriteLines(options, animals, lines, writer) || std::fflush(file.get()) != 0) {
    error = "cannot write " + path;
    return false;
  }
  summary.lines = static_cast<std::int64_t>(lines.size());
  summary.bytes = writer.bytes();
  summary.generations = population.generations();
  return true;
}

}  // namespace kinvar::bench

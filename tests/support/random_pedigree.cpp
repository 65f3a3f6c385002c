#include "support/random_pedigree.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <utility>

namespace kinvar::test {

namespace {

// Draws come straight from the engine (never from the library's
// distributions) so that a seed means the same pedigree everywhere.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}
  // Uniform in [0, n), n > 0.
  int Below(int n) { return static_cast<int>(engine_() % static_cast<std::uint64_t>(n)); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  double Unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  template <class T>
  const T& Pick(const std::vector<T>& v) { return v[static_cast<std::size_t>(Below(static_cast<int>(v.size())))]; }
  std::mt19937_64& engine() { return engine_; }

 private:
  std::mt19937_64 engine_;
};

struct Animal {
  int sire = -1;  // index into the animals, -1 = unknown
  int dam = -1;
  bool male = false;
  int generation = 0;
  std::vector<int> progeny;
};

class Builder {
 public:
  Builder(const RandomPedigreeOptions& o, Draw& draw) : o_(o), draw_(draw) {}

  std::vector<Animal> Build() {
    const int size = std::max(1, o_.size);
    const int founders = std::clamp(o_.founders, 1, size);
    for (int i = 0; i < founders; ++i) Add(-1, -1, i % 2 == 0 ? true : draw_.Chance(0.5));
    if (founders >= 2) animals_[1].male = false;
    while (static_cast<int>(animals_.size()) < size) Mate(size);
    return std::move(animals_);
  }

 private:
  void Add(int sire, int dam, bool male) {
    Animal a;
    a.sire = sire;
    a.dam = dam;
    a.male = male;
    const int gs = sire < 0 ? -1 : animals_[static_cast<std::size_t>(sire)].generation;
    const int gd = dam < 0 ? -1 : animals_[static_cast<std::size_t>(dam)].generation;
    a.generation = 1 + std::max(gs, gd);
    const int self = static_cast<int>(animals_.size());
    if (sire >= 0) animals_[static_cast<std::size_t>(sire)].progeny.push_back(self);
    if (dam >= 0) animals_[static_cast<std::size_t>(dam)].progeny.push_back(self);
    animals_.push_back(std::move(a));
  }

  // A recent animal of the given sex, or -1 when the window has none.
  int Recent(bool male) {
    const int n = static_cast<int>(animals_.size());
    const int window = std::clamp(o_.window, 1, n);
    for (int tries = 0; tries < 8; ++tries) {
      const int i = n - 1 - draw_.Below(window);
      if (animals_[static_cast<std::size_t>(i)].male == male) return i;
    }
    for (int i = n - 1; i >= 0; --i) {
      if (animals_[static_cast<std::size_t>(i)].male == male) return i;
    }
    return -1;
  }

  const Animal& At(int i) const { return animals_[static_cast<std::size_t>(i)]; }

  // A male close relative of `dam`: her sire or grandsire, a brother or
  // half brother, or a son.
  int CloseSire(int dam) {
    std::vector<int> candidates;
    const Animal& d = At(dam);
    const auto addMale = [&](int i) {
      if (i >= 0 && At(i).male) candidates.push_back(i);
    };
    addMale(d.sire);
    if (d.sire >= 0) addMale(At(d.sire).sire);
    if (d.dam >= 0) addMale(At(d.dam).sire);
    for (const int parent : {d.sire, d.dam}) {
      if (parent < 0) continue;
      for (const int sib : At(parent).progeny) addMale(sib);
    }
    for (const int son : d.progeny) addMale(son);
    if (candidates.empty()) return -1;
    return draw_.Pick(candidates);
  }

  void Mate(int size) {
    int dam = Recent(false);
    int sire = -1;
    if (dam >= 0 && draw_.Chance(o_.closeMatingChance)) sire = CloseSire(dam);
    if (sire < 0) sire = Recent(true);
    if (draw_.Chance(o_.unknownParentChance)) sire = -1;
    if (draw_.Chance(o_.unknownParentChance)) dam = -1;
    const int family = draw_.Between(1, std::max(1, o_.maxFamilySize));
    for (int k = 0; k < family && static_cast<int>(animals_.size()) < size; ++k) {
      Add(sire, dam, draw_.Chance(0.5));
    }
  }

  const RandomPedigreeOptions& o_;
  Draw& draw_;
  std::vector<Animal> animals_;
};

std::string MakeId(Draw& draw, std::set<std::string>& used) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static constexpr char kOthers[] = "0123456789-_.#";
  for (;;) {
    std::string id;
    const int prefix = draw.Between(0, 3);
    for (int i = 0; i < prefix; ++i) id += kLetters[draw.Below(26)];
    const int rest = draw.Between(prefix == 0 ? 1 : 0, 8);
    for (int i = 0; i < rest; ++i) {
      id += draw.Chance(0.85) ? static_cast<char>('0' + draw.Below(10))
                              : kOthers[draw.Below(static_cast<int>(sizeof kOthers) - 1)];
    }
    if (draw.Chance(0.02)) id = std::string(static_cast<std::size_t>(draw.Between(15, 20)), 'Z');
    const bool allZeros = id.find_first_not_of('0') == std::string::npos;
    // NA is an unknown parent too, and no individual's ID.
    if (id.empty() || allZeros || id == "UNKNOWN" || id == "NA" || id.size() > 20) continue;
    if (used.insert(id).second) return id;
  }
}

float RandomF(Draw& draw) {
  static constexpr float kRound[] = {0.0f, 0.0625f, 0.125f, 0.25f, 0.375f, 0.5f, 1.0f};
  if (draw.Chance(0.5)) return kRound[draw.Below(7)];
  return static_cast<float>(draw.Unit());
}

std::string FormatF(float f) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(f));
  return buffer;
}

std::string RandomCase(Draw& draw, const std::string& text, bool decorate) {
  if (!decorate || draw.Chance(0.7)) return text;
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z' && draw.Chance(0.5)) c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string UnknownText(Draw& draw, bool decorate) {
  if (!decorate) return "0";
  static const std::vector<std::string> kUnknown = {"0", "0", "0", "00", "000", "unknown",
                                                    "Unknown", "UNKNOWN"};
  return draw.Pick(kUnknown);
}

// Predefined F: per full-sib family one value, written on some members (at
// least one) so that loading copies it to the others; per other individual
// its own value.
void AssignPredefinedF(const RandomPedigreeOptions& o, Draw& draw,
                       const std::vector<Animal>& animals, std::vector<RandomIndividual>& out) {
  std::map<std::pair<int, int>, std::vector<int>> families;
  for (std::size_t i = 0; i < animals.size(); ++i) {
    if (!out[i].listed) continue;
    const Animal& a = animals[i];
    if (a.sire >= 0 && a.dam >= 0) {
      families[{a.sire, a.dam}].push_back(static_cast<int>(i));
    } else if (draw.Chance(o.predefinedChance)) {
      out[i].fInFile = out[i].fPredefined = RandomF(draw);
    }
  }
  for (const auto& [parents, members] : families) {
    if (!draw.Chance(o.predefinedChance)) continue;
    const float f = RandomF(draw);
    const int writer = draw.Pick(members);
    for (const int m : members) {
      RandomIndividual& r = out[static_cast<std::size_t>(m)];
      r.fPredefined = f;
      if (m == writer || draw.Chance(0.4)) r.fInFile = f;
    }
  }
}

std::vector<RandomIndividual> Describe(const RandomPedigreeOptions& o, Draw& draw,
                                       const std::vector<Animal>& animals) {
  std::set<std::string> used;
  std::vector<RandomIndividual> out(animals.size());
  for (RandomIndividual& r : out) r.id = MakeId(draw, used);
  std::vector<int> groupNumbers;
  for (int k = draw.Between(1, 6); k > 0; --k) {
    groupNumbers.push_back(draw.Chance(0.2) ? draw.Pick(std::vector<int>{0, 1000}) : draw.Between(0, 1000));
  }
  for (std::size_t i = 0; i < animals.size(); ++i) {
    const Animal& a = animals[i];
    RandomIndividual& r = out[i];
    if (a.sire >= 0) r.sire = out[static_cast<std::size_t>(a.sire)].id;
    if (a.dam >= 0) r.dam = out[static_cast<std::size_t>(a.dam)].id;
    const bool founder = a.sire < 0 && a.dam < 0;
    r.listed = !(founder && !a.progeny.empty() && draw.Chance(o.unlistedChance));
    if (o.groupColumn && r.listed && !draw.Chance(0.15)) r.group = draw.Pick(groupNumbers);
  }
  if (o.fColumn) AssignPredefinedF(o, draw, animals, out);
  return out;
}

// Listed animals in the requested order, then the unlisted ones.
std::vector<int> LineOrder(const RandomPedigreeOptions& o, Draw& draw,
                           const std::vector<RandomIndividual>& people) {
  std::vector<int> listed;
  std::vector<int> unlisted;
  for (std::size_t i = 0; i < people.size(); ++i) {
    (people[i].listed ? listed : unlisted).push_back(static_cast<int>(i));
  }
  if (o.order == ListingOrder::kShuffled) std::shuffle(listed.begin(), listed.end(), draw.engine());
  if (o.order == ListingOrder::kProgenyFirst) std::reverse(listed.begin(), listed.end());
  std::shuffle(unlisted.begin(), unlisted.end(), draw.engine());
  listed.insert(listed.end(), unlisted.begin(), unlisted.end());
  return listed;
}

class TextWriter {
 public:
  TextWriter(const RandomPedigreeOptions& o, Draw& draw) : o_(o), draw_(draw) {}

  std::string Write(const std::vector<RandomIndividual>& people, int nListed) {
    Columns();
    if (o_.decorate) {
      if (draw_.Chance(0.5)) Line("! random pedigree, seed " + std::to_string(o_.seed));
      if (draw_.Chance(0.3)) Line("");
      if (draw_.Chance(0.2)) Line("   ! indented comment");
    }
    std::vector<std::string> header(static_cast<std::size_t>(width_), "Note");
    header[static_cast<std::size_t>(progeny_)] = RandomCase(draw_, "PROGENY", o_.decorate);
    header[static_cast<std::size_t>(sire_)] = RandomCase(draw_, "SIRE", o_.decorate);
    header[static_cast<std::size_t>(dam_)] = RandomCase(draw_, "DAM", o_.decorate);
    if (group_ >= 0) header[static_cast<std::size_t>(group_)] = RandomCase(draw_, "GROUP", o_.decorate);
    if (f_ >= 0) header[static_cast<std::size_t>(f_)] = RandomCase(draw_, "F", o_.decorate);
    Fields(header);
    for (int i = 0; i < nListed; ++i) {
      const RandomIndividual& r = people[static_cast<std::size_t>(i)];
      std::vector<std::string> fields(static_cast<std::size_t>(width_), "x");
      fields[static_cast<std::size_t>(progeny_)] = RandomCase(draw_, r.id, o_.decorate);
      fields[static_cast<std::size_t>(sire_)] =
          r.sire.empty() ? UnknownText(draw_, o_.decorate) : RandomCase(draw_, r.sire, o_.decorate);
      fields[static_cast<std::size_t>(dam_)] =
          r.dam.empty() ? UnknownText(draw_, o_.decorate) : RandomCase(draw_, r.dam, o_.decorate);
      if (group_ >= 0) fields[static_cast<std::size_t>(group_)] = r.group < 0 ? "." : std::to_string(r.group);
      if (f_ >= 0) fields[static_cast<std::size_t>(f_)] = r.fInFile ? FormatF(*r.fInFile) : ".";
      Fields(fields);
      if (o_.decorate && draw_.Chance(0.02)) Line(draw_.Chance(0.5) ? "" : " \t ");
    }
    return std::move(text_);
  }

 private:
  void Columns() {
    std::vector<int> names = {0, 1, 2};  // progeny, sire, dam, group, f
    if (o_.groupColumn) names.push_back(3);
    if (o_.fColumn) names.push_back(4);
    if (o_.decorate && names.size() < 5 && draw_.Chance(0.2)) names.push_back(-1);
    if (o_.decorate && draw_.Chance(0.3)) std::shuffle(names.begin(), names.end(), draw_.engine());
    width_ = static_cast<int>(names.size());
    for (int c = 0; c < width_; ++c) {
      int* slot[] = {&progeny_, &sire_, &dam_, &group_, &f_};
      const int name = names[static_cast<std::size_t>(c)];
      if (name >= 0) *slot[name] = c;
    }
  }

  void Fields(const std::vector<std::string>& fields) {
    static const std::vector<std::string> kSeparators = {" ", " ", "\t", ",", ", ", "   ", ",,", " \t"};
    std::string line;
    if (o_.decorate && draw_.Chance(0.05)) line += "  ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) line += o_.decorate ? draw_.Pick(kSeparators) : " ";
      line += fields[i];
    }
    Line(line);
  }

  void Line(const std::string& line) {
    text_ += line;
    text_ += o_.crlf ? "\r\n" : "\n";
  }

  const RandomPedigreeOptions& o_;
  Draw& draw_;
  std::string text_;
  int width_ = 3;
  int progeny_ = 0, sire_ = 1, dam_ = 2, group_ = -1, f_ = -1;
};

}  // namespace

RandomPedigree MakeRandomPedigree(const RandomPedigreeOptions& options) {
  Draw draw(options.seed);
  const std::vector<Animal> animals = Builder(options, draw).Build();
  const std::vector<RandomIndividual> people = Describe(options, draw, animals);
  RandomPedigree result;
  result.hasGroupColumn = options.groupColumn;
  result.hasFColumn = options.fColumn;
  for (const int i : LineOrder(options, draw, people)) {
    result.individuals.push_back(people[static_cast<std::size_t>(i)]);
    if (people[static_cast<std::size_t>(i)].listed) ++result.nListed;
    result.maxGeneration = std::max(result.maxGeneration, animals[static_cast<std::size_t>(i)].generation);
  }
  result.text = TextWriter(options, draw).Write(result.individuals, result.nListed);
  return result;
}

RandomPedigreeOptions VariedOptions(std::uint64_t seed, int maxSize) {
  Draw draw(seed * 0x9E3779B97F4A7C15ULL + 17);
  RandomPedigreeOptions o;
  o.seed = seed;
  o.size = draw.Chance(0.1) ? draw.Between(1, 8) : draw.Between(2, std::max(2, maxSize));
  o.founders = draw.Chance(0.05) ? o.size : draw.Between(1, std::max(1, o.size / 4));
  const bool deep = draw.Chance(0.35);
  o.window = deep ? draw.Between(2, 12) : draw.Between(10, std::max(10, o.size));
  o.closeMatingChance = draw.Chance(0.3) ? 0.0 : draw.Unit() * (deep ? 0.9 : 0.5);
  o.unknownParentChance = draw.Chance(0.3) ? 0.0 : draw.Unit() * 0.2;
  o.maxFamilySize = draw.Between(1, 5);
  o.unlistedChance = draw.Unit() * 0.6;
  o.groupColumn = draw.Chance(0.5);
  o.fColumn = draw.Chance(0.5);
  o.predefinedChance = draw.Chance(0.2) ? 1.0 : draw.Unit() * 0.4;
  o.order = static_cast<ListingOrder>(draw.Below(3));
  o.crlf = false;
  o.decorate = draw.Chance(0.8);
  return o;
}

std::vector<int> ParentsFirstOrder(const std::vector<RandomIndividual>& individuals) {
  std::map<std::string, int> index;
  for (std::size_t i = 0; i < individuals.size(); ++i) index[individuals[i].id] = static_cast<int>(i);
  const auto parentOf = [&](const std::string& id) {
    const auto it = index.find(id);
    return id.empty() || it == index.end() ? -1 : it->second;
  };
  // Depth-first, each parent finished before its progeny; state 1 = on the
  // path (a repeat means a cycle), 2 = placed.
  std::vector<int> state(individuals.size(), 0);
  std::vector<int> order;
  for (std::size_t root = 0; root < individuals.size(); ++root) {
    std::vector<std::pair<int, int>> stack = {{static_cast<int>(root), 0}};
    while (!stack.empty()) {
      auto& [i, next] = stack.back();
      const auto ui = static_cast<std::size_t>(i);
      if (next == 0) {
        if (state[ui] == 2) { stack.pop_back(); continue; }
        if (state[ui] == 1) return {};
        state[ui] = 1;
      }
      if (next < 2) {
        const RandomIndividual& r = individuals[ui];
        const int p = parentOf(next == 0 ? r.sire : r.dam);
        ++next;
        if (p >= 0 && state[static_cast<std::size_t>(p)] != 2) {
          if (state[static_cast<std::size_t>(p)] == 1) return {};
          stack.push_back({p, 0});
        }
        continue;
      }
      state[ui] = 2;
      order.push_back(i);
      stack.pop_back();
    }
  }
  return order;
}

}  // namespace kinvar::test

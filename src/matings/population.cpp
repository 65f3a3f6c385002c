#include "matings/population.h"

#include <algorithm>
#include <numeric>

#include "genetics/relationship.h"

namespace kinvar {

std::vector<float> RelationshipSums(const Pedigree& ped, const ReferencePopulation& ref) {
  KernelPedigree kp = WholePedigreeKernel(ped, ped.d, ped.nTotal);
  std::vector<std::int32_t> member(ref.byCode.begin(), ref.byCode.end());
  member.resize(static_cast<std::size_t>(ped.nTotal) + 1, 0);
  BackwardPassAdding(kp, member, 1);
  ForwardPass(kp, ped.nTotal);
  kp.w.resize(static_cast<std::size_t>(ped.nTotal) + 1);
  return std::move(kp.w);
}

std::vector<std::int32_t> ProgenyCounts(const Pedigree& ped) {
  std::vector<std::int32_t> count(ped.recs.size(), 0);
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    ++count[static_cast<std::size_t>(ped.recs[i].sire)];
    ++count[static_cast<std::size_t>(ped.recs[i].dam)];
  }
  count[kUnknownParent] = 0;
  return count;
}

std::vector<Sex> KnownSexes(const Pedigree& ped) {
  std::vector<Sex> sex(ped.recs.size(), Sex::kUnknown);
  std::vector<std::uint8_t> roles(ped.recs.size(), 0);
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    roles[static_cast<std::size_t>(ped.recs[i].sire)] |= 1;
    roles[static_cast<std::size_t>(ped.recs[i].dam)] |= 2;
  }
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    sex[i] = ped.recs[i].sex;
    // Validation refuses a parent in both roles; should one get through,
    // its sex stays unknown rather than taking either.
    if (sex[i] == Sex::kUnknown && roles[i] == 1) sex[i] = Sex::kMale;
    if (sex[i] == Sex::kUnknown && roles[i] == 2) sex[i] = Sex::kFemale;
  }
  return sex;
}

namespace {

double MkOf(const std::vector<float>& sums, const Rec& r, std::int32_t n) {
  return static_cast<double>(sums[static_cast<std::size_t>(r.code)]) / (2.0 * n);
}

}  // namespace

MeanKinshipResult ComputeMeanKinship(const Pedigree& ped, const ReferencePopulation& ref) {
  MeanKinshipResult result;
  if (ref.members == 0) return result;
  const std::vector<float> sums = RelationshipSums(ped, ref);
  const std::vector<std::int32_t> progeny = ProgenyCounts(ped);
  result.rows.reserve(static_cast<std::size_t>(ref.members));
  double total = 0.0;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    if (ref.byCode[static_cast<std::size_t>(code)] == 0) continue;
    const RecIndex r = ped.records[static_cast<std::size_t>(code - 1)];
    const Rec& rec = ped.rec(r);
    const double mk = MkOf(sums, rec, ref.members);
    total += mk;
    result.rows.push_back({r, mk, progeny[static_cast<std::size_t>(r)], CompletenessIndex(ped, rec)});
  }
  // Rows are in code order already, so a stable sort leaves ties by code.
  std::stable_sort(result.rows.begin(), result.rows.end(),
                   [](const MeanKinshipRow& a, const MeanKinshipRow& b) { return a.mk < b.mk; });
  result.meanMk = total / ref.members;
  result.geneDiversity = 1.0 - result.meanMk;
  return result;
}

double DeltaGeneDiversity(double sum, std::int32_t n, double mkS, double mkD, double fSD) {
  const double before = sum / (static_cast<double>(n) * n);
  // The offspring's kinship with member j is (f(s, j) + f(d, j)) / 2, twice
  // over in the ordered pairs, and its own is (1 + f(s, d)) / 2.
  const double added = n * (mkS + mkD) + (1.0 + fSD) / 2.0;
  const double after = (sum + added) / ((n + 1.0) * (n + 1.0));
  return before - after;
}

ReferencePopulation PairReference(const Pedigree& ped, const MatingGroups& groups) {
  ReferencePopulation ref;
  ref.byCode.assign(static_cast<std::size_t>(ped.nTotal) + 1, 0);
  for (const auto* members : {&groups.sires, &groups.dams})
    for (const RecIndex r : *members) {
      std::uint8_t& slot = ref.byCode[static_cast<std::size_t>(ped.rec(r).code)];
      ref.members += slot == 0 ? 1 : 0;
      slot = 1;
    }
  return ref;
}

MateSuitability ComputeMateSuitability(Pedigree& ped, const MatingGroups& groups,
                                       const ReferencePopulation& ref, float maxF) {
  MateSuitability m;
  m.referenceSize = ref.members;
  if (ref.members == 0) return m;
  const std::vector<float> sums = RelationshipSums(ped, ref);
  double sum = 0.0;  // over ordered pairs of members, in f
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ref.byCode[static_cast<std::size_t>(code)] != 0)
      sum += static_cast<double>(sums[static_cast<std::size_t>(code)]) / 2.0;
  const std::int32_t n = ref.members;
  m.geneDiversity = 1.0 - sum / (static_cast<double>(n) * n);
  for (const RecIndex r : groups.sires) m.mkSires.push_back(MkOf(sums, ped.rec(r), n));
  for (const RecIndex r : groups.dams) m.mkDams.push_back(MkOf(sums, ped.rec(r), n));
  const CoancestryMatrix c = ComputeCoancestryMatrix(ped, groups);
  m.pairs.reserve(static_cast<std::size_t>(c.nS) * static_cast<std::size_t>(c.nD));
  for (std::int32_t s = 0; s < c.nS; ++s)
    for (std::int32_t d = 0; d < c.nD; ++d) {
      const float f = c.at(s, d);
      m.pairs.push_back({s, d, f,
                         DeltaGeneDiversity(sum, n, m.mkSires[static_cast<std::size_t>(s)],
                                            m.mkDams[static_cast<std::size_t>(d)], f),
                         f > maxF});
      m.aboveBound += f > maxF ? 1 : 0;
    }
  const auto code = [&](const std::vector<RecIndex>& members, std::int32_t i) {
    return ped.rec(members[static_cast<std::size_t>(i)]).code;
  };
  // A pair above the F bound is never a better choice than one within it,
  // however much diversity its offspring would keep: it goes after them all,
  // and among those the least inbred offspring first.
  std::sort(m.pairs.begin(), m.pairs.end(), [&](const PairSuitability& a, const PairSuitability& b) {
    if (a.exceeds != b.exceeds) return b.exceeds;
    if (a.exceeds && a.offspringF != b.offspringF) return a.offspringF < b.offspringF;
    if (a.deltaGd != b.deltaGd) return a.deltaGd > b.deltaGd;
    const std::int32_t sa = code(groups.sires, a.sire), sb = code(groups.sires, b.sire);
    if (sa != sb) return sa < sb;
    return code(groups.dams, a.dam) < code(groups.dams, b.dam);
  });
  return m;
}

}  // namespace kinvar

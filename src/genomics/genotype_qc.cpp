#include "genomics/genotype_qc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kinvar {

namespace {

constexpr double kNoThreshold = std::numeric_limits<double>::quiet_NaN();

struct SnpCounts {
  std::vector<std::int64_t> called;
  std::vector<std::int64_t> sum;  // of the counted allele
};

double AnimalCallRate(const Genotypes& g, std::int64_t row) {
  const std::uint8_t* codes = g.Row(row);
  std::int64_t missing = 0;
  for (std::int64_t j = 0; j < g.SnpCount(); ++j) missing += codes[j] == kMissingGenotype;
  return g.SnpCount() == 0 ? 0.0 : static_cast<double>(g.SnpCount() - missing) / static_cast<double>(g.SnpCount());
}

SnpCounts CountSnps(const Genotypes& g, const std::vector<std::int64_t>& rows) {
  const auto m = static_cast<std::size_t>(g.SnpCount());
  SnpCounts counts{std::vector<std::int64_t>(m, 0), std::vector<std::int64_t>(m, 0)};
  for (const std::int64_t row : rows) {
    const std::uint8_t* codes = g.Row(row);
    for (std::size_t j = 0; j < m; ++j) {
      const bool called = codes[j] != kMissingGenotype;
      counts.called[j] += called;
      counts.sum[j] += called ? codes[j] : 0;
    }
  }
  return counts;
}

void Drop(ResultTable& dropped, const char* kind, const std::string& name, const char* reason, double value) {
  dropped.AddRow().Text(kind).Text(name).Text(reason).Real(value);
}

void FilterAnimals(const Genotypes& g, const std::vector<std::int64_t>& rows, const GenotypeQcOptions& options,
                   GenotypeQcResult& qc) {
  GenotypeQcStep step{"animal call rate", "animals", options.minAnimalCallRate, 0, 0};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const double rate = AnimalCallRate(g, rows[k]);
    if (rate < options.minAnimalCallRate) {
      ++step.dropped;
      Drop(qc.dropped, "animal", g.ids[static_cast<std::size_t>(rows[k])], "animal call rate", rate);
      continue;
    }
    qc.keptAnimals.push_back(rows[k]);
    qc.keptAnimalOrdinals.push_back(static_cast<std::int64_t>(k));
  }
  step.left = static_cast<std::int64_t>(qc.keptAnimals.size());
  qc.steps.push_back(step);
}

void FilterSnps(const Genotypes& g, const GenotypeQcOptions& options, GenotypeQcResult& qc) {
  const SnpCounts counts = CountSnps(g, qc.keptAnimals);
  const auto n = static_cast<double>(qc.keptAnimals.size());
  GenotypeQcStep callRate{"SNP call rate", "SNPs", options.minSnpCallRate, 0, 0};
  GenotypeQcStep monomorphic{"monomorphic", "SNPs", kNoThreshold, 0, 0};
  GenotypeQcStep maf{"minor allele frequency", "SNPs", options.minMaf, 0, 0};
  for (std::size_t j = 0; j < counts.called.size(); ++j) {
    const std::string& name = g.snps[j].name;
    const double rate = n == 0.0 ? 0.0 : static_cast<double>(counts.called[j]) / n;
    const std::int64_t alleles = 2 * counts.called[j];
    if (rate < options.minSnpCallRate) {
      ++callRate.dropped;
      Drop(qc.dropped, "SNP", name, "SNP call rate", rate);
    } else if (counts.sum[j] == 0 || counts.sum[j] == alleles) {
      ++monomorphic.dropped;
      Drop(qc.dropped, "SNP", name, "monomorphic", 0.0);
    } else {
      const double p = static_cast<double>(counts.sum[j]) / static_cast<double>(alleles);
      const double minor = std::min(p, 1.0 - p);
      if (minor < options.minMaf) {
        ++maf.dropped;
        Drop(qc.dropped, "SNP", name, "minor allele frequency", minor);
      } else {
        qc.keptSnps.push_back(static_cast<std::int64_t>(j));
      }
    }
  }
  callRate.left = g.SnpCount() - callRate.dropped;
  monomorphic.left = callRate.left - monomorphic.dropped;
  maf.left = monomorphic.left - maf.dropped;
  qc.steps.insert(qc.steps.end(), {callRate, monomorphic, maf});
}

void FillStepTable(GenotypeQcResult& qc) {
  qc.table.AddColumn("step", ColumnType::kInteger);
  qc.table.AddColumn("reason", ColumnType::kText);
  qc.table.AddColumn("kind", ColumnType::kText);
  qc.table.AddColumn("threshold", ColumnType::kReal);
  qc.table.AddColumn("dropped", ColumnType::kInteger);
  qc.table.AddColumn("left", ColumnType::kInteger);
  for (std::size_t k = 0; k < qc.steps.size(); ++k) {
    const GenotypeQcStep& step = qc.steps[k];
    qc.table.AddRow()
        .Integer(static_cast<std::int64_t>(k + 1))
        .Text(step.reason)
        .Text(step.kind)
        .Real(step.threshold)
        .Integer(step.dropped)
        .Integer(step.left);
  }
}

}  // namespace

GenotypeQcResult RunGenotypeQc(const Genotypes& g, const std::vector<std::int64_t>& rows,
                               const GenotypeQcOptions& options) {
  GenotypeQcResult qc;
  qc.dropped.AddColumn("kind", ColumnType::kText);
  qc.dropped.AddColumn("name", ColumnType::kText);
  qc.dropped.AddColumn("reason", ColumnType::kText);
  qc.dropped.AddColumn("value", ColumnType::kReal);
  FilterAnimals(g, rows, options, qc);
  FilterSnps(g, options, qc);
  FillStepTable(qc);
  return qc;
}

Genotypes KeepGenotypes(const Genotypes& g, const std::vector<std::int64_t>& rows,
                        const std::vector<std::int64_t>& snps) {
  Genotypes kept;
  const auto m = static_cast<std::size_t>(snps.size());
  kept.codes.resize(rows.size() * m);
  const bool allSnps = static_cast<std::int64_t>(m) == g.SnpCount();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    kept.ids.push_back(g.ids[static_cast<std::size_t>(rows[k])]);
    const std::uint8_t* from = g.Row(rows[k]);
    std::uint8_t* to = kept.codes.data() + k * m;
    if (allSnps) {
      if (m > 0) std::memcpy(to, from, m);
    } else {
      for (std::size_t j = 0; j < m; ++j) to[j] = from[snps[j]];
    }
  }
  for (const std::int64_t j : snps) kept.snps.push_back(g.snps[static_cast<std::size_t>(j)]);
  return kept;
}

std::string CheckGenotypeQcOptions(const GenotypeQcOptions& options) {
  const auto within = [](double value, double high) { return value >= 0.0 && value <= high; };
  if (!within(options.minSnpCallRate, 1.0)) return "The minimum SNP call rate must be a number from 0 to 1.";
  if (!within(options.minAnimalCallRate, 1.0))
    return "The minimum animal call rate must be a number from 0 to 1.";
  if (!within(options.minMaf, 0.5)) return "The minimum minor allele frequency must be a number from 0 to 0.5.";
  return {};
}

}  // namespace kinvar

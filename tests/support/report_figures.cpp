#include "support/report_figures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace kinvar::test {

namespace {

std::string WithoutMarkup(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '|' && i + 1 < text.size()) {
      ++i;
      continue;
    }
    plain += text[i];
  }
  return plain;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == ':')) text.pop_back();
  return text.substr(text.find_first_not_of(' ') == std::string::npos
                         ? text.size()
                         : text.find_first_not_of(' '));
}

}  // namespace

std::vector<ReportFigure> ReportFigures(const std::vector<std::string>& report) {
  std::vector<ReportFigure> figures;
  std::vector<std::pair<std::size_t, std::string>> run;  // indent, qualified label
  for (const std::string& line : report) {
    const std::size_t t3 = line.find("|T3");
    const std::string label = t3 == std::string::npos ? "" : Trimmed(WithoutMarkup(line.substr(0, t3)));
    if (label.empty() || !(std::isalpha(static_cast<unsigned char>(label[0])) || label[0] == '-')) {
      run.clear();
      continue;
    }
    const std::size_t indent = line.find_first_not_of(' ');
    while (!run.empty() && run.back().first >= indent) run.pop_back();
    const std::string qualified = run.empty() ? label : run.back().second + " " + label;
    run.emplace_back(indent, qualified);
    std::string rest = line.substr(t3 + 3);
    while (rest.size() >= 2 && rest[0] == '|') rest.erase(0, 2);
    figures.push_back({qualified, Trimmed(rest.substr(0, rest.find('|')))});
  }
  return figures;
}

bool ShownNumber(const std::string& shown, double& value, double& tolerance) {
  if (shown.empty()) return false;
  char* end = nullptr;
  value = std::strtod(shown.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value)) return false;
  const std::size_t dot = shown.find('.');
  const bool exponent = shown.find_first_of("eE") != std::string::npos;
  const double digits = dot == std::string::npos || exponent
                            ? 0.0
                            : static_cast<double>(shown.size() - dot - 1);
  tolerance = (exponent ? 1e-4 * std::fabs(value) : 0.5 * std::pow(10.0, -digits)) +
              2e-6 * std::fabs(value) + 1e-12;
  return true;
}

void ExpectSummaryMatchesReport(const std::vector<std::string>& report,
                                const ResultTable& summary) {
  const std::vector<ReportFigure> figures = ReportFigures(report);
  ASSERT_EQ(summary.columns().size(), 2u);
  EXPECT_EQ(summary.rows(), figures.size());
  for (std::size_t i = 0; i < figures.size() && i < summary.rows(); ++i) {
    const ReportFigure& f = figures[i];
    EXPECT_EQ(summary.column(0).Text(i), f.label);
    const double got = summary.column(1).Real(i);
    double shown = 0, tolerance = 0;
    if (f.value == "nan" || f.value == "-" || f.value.starts_with("not estimable") ||
        (f.value.starts_with(">") && f.value.size() > 1 &&
                                               std::isdigit(static_cast<unsigned char>(f.value[1])))) {
      EXPECT_TRUE(std::isnan(got)) << f.label << " " << got;
    } else if (ShownNumber(f.value, shown, tolerance)) {
      EXPECT_NEAR(got, shown, tolerance) << f.label << " shown " << f.value;
    } else if (f.value == "inf") {
      EXPECT_TRUE(std::isinf(got)) << f.label;
    }
  }
}

}  // namespace kinvar::test

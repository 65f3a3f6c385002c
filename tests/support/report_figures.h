// The figure lines of a report ("Label|T3|I12.5") read back independently of
// the code that wrote them, to hold a command's `summary` table against its
// report: the same labels, the same values within the digits shown.
//
// Conventions: a figure line has a label that begins with a letter or '-'
// before "|T3" and a value after it; markup codes are dropped. A line
// indented under the figure line just above it carries both labels
// ("Sires in total -Progeny"); any other line ends such a run.
#pragma once

#include <string>
#include <vector>

#include "report/result_table.h"

namespace kinvar::test {

struct ReportFigure {
  std::string label;
  std::string value;  // as shown, markup dropped
};

std::vector<ReportFigure> ReportFigures(const std::vector<std::string>& report);

// Every figure line is a row of `summary` under its label and every row is a
// figure line; numbers agree within half a unit of the last digit shown
// (and a float's rounding), "nan", "-", "not estimable..." and ">N" (N a
// count) are missing values.
void ExpectSummaryMatchesReport(const std::vector<std::string>& report,
                                const ResultTable& summary);

// The number shown with its tolerance: false when `shown` is no number.
bool ShownNumber(const std::string& shown, double& value, double& tolerance);

}  // namespace kinvar::test

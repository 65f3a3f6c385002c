// The commands of kinvar-cli that draw pictures (the pedigree chart). They
// need Qt's painting, so they exist only when the pictures are built.
#pragma once

#include <optional>
#include <string>

#include "app/document.h"

namespace kinvar::cli {

struct ChartRequest {
  std::string id;
  int generations = 4;
  std::string size;    // "WxH" in pixels, empty for the default
  std::string output;  // .svg, .png or .pdf
};

// What is wrong with the request's file name or size, if anything: checked
// before the pedigree is opened.
std::optional<std::string> ChartUsageProblem(const ChartRequest& request);

// Draws the chart of the request's individual in the loaded pedigree:
// 0 written, 1 refused or not written (said on standard error).
int WriteChart(CKinvarDoc& doc, const ChartRequest& request);

}  // namespace kinvar::cli

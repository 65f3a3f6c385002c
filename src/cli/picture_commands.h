// The commands of kinvar-cli that draw pictures (the pedigree chart, the
// pedigree drawing). They
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

struct DrawRequest {
  std::string kinship;      // ancestors or descendants
  std::string scope;        // individual or group
  std::string input;        // the ID or the group number
  int generations = 0;      // back or forward, 0 for all
  std::string size;
  std::string output;
};

std::optional<std::string> DrawUsageProblem(const DrawRequest& request);

// Draws the ancestors or descendants of the request's individual or group:
// 0 written, 1 refused or not written (said on standard error; a drawing
// too large to draw names the most generations that fit).
int WriteDrawing(CKinvarDoc& doc, const DrawRequest& request);

}  // namespace kinvar::cli

// kinvar-cli plot: the charts over the results (trends by group, the
// distribution of F, founder contributions, average relationships between
// groups, the matings' progeny F, genomic against pedigree F) written as
// SVG, PNG or PDF.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/document.h"
#include "cli/cli_platform.h"

namespace kinvar::cli {

struct PlotRequest {
  std::string kind;                // trends, f-histogram, founders, group-heatmap, matings, purging, genomic-f
  std::vector<std::string> inputs; // the kind's arguments
  std::optional<std::string> forbidden;  // matings: a forbidden-matings file
  std::string size;    // "WxH" in pixels, empty for the default
  std::string output;  // .svg, .png or .pdf
  std::map<std::string, std::string> form;  // purging: its settings by key
  // genomic-f: the genomic inbreeding form's values by key (the genotype
  // file and its options), and the genomic F drawn: fg, fhom or froh.
  std::map<std::string, std::string> genomic = {};
  std::string measure = {};
};

// What is wrong with the kind, its arguments, the file name or the size, if
// anything: checked before the pedigree is opened.
std::optional<std::string> PlotUsageProblem(const PlotRequest& request);

// Runs the analysis the kind plots on the loaded pedigree and draws it:
// 0 written, 1 refused or not written (said on standard error).
int WritePlot(Document& doc, CliPlatform& platform, const PlotRequest& request);

}  // namespace kinvar::cli

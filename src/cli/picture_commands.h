// The commands of kinvar-cli that draw pictures (the pedigree chart, the
// pedigree drawing). They
// need Qt's painting, so they exist only when the pictures are built.
#pragma once

#include <QApplication>
#include <QSize>
#include <optional>
#include <string>

#include "app/document.h"
#include "pictures/picture.h"

namespace kinvar::cli {

struct ChartRequest {
  std::string id;
  int generations = 4;
  std::string size;    // "WxH" in pixels, empty for the default
  std::string output;  // .svg, .png or .pdf
};

// Painting needs a Qt application (a widgets one: the charts are Qt
// Charts) and no display: offscreen unless the user chose a platform.
bool ChooseOffscreen();
// Qt warns on every start without a runtime folder of the user's
// (XDG_RUNTIME_DIR unset, as under cron, ssh or a container), though
// offscreen painting never uses one: a private empty folder stands in while
// the application lives. Nothing when the variable is set.
struct PrivateRuntimeFolder {
  PrivateRuntimeFolder();
  ~PrivateRuntimeFolder();
  PrivateRuntimeFolder(const PrivateRuntimeFolder&) = delete;
  PrivateRuntimeFolder& operator=(const PrivateRuntimeFolder&) = delete;
  std::string path;  // empty when none was made
};
struct PaintingApplication {
  bool platformChosen = ChooseOffscreen();  // before the application starts
  PrivateRuntimeFolder runtimeFolder;
  int argc = 1;
  char name[11] = "kinvar-cli";
  char* argv[2] = {name, nullptr};
  QApplication app{argc, argv};
};

// "1600x1000": two whole numbers of pixels, each 1..20000.
std::optional<QSize> ParsePixels(const std::string& text);

// What is wrong with a picture's file name or size, if anything.
std::optional<std::string> PictureFileProblem(const std::string& output, const std::string& size);

// Writes the picture to `output` at `size` (empty: the default): 0 written,
// 1 not (said on standard error).
int WritePictureFile(const kinvar::pictures::Picture& picture, const std::string& output,
                     const std::string& size);

// What is wrong with the request's file name or size, if anything: checked
// before the pedigree is opened.
std::optional<std::string> ChartUsageProblem(const ChartRequest& request);

// Draws the chart of the request's individual in the loaded pedigree:
// 0 written, 1 refused or not written (said on standard error).
int WriteChart(Document& doc, const ChartRequest& request);

// Draws the pedigree chart of the planned offspring of the last planned
// mating (request.id unused): 0 written, 1 not (said on standard error).
int WritePlannedChart(Document& doc, const ChartRequest& request);
// Draws the pedigree certificate of the request's individual, A4 portrait:
// 0 written, 1 refused or not written (said on standard error).
int WriteCertificate(Document& doc, const ChartRequest& request);

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
int WriteDrawing(Document& doc, const DrawRequest& request);

}  // namespace kinvar::cli

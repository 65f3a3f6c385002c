// kinvar-cli certificate: the pedigree certificate as PDF (one A4 portrait
// page), SVG with its texts and PNG of A4's proportions, without a display;
// and the refusals, each with its status and message.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliCertificate : public test::CliFixture {};

#ifdef KINVAR_CLI_HAS_PICTURES

TEST_F(CliCertificate, WritesEachFormat) {
  const struct {
    const char* name;
    const char* file;
    const char* options;
    const char* starts;
  } rows[] = {
      {"pdf", "c2.pdf", "--generations 3", "%PDF"},
      {"svg", "c2.svg", "--generations 5", "<?xml"},
      {"png at its default size", "c2.png", "", "\x89PNG"},
      {"png of a size asked", "small.png", "--size 620x877", "\x89PNG"},
  };
  for (const auto& row : rows) {
    const CliRun run = Execute("certificate " + Herd() + " c2 " + row.options + " -o " + Quote(Out(row.file)));
    ASSERT_EQ(run.status, 0) << row.name << ": " << run.err;
    EXPECT_TRUE(test::ReadWholeFile(Out(row.file)).starts_with(row.starts)) << row.name;
  }
  // 210 mm by 297 mm: 595 by 842 points.
  const std::string pdf = test::ReadWholeFile(Out("c2.pdf"));
  std::smatch box;
  ASSERT_TRUE(std::regex_search(pdf, box, std::regex(R"(/MediaBox \[\s*0\s+0\s+([0-9.]+)\s+([0-9.]+)\s*\])")));
  EXPECT_NEAR(std::stod(box[1]), 595.0, 1.0);
  EXPECT_NEAR(std::stod(box[2]), 842.0, 1.0);
  const std::string svg = test::ReadWholeFile(Out("c2.svg"));
  for (const char* text : {">Pedigree Certificate<", ">C2<", ">B1<", ">B3<", ">A4<", ">D2<", ">unknown<",
                           ">3rd great-grandparents<", ">0.0644531<"})
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  EXPECT_EQ(test::PngSize(test::ReadWholeFile(Out("c2.png"))), std::make_pair(1240u, 1754u));
  EXPECT_EQ(test::PngSize(test::ReadWholeFile(Out("small.png"))), std::make_pair(620u, 877u));
}

TEST_F(CliCertificate, RefusesWhatItCannotDraw) {
  ExpectPictureRefusals("certificate", {
      {"two generations", "C2 --generations 2 -o x.svg", 1, "A pedigree certificate shows 3, 4 or 5 generations.\n"},
      {"six generations", "C2 --generations 6 -o x.svg", 1, "A pedigree certificate shows 3, 4 or 5 generations.\n"},
      {"unknown ID", "NOPE -o x.svg", 1, "Cannot find individual \"NOPE\" in the pedigree.\n"},
      {"bad extension", "C2 -o x.gif", 2, "kinvar-cli: cannot tell the format of"},
      {"no output", "C2", 2, "kinvar-cli: certificate needs -o FILE.svg, FILE.png or FILE.pdf\n"},
  });
}

#endif

}  // namespace
}  // namespace kinvar

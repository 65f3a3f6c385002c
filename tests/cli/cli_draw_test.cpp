// kinvar-cli draw: the pedigree drawing written as SVG and PNG without a
// display, and the refusals, each with its status and message.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

#ifdef KINVAR_CLI_HAS_PICTURES

class CliDraw : public test::CliFixture {};


TEST_F(CliDraw, DrawsAncestorsAndDescendants) {
  const struct {
    const char* name;
    const char* args;
    const char* file;
    std::vector<const char*> texts;  // in the SVG, each as a whole text
    std::vector<const char*> absent;
  } rows[] = {
      {"ancestors of group 3", "ancestors group 3", "a.svg",
       {">Ancestors of group 3<", ">C1<", ">C4<", ">B4<", ">D9<", ">S1<", ">Group 3<"}, {}},
      {"one generation of ancestors", "ancestors individual c4 --generations 1", "g.svg",
       {">Ancestors of individual C4, 1 generation<", ">C4<", ">B2<", ">B1<"}, {">A1<", ">S1<"}},
      {"descendants with the mates", "descendants individual S1", "d.svg",
       {">Descendants of individual S1<", ">D9<", ">A3<", ">C4<", ">Mate from outside<"}, {">S2<"}},
  };
  for (const auto& row : rows) {
    const CliRun run = Execute("draw " + Herd() + " " + row.args + " -o " + Quote(Out(row.file)));
    ASSERT_EQ(run.status, 0) << row.name << ": " << run.err;
    const std::string bytes = test::ReadWholeFile(Out(row.file));
    EXPECT_TRUE(bytes.starts_with("<?xml")) << row.name;
    for (const char* text : row.texts) EXPECT_NE(bytes.find(text), std::string::npos) << row.name << " " << text;
    for (const char* text : row.absent) EXPECT_EQ(bytes.find(text), std::string::npos) << row.name << " " << text;
  }
  const CliRun png = Execute("draw " + Herd() + " ancestors group 3 --size 800x600 -o " + Quote(Out("a.png")));
  ASSERT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(test::PngSize(test::ReadWholeFile(Out("a.png"))), std::make_pair(800u, 600u));
}

TEST_F(CliDraw, RefusesWhatItCannotDraw) {
  ExpectPictureRefusals("draw", {
      {"unknown ID", "ancestors individual NOPE -o x.svg", 1, "Cannot find individual \"NOPE\" in the pedigree.\n"},
      {"bad kinship", "cousins individual C4 -o x.svg", 2, "kinvar-cli: "},
      {"bad scope", "ancestors herd 3 -o x.svg", 2, "kinvar-cli: "},
      {"no output", "ancestors group 3", 2, "kinvar-cli: draw needs -o FILE.svg, FILE.png or FILE.pdf\n"},
      {"bad extension", "ancestors group 3 -o x.gif", 2, "kinvar-cli: cannot tell the format of"},
      {"negative generations", "ancestors group 3 --generations -1 -o x.svg", 2,
       "kinvar-cli: --generations takes a number of generations, 1 or more"},
      {"bad size", "ancestors group 3 --size 0x5 -o x.png", 2, "kinvar-cli: --size takes WIDTHxHEIGHT"},
  });
}

TEST_F(CliDraw, TooLargeADrawingNamesTheGenerationsThatFit) {
  std::string text = "progeny sire dam\nX 0 0\nM 0 0\nC1 X M\nC2 X M\nC3 X M\n";
  for (int c = 1; c <= 3; ++c)
    for (int d = 0; d < 1700; ++d)
      text += "P" + std::to_string(c) + "_" + std::to_string(d) + " C" + std::to_string(c) + " Q" +
              std::to_string(c) + "_" + std::to_string(d) + "\n";
  const std::string path = Out("wide.pdg");
  test::WriteWholeFile(path, text);
  const CliRun run = Execute("draw " + Quote(path) + " descendants individual X -o " + Quote(Out("w.svg")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The drawing would have 10205 nodes, more than the 5000 that can be drawn. "
                         "Draw 1 generation (5 nodes).\nAdd --generations 1.\n"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(Out("w.svg")));
  EXPECT_EQ(Execute("draw " + Quote(path) + " descendants individual X --generations 1 -o " + Quote(Out("w.svg"))).status, 0);
}

#endif

}  // namespace
}  // namespace kinvar

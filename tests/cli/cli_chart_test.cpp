// kinvar-cli chart: the pedigree chart written as SVG, PNG and PDF without a
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

class CliChart : public test::CliFixture {};

#ifdef KINVAR_CLI_HAS_PICTURES


TEST_F(CliChart, WritesEachFormat) {
  const struct {
    const char* name;
    const char* file;
    const char* options;
    const char* starts;
  } rows[] = {
      {"svg", "c4.svg", "", "<?xml"},
      {"png", "c4.png", "--size 640x480", "\x89PNG"},
      {"png default size", "d.png", "--generations 8", "\x89PNG"},
      {"pdf", "c4.pdf", "--generations 2", "%PDF"},
  };
  for (const auto& row : rows) {
    const CliRun run = Execute("chart " + Herd() + " c4 " + row.options + " -o " + Quote(Out(row.file)));
    ASSERT_EQ(run.status, 0) << row.name << ": " << run.err;
    const std::string bytes = test::ReadWholeFile(Out(row.file));
    EXPECT_TRUE(bytes.starts_with(row.starts)) << row.name;
    if (std::string(row.name) == "svg") {
      for (const char* id : {">C4<", ">B1<", ">B2<", ">A1<", ">S1<", ">D2<", "Pedigree chart of C4"})
        EXPECT_NE(bytes.find(id), std::string::npos) << id;
    }
  }
  EXPECT_EQ(test::PngSize(test::ReadWholeFile(Out("c4.png"))), std::make_pair(640u, 480u));
  EXPECT_EQ(test::PngSize(test::ReadWholeFile(Out("d.png"))), std::make_pair(1600u, 1000u));
}

TEST_F(CliChart, RefusesWhatItCannotDraw) {
  ExpectPictureRefusals("chart", {
      {"nine generations", "C4 --generations 9 -o x.svg", 1, "A pedigree chart shows at most 8 generations.\n"},
      {"no generation", "C4 --generations 0 -o x.svg", 1, "A pedigree chart shows at least 1 generation.\n"},
      {"unknown ID", "NOPE -o x.svg", 1, "Cannot find individual \"NOPE\" in the pedigree.\n"},
      {"bad extension", "C4 -o x.gif", 2, "kinvar-cli: cannot tell the format of"},
      {"no output", "C4", 2, "kinvar-cli: chart needs -o FILE.svg, FILE.png or FILE.pdf\n"},
      {"bad size", "C4 --size 16x0 -o x.png", 2, "kinvar-cli: --size takes WIDTHxHEIGHT"},
      {"tables", "C4 --format csv -o x.png", 2, "kinvar-cli: chart draws a picture"},
  });
}

#else

TEST_F(CliChart, HelpSaysThePicturesNeedTheQtBuild) {
  const CliRun help = Execute("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("The pictures (chart, certificate, draw and plot) need the Qt build of kinvar-cli."),
            std::string::npos);
  EXPECT_EQ(Execute("chart " + Herd() + " C4 -o x.svg").status, 2);
  EXPECT_EQ(Execute("draw " + Herd() + " ancestors group 3 -o x.svg").status, 2);
  EXPECT_EQ(Execute("certificate " + Herd() + " C2 -o x.pdf").status, 2);
}

#endif

}  // namespace
}  // namespace kinvar

// kinvar-cli's pictures (chart, certificate, draw and plot) written as SVG,
// PNG and PDF without a display, and the refusals, each with its status and
// message; a kinvar-cli without Qt says that it has none.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliPictures : public test::CliFixture {};

#ifdef KINVAR_CLI_HAS_PICTURES

std::string Examples(const std::string& name) { return std::string(KINVAR_EXAMPLES_DIR) + "/" + name; }

// What a file of this name must begin with.
std::string Signature(const std::string& file) {
  if (file.ends_with(".svg")) return "<?xml";
  if (file.ends_with(".png")) return "\x89PNG";
  return "%PDF";
}

TEST_F(CliPictures, EachCommandWritesEachFormat) {
  const test::TempFile sires("! sires of 2022\nB1 1\nb2,1\nB3 1\nB4 1\n", ".c");
  const std::string herd = " " + Herd() + " ", plot = "-q plot" + herd, genotypes = " --genotypes ";
  const struct {
    const char* name;
    std::string args;  // "-o FILE" follows
    const char* file;
    std::vector<const char*> texts;  // in the SVG, each as a whole text
    std::vector<const char*> absent;
    std::pair<std::uint32_t, std::uint32_t> png;  // its size; none asked of an SVG or a PDF
  } rows[] = {
      {"chart svg", "chart" + herd + "c4", "c4.svg",
       {">C4<", ">B1<", ">B2<", ">A1<", ">S1<", ">D2<", "Pedigree chart of C4"}, {}, {}},
      {"chart png", "chart" + herd + "c4 --size 640x480", "c4.png", {}, {}, {640, 480}},
      {"chart png default size", "chart" + herd + "c4 --generations 8", "d.png", {}, {}, {1600, 1000}},
      {"chart pdf", "chart" + herd + "c4 --generations 2", "c4.pdf", {}, {}, {}},
      {"certificate pdf", "certificate" + herd + "c2 --generations 3", "c2.pdf", {}, {}, {}},
      {"certificate svg", "certificate" + herd + "c2 --generations 5", "c2.svg",
       {">Pedigree Certificate<", ">C2<", ">B1<", ">B3<", ">A4<", ">D2<", ">unknown<",
        ">3rd great-grandparents<", ">0.0644531<"}, {}, {}},
      {"certificate png at its default size", "certificate" + herd + "c2", "c2.png", {}, {}, {1240, 1754}},
      {"certificate png of a size asked", "certificate" + herd + "c2 --size 620x877", "small.png", {}, {},
       {620, 877}},
      {"draw ancestors of group 3", "draw" + herd + "ancestors group 3", "a.svg",
       {">Ancestors of group 3<", ">C1<", ">C4<", ">B4<", ">D9<", ">S1<", ">Group 3<"}, {}, {}},
      {"draw one generation of ancestors", "draw" + herd + "ancestors individual c4 --generations 1", "g.svg",
       {">Ancestors of individual C4, 1 generation<", ">C4<", ">B2<", ">B1<"}, {">A1<", ">S1<"}, {}},
      {"draw descendants with the mates", "draw" + herd + "descendants individual S1", "d.svg",
       {">Descendants of individual S1<", ">D9<", ">A3<", ">C4<", ">Mate from outside<"}, {">S2<"}, {}},
      {"draw png", "draw" + herd + "ancestors group 3 --size 800x600", "a.png", {}, {}, {800, 600}},
      {"plot trends", plot + "trends --size 800x600", "t.svg", {">Pedigree depth<"}, {}, {}},
      {"plot trends of a group", plot + "trends 3 --size 800x600", "t3.svg", {">Group 3<"}, {}, {}},
      {"plot f-histogram", plot + "f-histogram --size 800x600", "f.svg", {">Inbreds<"}, {}, {}},
      {"plot founders", plot + "founders 3 --size 800x600", "fo.png", {}, {}, {800, 600}},
      {"plot group-heatmap", plot + "group-heatmap --size 800x600", "h.svg", {">0.559<"}, {}, {}},
      {"plot matings", plot + "matings 2 3 " + Quote(sires.path()) + " --size 800x600", "m.svg",
       {">Proven optimum<"}, {}, {}},
      {"plot purging",
       plot + "purging --purging-coefficient 0.2 --gene-drop 20 --seed-file " + Quote(Out("seed")) +
           " --size 800x600",
       "p.svg", {">F old<"}, {}, {}},
      {"plot genomic-f", plot + "genomic-f" + genotypes + Quote(Examples("herd-genotypes.vcf")) + " --size 800x600",
       "g.svg", {">F from G's diagonal (F_G) against pedigree F<"}, {}, {}},
      {"plot genomic-f of runs",
       plot + "genomic-f --measure froh --roh-min-snps 40" + genotypes + Quote(Examples("herd-genotypes.vcf")) +
           " --size 800x600",
       "gr.svg", {">F from runs of homozygosity (F_ROH) against pedigree F<"}, {}, {}},
      {"plot genomic-f as PNG",
       plot + "genomic-f --measure fhom" + genotypes + Quote(Examples("herd-genotypes.txt")) + " --size 800x600",
       "gh.png", {}, {}, {800, 600}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const CliRun run = Execute(row.args + " -o " + Quote(Out(row.file)));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = test::ReadWholeFile(Out(row.file));
    EXPECT_TRUE(bytes.starts_with(Signature(row.file)));
    for (const char* text : row.texts) EXPECT_NE(bytes.find(text), std::string::npos) << text;
    for (const char* text : row.absent) EXPECT_EQ(bytes.find(text), std::string::npos) << text;
    if (row.png.first != 0) {
      EXPECT_EQ(test::PngSize(bytes), row.png);
    }
  }
}

TEST_F(CliPictures, RefuseWhatTheyCannotDraw) {
  ExpectPictureRefusals("chart", {
      {"nine generations", "C4 --generations 9 -o x.svg", 1, "A pedigree chart shows at most 8 generations.\n"},
      {"no generation", "C4 --generations 0 -o x.svg", 1, "A pedigree chart shows at least 1 generation.\n"},
      {"unknown ID", "NOPE -o x.svg", 1, "Cannot find individual \"NOPE\" in the pedigree.\n"},
      {"bad extension", "C4 -o x.gif", 2, "kinvar-cli: cannot tell the format of"},
      {"no output", "C4", 2, "kinvar-cli: chart needs -o FILE.svg, FILE.png or FILE.pdf\n"},
      {"bad size", "C4 --size 16x0 -o x.png", 2, "kinvar-cli: --size takes WIDTHxHEIGHT"},
      {"tables", "C4 --format csv -o x.png", 2, "kinvar-cli: chart draws a picture"},
  });
  ExpectPictureRefusals("certificate", {
      {"two generations", "C2 --generations 2 -o x.svg", 1, "A pedigree certificate shows 3, 4 or 5 generations.\n"},
      {"six generations", "C2 --generations 6 -o x.svg", 1, "A pedigree certificate shows 3, 4 or 5 generations.\n"},
      {"unknown ID", "NOPE -o x.svg", 1, "Cannot find individual \"NOPE\" in the pedigree.\n"},
      {"bad extension", "C2 -o x.gif", 2, "kinvar-cli: cannot tell the format of"},
      {"no output", "C2", 2, "kinvar-cli: certificate needs -o FILE.svg, FILE.png or FILE.pdf\n"},
  });
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
  const std::string kinds =
      "the kinds are:\n  trends [G]\n  f-histogram\n  founders G\n  group-heatmap\n"
      "  matings SIRES DAMS FILE.c [--forbidden FILE.fm]\n";
  const std::string unknownKind = "kinvar-cli: unknown kind of chart \"pie\"; " + kinds;
  ExpectPictureRefusals("-q plot", {
      {"unknown kind", "pie -o x.svg", 2, unknownKind.c_str()},
      {"missing group", "founders -o x.svg", 2, "kinvar-cli: usage: plot PEDIGREE founders G\n"},
      {"too many", "f-histogram 3 -o x.svg", 2, "kinvar-cli: usage: plot PEDIGREE f-histogram\n"},
      {"no output", "trends", 2, "kinvar-cli: plot needs -o FILE.svg, FILE.png or FILE.pdf\n"},
      {"forbidden elsewhere", "trends --forbidden x.fm -o x.svg", 2,
       "kinvar-cli: --forbidden applies to the matings chart\n"},
      {"unknown group", "founders 9 -o x.svg", 1, "Group \"9\" is not in the pedigree.\n"},
      {"genomic-f without genotypes", "genomic-f -o x.svg", 2,
       "kinvar-cli: the genomic-f chart needs --genotypes FILE\n"},
      {"genotypes elsewhere", "trends --genotypes g.vcf -o x.svg", 2,
       "kinvar-cli: --genotypes and its options apply to the genomic-f chart\n"},
      {"measure elsewhere", "trends --measure fg -o x.svg", 2, "kinvar-cli: --measure applies to the genomic-f chart\n"},
      {"unknown measure", "genomic-f --genotypes g.vcf --measure fx -o x.svg", 2,
       "kinvar-cli: --measure takes fg, fhom or froh: fx\n"},
      {"unreadable genotypes", "genomic-f --genotypes no-such.vcf -o x.svg", 1, ""},
  });
}

TEST_F(CliPictures, TooLargeADrawingNamesTheGenerationsThatFit) {
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

#else

TEST_F(CliPictures, HelpSaysThePicturesNeedTheQtBuild) {
  const CliRun help = Execute("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("The pictures (chart, certificate, draw and plot) need the Qt build of kinvar-cli."),
            std::string::npos);
  EXPECT_EQ(Execute("chart " + Herd() + " C4 -o x.svg").status, 2);
  EXPECT_EQ(Execute("draw " + Herd() + " ancestors group 3 -o x.svg").status, 2);
  EXPECT_EQ(Execute("certificate " + Herd() + " C2 -o x.pdf").status, 2);
  EXPECT_EQ(Execute("plot " + Herd() + " trends -o x.svg").status, 2);
}

#endif

}  // namespace
}  // namespace kinvar

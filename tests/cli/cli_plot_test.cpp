// kinvar-cli plot: every kind of chart written without a display, and the
// refusals, each with its status and message.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliPlot : public test::CliFixture {};

#ifdef KINVAR_CLI_HAS_PICTURES

std::string Examples(const std::string& name) { return std::string(KINVAR_EXAMPLES_DIR) + "/" + name; }

TEST_F(CliPlot, EachKindWritesItsChart) {
  const test::TempFile sires("! sires of 2022\nB1 1\nb2,1\nB3 1\nB4 1\n", ".c");
  const struct {
    const char* name;
    std::string args;
    const char* file;
    const char* holds;  // a text of the SVG, or "" for a PNG
  } rows[] = {
      {"trends", "trends", "t.svg", ">Pedigree depth<"},
      {"trends of a group", "trends 3", "t3.svg", ">Group 3<"},
      {"f-histogram", "f-histogram", "f.svg", ">Inbreds<"},
      {"founders", "founders 3", "fo.png", ""},
      {"group-heatmap", "group-heatmap", "h.svg", ">0.559<"},
      {"matings", "matings 2 3 " + Quote(sires.path()), "m.svg", ">Proven optimum<"},
      {"purging", "purging --purging-coefficient 0.2 --gene-drop 20 --seed-file " + Quote(Out("seed")), "p.svg",
       ">F old<"},
      {"genomic-f", "genomic-f --genotypes " + Quote(Examples("herd-genotypes.vcf")), "g.svg",
       ">F from G's diagonal (F_G) against pedigree F<"},
      {"genomic-f of runs", "genomic-f --measure froh --roh-min-snps 40 --genotypes " +
                                Quote(Examples("herd-genotypes.vcf")), "gr.svg",
       ">F from runs of homozygosity (F_ROH) against pedigree F<"},
      {"genomic-f as PNG", "genomic-f --measure fhom --genotypes " + Quote(Examples("herd-genotypes.txt")), "gh.png",
       ""},
  };
  for (const auto& row : rows) {
    const CliRun run = Execute("-q plot " + Herd() + " " + row.args + " --size 800x600 -o " + Quote(Out(row.file)));
    EXPECT_EQ(run.status, 0) << row.name << ": " << run.err;
    const std::string bytes = test::ReadWholeFile(Out(row.file));
    if (*row.holds == 0) {
      EXPECT_EQ(test::PngSize(bytes), std::make_pair(800u, 600u)) << row.name;
    } else {
      EXPECT_EQ(bytes.rfind("<?xml", 0), 0u) << row.name;
      EXPECT_NE(bytes.find(row.holds), std::string::npos) << row.name;
    }
  }
}

TEST_F(CliPlot, RefusesWithStatusAndMessage) {
  const std::string kinds =
      "the kinds are:\n  trends [G]\n  f-histogram\n  founders G\n  group-heatmap\n"
      "  matings SIRES DAMS FILE.c [--forbidden FILE.fm]\n";
  const struct {
    const char* name;
    std::string args;
    int status;
    std::string message;  // the start of standard error
  } rows[] = {
      {"unknown kind", "pie -o x.svg", 2, "kinvar-cli: unknown kind of chart \"pie\"; " + kinds},
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
  };
  for (const auto& row : rows) {
    const CliRun run = Execute("-q plot " + Herd() + " " + row.args);
    EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
    EXPECT_EQ(run.err.find(row.message), 0u) << row.name << ": " << run.err;
  }
}

#endif

}  // namespace
}  // namespace kinvar

// --precision and the single-precision warning, as a user of kinvar-cli
// meets them: the option's values, the warning once on standard error and
// right after the header of the text output, and triplets that restore the
// doubles the program computed.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "genetics/inbreeding.h"
#include "genetics/inverse_a.h"
#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::Quote;

std::string FullSibLine(int generations) {
  return test::FullSibLine("progeny sire dam\nM0 0 0\nF0 0 0\n", generations, "", 'M', 'F');
}

constexpr const char* kWarning60 =
    "Warning: D of M51 is below 2^-16 in single precision; use --precision double (Options).\n";

class CliPrecision : public test::CliFixture {
 protected:
  std::string Line(int generations) {
    files_.push_back(std::make_unique<test::TempFile>(FullSibLine(generations)));
    return Quote(files_.back()->path());
  }
  std::vector<std::unique_ptr<test::TempFile>> files_;
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(CliPrecision, WarnsOnceExactlyWhereSinglePrecisionFails) {
  const std::string deep = Line(60), shallow = Line(30);
  const struct {
    const char* name;
    std::string args;
    bool warned;
    bool inOutput;  // after the header of the text output
  } rows[] = {
      {"inbreeding, deep", "-q inbreeding " + deep, true, true},
      {"dii, deep", "-q dii " + deep, true, true},
      {"relationships, deep", "-q relationships " + deep + " all", true, true},
      {"average relatedness, deep", "-q average-relatedness " + deep, true, true},
      {"inverse, deep", "-q inverse " + deep + " --triplets", true, false},
      {"inbreeding, deep, double", "-q inbreeding " + deep + " --precision double", false, false},
      {"inverse, deep, double", "-q inverse " + deep + " --triplets --precision double", false,
       false},
      {"inbreeding, shallow", "-q inbreeding " + shallow, false, false},
      {"inverse, shallow", "-q inverse " + shallow + " --triplets", false, false},
      {"structure, deep (single precision only)", "-q structure " + deep, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const test::CliRun run = Execute(row.args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, row.warned ? kWarning60 : "");
    EXPECT_EQ(Count(run.out, "Warning: D of"), row.inOutput ? 1u : 0u);
    if (row.inOutput) {
      EXPECT_NE(run.out.find("\n\n" + std::string(kWarning60)), std::string::npos);
    }
  }
}

TEST_F(CliPrecision, SingleIsTheDefaultAndOtherValuesAreRefused) {
  const std::string deep = Line(40);
  for (const char* command : {"inbreeding", "dii", "relationships"}) {
    std::string args = std::string("-q ") + command + " " + deep;
    if (std::string(command) == "relationships") args += " all";
    EXPECT_EQ(Execute(args).out, Execute(args + " --precision single").out) << command;
  }
  EXPECT_EQ(Execute("-q inbreeding " + deep + " --precision quad").status, 2);
}

// Every triplet reads back as the double the library computes in process.
TEST_F(CliPrecision, DoubleTripletsRestoreTheDoubles) {
  const std::string text = FullSibLine(45);
  const test::CliRun run = Execute("-q inverse " + Line(45) + " --triplets --precision double");
  ASSERT_EQ(run.status, 0) << run.err;

  Pedigree ped;
  ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded);
  EnsureCodeOrder(ped);
  SilentProgressWindow window;
  Progress progress(window);
  InbreedingOptions options;
  options.doublePrecision = true;
  ASSERT_TRUE(ComputeInbreeding(ped, progress, options));
  const auto build = BuildInverseOfA(ped, ped.dDouble, progress);
  ASSERT_EQ(build.status, BuildStatus::kDone);

  std::istringstream lines(run.out);
  std::int64_t count = 0;
  for (std::string row, column, value; lines >> row >> column >> value; ++count) {
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    ASSERT_EQ(error, std::errc());
    ASSERT_EQ(end, value.data() + value.size());
    EXPECT_EQ(parsed, build.matrix.At(std::stoi(row) - 1, std::stoi(column) - 1))
        << row << " " << column;
  }
  EXPECT_EQ(count, build.matrix.Stored());
}

}  // namespace
}  // namespace kinvar

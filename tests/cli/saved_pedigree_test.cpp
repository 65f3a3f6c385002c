// kinvar-cli view writes a pedigree file whose F read back are the F the
// program loaded, bit for bit, under every number format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "support/cli_fixture.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

class CliSavedPedigree : public test::CliFixture {
 protected:
  // Runs `kinvar-cli view` on `input` and returns what it wrote.
  std::string View(const std::string& input, int format) {
    const std::string out = (home_ / "out.pdg").string();
    const std::string args = "view " + test::Quote(input) + " --number-format " +
                             std::to_string(format) + " -o " + test::Quote(out);
    EXPECT_EQ(Execute(args).status, 0) << args;
    return test::ReadWholeFile(out);
  }
};

TEST_F(CliSavedPedigree, ViewGivesBackEveryFBitForBitUnderEveryFormat) {
  for (std::uint64_t seed = 40; seed < 46; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 80);
    options.fColumn = true;
    options.predefinedChance = 0.6;
    const test::RandomPedigree made = test::MakeRandomPedigree(options);
    const test::TempFile input(made.text);
    Pedigree loaded;
    ASSERT_EQ(test::LoadText(made.text, loaded).status, LoadStatus::kLoaded);
    for (int format = 0; format <= 7; ++format) {
      Pedigree back;
      const std::string saved = View(input.path(), format);
      ASSERT_EQ(test::LoadText(saved, back).status, LoadStatus::kLoaded) << saved;
      EXPECT_EQ(test::KnownF(back), test::KnownF(loaded)) << "seed " << seed << " format " << format;
    }
  }
}

}  // namespace
}  // namespace kinvar

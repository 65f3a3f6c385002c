// IDs typed on the command line are matched whole: a text longer than any
// ID can be is not found, never the animal whose ID begins with it.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliTypedIds : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    // Twenty bytes, the longest an ID can be; C is its progeny with B.
    test::WriteWholeFile(Out("long.pdg"),
                         "Progeny Sire Dam\nABCDEFGHIJKLMNOPQRST 0 0\nB 0 0\nC ABCDEFGHIJKLMNOPQRST B\n"
                         "D C B\n");
  }
  std::string Pedigree() const { return Quote(Out("long.pdg")); }
};

TEST_F(CliTypedIds, AnIdLongerThanAnyIdIsNotFound) {
  const std::string p = Pedigree();
  ExpectRefusals({
      {"inbreeding-of", "-q inbreeding-of " + p + " ABCDEFGHIJKLMNOPQRSTXYZ", 1,
       "Cannot find \"ABCDEFGHIJKLMNOPQRSTXYZ\" in the pedigree.\n"},
      {"relationship, first", "-q relationship " + p + " ABCDEFGHIJKLMNOPQRST-WRONG B", 1,
       "Cannot find individual \"ABCDEFGHIJKLMNOPQRST-WRONG\" in the pedigree.\n"},
      {"relationship, second in lower case", "-q relationship " + p + " B abcdefghijklmnopqrstu", 1,
       "Cannot find individual \"ABCDEFGHIJKLMNOPQRSTU\" in the pedigree.\n"},
      {"path-counting", "-q path-counting " + p + " individual ABCDEFGHIJKLMNOPQRSTXYZ", 1,
       "Cannot find individual \"ABCDEFGHIJKLMNOPQRSTXYZ\" in the pedigree.\n"},
      {"decompose", "-q decompose " + p + " individual ABCDEFGHIJKLMNOPQRSTXYZ", 1,
       "Cannot find individual \"ABCDEFGHIJKLMNOPQRSTXYZ\" in the pedigree.\n"},
      {"extract", "-q extract " + p + " ancestors individual ABCDEFGHIJKLMNOPQRSTXYZ", 1,
       "Cannot find individual \"ABCDEFGHIJKLMNOPQRSTXYZ\" in the pedigree.\n"},
  });
}

TEST_F(CliTypedIds, AnIdOfTwentyBytesIsFoundInAnyCase) {
  struct Row {
    const char* name;
    std::string args;
    const char* out;
  };
  const Row rows[] = {
      {"inbreeding-of", "inbreeding-of " + Pedigree() + " abcdefghijklmnopqrst", "0\n"},
      {"relationship", "relationship " + Pedigree() + " abcdefghijklmnopqrst C", "0.5\n"},
      {"relationship with its grandprogeny", "relationship " + Pedigree() + " D ABCDEFGHIJKLMNOPQRST",
       "0.25\n"},
  };
  for (const Row& row : rows) {
    const CliRun run = Execute("-q " + row.args);
    EXPECT_EQ(run.status, 0) << row.name << ": " << run.err;
    EXPECT_EQ(run.out, row.out) << row.name;
  }
}

}  // namespace
}  // namespace kinvar

// kinvar-cli given a folder, a device or a FIFO where a side file belongs:
// a folder or a device of zero bytes is refused with what it is, naming it,
// and never read as an empty file; a FIFO is read as its writer writes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/cli_fixture.h"
#include "support/side_sources.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliSideFiles : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    test::WriteWholeFile(Out("g.pdg"), "Progeny Sire Dam\nA G1 g2\nB G1 0\nC A B\nD A G2\nE C D\n");
    test::WriteWholeFile(Out("groups.txt"), "G1\n\ng2\n");
    std::filesystem::create_directories(Out("folder"));
  }
  std::string Pedigree() const { return Quote(Out("g.pdg")); }
  std::string Groups() const { return " --genetic-groups " + Quote(Out("groups.txt")); }
  std::string Folder() const { return Quote(Out("folder")); }
  std::string FolderMessage() const { return Out("folder") + " is a folder, not a file.\n"; }
};

TEST_F(CliSideFiles, AFolderOrADeviceIsRefusedForWhatItIs) {
  const std::string herd = Herd(), sires = Quote(std::string(KINVAR_EXAMPLES_DIR) + "/herd-sires.c");
  const std::string zero = "/dev/zero is not a text file: line 1 holds a zero byte.\n";
  ExpectRefusals({
      {"groups from a folder", "-q inverse " + Pedigree() + " --genetic-groups " + Folder(), 1, FolderMessage()},
      {"groups from /dev/zero", "-q inverse " + Pedigree() + " --genetic-groups /dev/zero", 1, zero},
      {"fractions from a folder", "-q inverse " + Pedigree() + Groups() + " --group-fractions " + Folder(), 1,
       FolderMessage()},
      {"fractions from /dev/zero", "-q inverse " + Pedigree() + Groups() + " --group-fractions /dev/zero", 1,
       zero},
      {"Gamma from a folder", "-q inverse " + Pedigree() + " --metafounders " + Folder(), 1, FolderMessage()},
      {"Gamma from /dev/full", "-q inverse " + Pedigree() + " --metafounders /dev/full", 1,
       "/dev/full is not a text file: line 1 holds a zero byte.\n"},
      {"contributions from a folder", "-q optimize-matings " + herd + " 2 3 " + Folder(), 1, FolderMessage()},
      {"contributions from /dev/zero", "-q optimize-matings " + herd + " 2 3 /dev/zero", 1, zero},
      {"forbidden from a folder", "-q optimize-matings " + herd + " 2 3 " + sires + " --forbidden " + Folder(),
       1, FolderMessage()},
      {"forbidden from /dev/zero", "-q optimize-matings " + herd + " 2 3 " + sires + " --forbidden /dev/zero", 1,
       zero},
      {"settings from a folder", "-q inbreeding " + Pedigree() + " --settings " + Folder(), 1, FolderMessage()},
  });
}

TEST_F(CliSideFiles, AFifoIsReadAsItsWriterWritesIt) {
  const test::FifoWithWriter fifo("G1\ng2\n");
  const CliRun piped = Execute("-q inverse " + Pedigree() + " --genetic-groups " + Quote(fifo.path()) +
                               " --triplets");
  const CliRun file = Execute("-q inverse " + Pedigree() + Groups() + " --triplets");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, file.out);
}

}  // namespace
}  // namespace kinvar

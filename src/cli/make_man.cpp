// Writes the man pages kinvar-cli.1 and kinvar.1 from the manual's pages that
// the programs carry, so `man kinvar-cli` says what `kinvar-cli help` says.
// Run by the build: kinvar-make-man PROGRAM VERSION DATE OUTPUT
//
// The page replaces OUTPUT only once it is written whole: a build stopped
// half way, or a full disk, leaves the page that was there.
#include <cstdio>
#include <memory>
#include <string>

#include "app/manual.h"
#include "report/output_file.h"

namespace {

int CannotWrite(const char* path, const std::string& why) {
  std::fprintf(stderr, "kinvar-make-man: cannot write %s\n", path);
  if (!why.empty()) std::fprintf(stderr, "kinvar-make-man: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: kinvar-make-man kinvar-cli|kinvar VERSION DATE OUTPUT\n");
    return 2;
  }
  const std::string page = kinvar::ManPage(argv[1], argv[2], argv[3]);
  std::string error;
  const std::unique_ptr<kinvar::OutputFile> out = kinvar::OutputFile::Begin(argv[4], error);
  if (!out) return CannotWrite(argv[4], error);
  out->Raw(page);
  if (!out->Commit()) return CannotWrite(argv[4], out->error());
  return 0;
}

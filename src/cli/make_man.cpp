// Writes the man pages kinvar-cli.1 and kinvar.1 from the manual's pages that
// the programs carry, so `man kinvar-cli` says what `kinvar-cli help` says.
// Run by the build: kinvar-make-man PROGRAM VERSION DATE OUTPUT
#include <cstdio>
#include <fstream>
#include <string>

#include "app/manual.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: kinvar-make-man kinvar-cli|kinvar VERSION DATE OUTPUT\n");
    return 2;
  }
  const std::string page = kinvar::ManPage(argv[1], argv[2], argv[3]);
  std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
  out << page;
  out.close();
  if (!out) {
    std::fprintf(stderr, "kinvar-make-man: cannot write %s\n", argv[4]);
    return 1;
  }
  return 0;
}

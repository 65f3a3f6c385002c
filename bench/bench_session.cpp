// kinvar-bench-session: what the R and Python packages cost beyond the core,
// on a generated pedigree of 1000000 individuals: the pedigree from columns
// in memory against the same file read by the document, each followed by
// the inbreeding coefficients, and the inverse of A in input order.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/session.h"
#include "bench_support.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-session [--n 1000000] [--seed S]\n"
    "  Times Session::FromColumns + Inbreeding against Session::Read + Inbreeding,\n"
    "  and InverseOfA, on a generated pedigree; each in a child of its own.\n";

// The file's columns as text cells, as a data frame would hand them over.
// The generator writes some occurrences of an ID in lower case, which the
// reader takes for one individual and a session refuses; its IDs are
// upper-cased here as the reader would.
PedigreeColumns ReadColumns(const std::string& path) {
  std::ifstream in(path);
  PedigreeColumns columns;
  std::string line;
  while (std::getline(in, line) && line.starts_with("!")) {}
  std::istringstream header(line);
  for (std::string name; header >> name;) columns.names.push_back(name);
  columns.cells.resize(columns.names.size());
  while (std::getline(in, line)) {
    std::istringstream cells(line);
    std::string cell;
    for (auto& column : columns.cells) {
      cells >> cell;
      for (char& c : cell)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      column.push_back(cell);
    }
  }
  return columns;
}

bool Measure(const std::string& path, Results& r) {
  const ChildOutcome columns = RunInChild([&](Results& out) {
    const PedigreeColumns cells = ReadColumns(path);
    ResetPeakResident();
    const double start = Now();
    const auto session = Session::FromColumns(cells);
    out["fromColumns"] = Now() - start;
    session->Inbreeding();
    out["columnsAndF"] = Now() - start;
    const double inverse = Now();
    const LowerTriplets t = session->InverseOfA();
    out["inverse"] = Now() - inverse;
    out["elements"] = static_cast<double>(t.value.size());
    out["n"] = session->size();
    return true;
  });
  const ChildOutcome file = RunInChild([&](Results& out) {
    const double start = Now();
    const auto session = Session::Read(path);
    out["read"] = Now() - start;
    session->Inbreeding();
    out["fileAndF"] = Now() - start;
    return true;
  });
  if (!columns.ok || !file.ok) return false;
  r = columns.results;
  r.insert(file.results.begin(), file.results.end());
  r["columnsPeak"] = static_cast<double>(columns.peakBytes);
  r["filePeak"] = static_cast<double>(file.peakBytes);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const GeneratorOptions gen = GeneratorOf(args, 1000000);
  const std::string path = TempPath("kinvar-bench-session") + ".pdg";
  GenerateOrExit(gen, path);
  Results r;
  const bool ok = Measure(path, r);
  std::remove(path.c_str());
  if (!ok) {
    std::fputs("kinvar-bench-session: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f\n\n", r.at("n"));
  std::printf("  from columns                      %8.3f s\n", r.at("fromColumns"));
  std::printf("  from columns + inbreeding         %8.3f s  (peak %.0f MB, columns included)\n",
              r.at("columnsAndF"), r.at("columnsPeak") / 1e6);
  std::printf("  file read                         %8.3f s\n", r.at("read"));
  std::printf("  file read + inbreeding            %8.3f s  (peak %.0f MB)\n", r.at("fileAndF"),
              r.at("filePeak") / 1e6);
  std::printf("  inverse of A in input order       %8.3f s  (%.0f elements)\n", r.at("inverse"),
              r.at("elements"));
  std::printf("\n  Wall seconds. Targets: columns + inbreeding within 1.5x the file's;\n"
              "  the inverse well under 5 s, leaving room for the packages' conversion.\n");
  return 0;
}

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "genetics/inbreeding.h"

namespace kinvar::test {

namespace {

std::string UniquePath(std::string_view extension) {
  static std::atomic<int> counter{0};
  const auto dir = std::filesystem::temp_directory_path();
  return (dir / ("kinvar-test-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter++) + std::string(extension)))
      .string();
}

}  // namespace

TempFile::TempFile(std::string_view contents, std::string_view extension)
    : path_(UniquePath(extension)) {
  std::ofstream out(path_, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

TempFile::~TempFile() { std::remove(path_.c_str()); }

long DeadProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWholeFile(const std::string& path, std::string_view contents) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(contents.data(), 1, contents.size(), file);
  std::fclose(file);
}

bool HasTemporaryBeside(const std::string& target) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path(), error))
    if (entry.path().filename().string().rfind(".kinvar-", 0) == 0) return true;
  return false;
}

std::string WrittenBy(const std::function<void(OutputFile&)>& write) {
  TempFile target("", ".out");
  std::string error;
  const auto file = OutputFile::Begin(target.path(), error);
  if (!file) return "cannot write: " + error;
  write(*file);
  if (!file->Commit()) return "cannot write: " + file->error();
  return ReadWholeFile(target.path());
}

LoadOutcome LoadText(std::string_view text, Pedigree& ped) {
  TempFile file(text);
  return LoadPath(file.path(), ped);
}

LoadOutcome LoadPath(const std::string& path, Pedigree& ped, const std::string& sheet) {
  SilentProgressWindow window;
  Progress progress(window);
  return LoadPedigree(path, ped, progress, sheet);
}

std::vector<std::string> CopyFileLines(Pedigree& ped) {
  std::vector<std::string> lines;
  ped.copyFile.ForEachLine([&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  return lines;
}

std::string RecordLines(const Pedigree& ped) {
  std::string out;
  for (RecIndex i = 1; i <= ped.nRead; ++i) {
    const Rec& r = ped.rec(i);
    out += std::string(r.id) + " " + ped.rec(r.sire).id + " " + ped.rec(r.dam).id + " " +
           (r.group < 0 ? "." : std::to_string(ped.GroupNumber(r))) + " " +
           (r.fPredefined ? std::to_string(r.f) : ".") + " " + "?MF"[static_cast<int>(r.sex)] + " " +
           (r.birth == kUnknownBirth ? "." : std::to_string(r.birth)) + "\n";
  }
  return out;
}

void ExpectRead(const std::string& name, std::string_view text, std::string_view records,
                const char* message, Pedigree& ped) {
  const LoadOutcome outcome = LoadText(text, ped);
  if (message != nullptr) {
    EXPECT_EQ(outcome.status, LoadStatus::kReadFailed) << name;
    EXPECT_EQ(outcome.message, message) << name;
    EXPECT_EQ(ped.nTotal, 0) << name;
    return;
  }
  ASSERT_EQ(outcome.status, LoadStatus::kLoaded) << name << ": " << outcome.message;
  EXPECT_EQ(RecordLines(ped), records) << name;
}

std::string JoinCycleLines(const std::vector<std::string>& lines, std::size_t first) {
  constexpr std::string_view kIndent = "       > ";
  if (first >= lines.size()) return {};
  std::string joined = lines[first];
  for (std::size_t i = first + 1; i < lines.size() && lines[i].starts_with(kIndent); ++i)
    joined.append(" ").append(lines[i].substr(kIndent.size() - 2));
  return joined;
}

std::vector<std::string> ReportLines(const Pedigree& ped) {
  std::vector<std::string> lines;
  for (int i = 0; i < ped.report.Count(); ++i) lines.emplace_back(ped.report.Line(i));
  return lines;
}

RecIndex RecordOfId(const Pedigree& ped, const std::string& id) {
  for (RecIndex i = 1; i <= ped.nTotal; ++i)
    if (ped.rec(i).Id() == id) return i;
  return kUnknownParent;
}

std::unique_ptr<Pedigree> Loaded(const std::string& text) {
  auto ped = std::make_unique<Pedigree>();
  const LoadOutcome outcome = LoadText(text, *ped);
  EXPECT_EQ(outcome.status, LoadStatus::kLoaded) << outcome.message;
  SilentProgressWindow window;
  Progress progress(window);
  EXPECT_TRUE(ComputeInbreeding(*ped, progress));
  return ped;
}

void SpreadGroups(Pedigree& ped, std::uint64_t seed) {
  if (seed % 2 != 0) return;
  const std::int32_t count = seed % 4 == 0 ? ped.nTotal : 13;
  ped.groups.assign(static_cast<std::size_t>(count), Description{});
  ped.groupOrder.clear();
  for (std::int32_t g = 0; g < count; ++g) {
    ped.groups[static_cast<std::size_t>(g)].group = g + 1;
    ped.groupOrder.push_back(g);
  }
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const std::int32_t g = seed % 4 == 0 ? i : i * 7 % 13;
    ped.byCode(i).group = g;
    ++ped.groups[static_cast<std::size_t>(g)].count;
  }
  ped.nGroups = count;
}

std::string FullSibLine(std::string head, int generations, std::string_view tail, char sire, char dam) {
  for (int g = 1; g <= generations; ++g) {
    const std::string p = std::to_string(g - 1), c = std::to_string(g);
    const std::string parents = " " + (sire + p) + " " + (dam + p) + std::string(tail) + "\n";
    head += sire + c + parents;
    head += dam + c + parents;
  }
  return head;
}

}  // namespace kinvar::test

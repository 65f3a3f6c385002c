// A folder of tables is written whole or not at all: when one file cannot be
// written, every file of the folder keeps what it held.
#include "app/table_export.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

// Two tables, the second much longer than the first.
ResultSet TwoTables() {
  ResultSet tables;
  tables.Add("summary").AddColumn("figure", ColumnType::kId).AddRow().Id("N");
  ResultTable& rows = tables.Add("inbreeding");
  rows.AddColumn("id", ColumnType::kId).AddColumn("F", ColumnType::kInteger);
  for (int i = 0; i < 20000; ++i) rows.AddRow().Id("ANIMAL" + std::to_string(i)).Integer(i);
  return tables;
}

enum class Obstacle { kFolderInTheWay, kSizeLimit };

struct ObstacleRow {
  const char* name;
  Obstacle obstacle;
};

TEST(TableExport, AFolderChangesNoFileWhenOneCannotBeWritten) {
  const ObstacleRow rows[] = {
      {"the second file's name is a folder", Obstacle::kFolderInTheWay},
      {"the second file is beyond the size limit", Obstacle::kSizeLimit},
  };
  const fs::path folder = fs::temp_directory_path() / ("kinvar-export-" + std::to_string(::getpid()));
  const std::string summary = (folder / "summary.csv").string();
  const std::string inbreeding = (folder / "inbreeding.csv").string();
  for (const ObstacleRow& row : rows) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    test::WriteWholeFile(summary, "old summary\n");
    if (row.obstacle == Obstacle::kFolderInTheWay) fs::create_directory(inbreeding);
    else test::WriteWholeFile(inbreeding, "old inbreeding\n");
    // In a child, whose size limit dies with it.
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      if (row.obstacle == Obstacle::kSizeLimit) {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::string error;
      const TableExport how{TableFormat::kCsv, "inbreeding", "herd.pdg"};
      ::_exit(ExportTables(TwoTables(), how, folder.string(), error) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << row.name;
    EXPECT_EQ(WEXITSTATUS(status), 0) << row.name;
    EXPECT_EQ(test::ReadWholeFile(summary), "old summary\n") << row.name;
    if (row.obstacle == Obstacle::kSizeLimit) {
      EXPECT_EQ(test::ReadWholeFile(inbreeding), "old inbreeding\n") << row.name;
    }
    EXPECT_FALSE(test::HasTemporaryBeside(summary)) << row.name;
  }
  // Unhindered, both files are replaced.
  fs::remove_all(folder);
  fs::create_directories(folder);
  test::WriteWholeFile(summary, "old summary\n");
  std::string error;
  ASSERT_TRUE(ExportTables(TwoTables(), {TableFormat::kCsv, "inbreeding", "herd.pdg"}, folder.string(), error))
      << error;
  EXPECT_EQ(test::ReadWholeFile(summary), "figure\r\nN\r\n");  // CSV's line ends
  EXPECT_EQ(test::ReadWholeFile(inbreeding).substr(0, 17), "id,F\r\nANIMAL0,0\r\n");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace kinvar

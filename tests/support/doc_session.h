// A document driven as the user drives it, over a scripted platform: a
// pedigree opened from a text or a path, commands run, and the report read
// back as stored (markup kept) or as Save As writes it.
//
// Conventions of this header: report lines are indexed from 0 and carry no
// line end; a save choice is 1 (first option) or 2 (second); the document
// has no program folder, so it starts from the default settings.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/document.h"
#include "support/scripted_platform.h"
#include "support/test_files.h"

namespace kinvar::test {

// What Save As writes for the report shown; `choice` answers the save-order
// question where the report asks one (1 or 2).
std::string SavedFile(Document& doc, int choice = 1);

struct DocSession {
  DocSession();  // initialized, no pedigree
  // Opened from `text`, written to a temporary file; expects it to load.
  explicit DocSession(const std::string& text);
  bool OpenPath(const std::string& path);
  std::vector<std::string> Report() const { return ReportLines(doc.pedigree()); }
  std::string SaveAs(int choice = 1) { return SavedFile(doc, choice); }

  ScriptedPlatform platform;
  Document doc{platform, ""};
  std::unique_ptr<TempFile> file;
};

// Report and file headers at a fixed time: 2026-12-05 14:07 UTC.
class FixedClockTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A file command's test: the document with `text` open (none when empty,
// until Open), headers at the fixed time, and `out`, the path a command is
// to write, removed afterwards (it does not exist before).
class OpenDocFixture : public FixedClockTest {
 protected:
  explicit OpenDocFixture(std::string text = {}) : text_(std::move(text)) {}
  void SetUp() override;
  void TearDown() override;
  // Writes `text` to a new pedigree file and opens it, expecting it to load.
  void Open(const std::string& text);
  // The header of a result file of the pedigree open.
  std::string Header() const;

  std::unique_ptr<TempFile> pedigree;
  ScriptedPlatform platform;
  Document doc{platform, ""};
  std::string out;

 private:
  std::string text_;
};

}  // namespace kinvar::test

#include "support/doc_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace kinvar::test {

std::string SavedFile(Document& doc, int choice) {
  TempFile target("", ".out");
  EXPECT_TRUE(doc.SaveTo(target.path(), choice));
  return ReadWholeFile(target.path());
}

DocSession::DocSession() { EXPECT_TRUE(doc.Initialize()); }

DocSession::DocSession(const std::string& text) : DocSession() {
  file = std::make_unique<TempFile>(text);
  EXPECT_TRUE(OpenPath(file->path())) << text;
}

bool DocSession::OpenPath(const std::string& path) { return doc.OpenPedigreeFile(path); }

void FixedClockTest::SetUp() {
  setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
  setenv("TZ", "UTC", 1);
}

void FixedClockTest::TearDown() { unsetenv("SOURCE_DATE_EPOCH"); }

void OpenDocFixture::SetUp() {
  FixedClockTest::SetUp();
  ASSERT_TRUE(doc.Initialize());
  out = (std::filesystem::temp_directory_path() / ("kinvar-doc-" + std::to_string(::getpid()) + ".out")).string();
  if (!text_.empty()) Open(text_);
}

void OpenDocFixture::Open(const std::string& text) {
  pedigree = std::make_unique<TempFile>(text);
  ASSERT_TRUE(doc.OpenPedigreeFile(pedigree->path()));
}

void OpenDocFixture::TearDown() {
  std::filesystem::remove(out);
  FixedClockTest::TearDown();
}

std::string OpenDocFixture::Header() const {
  return "14:07  Saturday, December 5, 2026\nPedigree file name: " +
         std::filesystem::absolute(pedigree->path()).lexically_normal().string() + "\n\n";
}

}  // namespace kinvar::test

#include "support/doc_session.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kinvar::test {

std::string SavedFile(CKinvarDoc& doc, int choice) {
  std::FILE* file = std::tmpfile();
  EXPECT_TRUE(doc.WriteSaveFile(file, choice));
  std::string text = ReadFromStart(file);
  std::fclose(file);
  return text;
}

DocSession::DocSession() { EXPECT_TRUE(doc.Initialize()); }

DocSession::DocSession(const std::string& text) : DocSession() {
  file = std::make_unique<TempFile>(text);
  EXPECT_TRUE(OpenPath(file->path())) << text;
}

bool DocSession::OpenPath(const std::string& path) { return doc.OpenPedigreeFile(path); }

}  // namespace kinvar::test

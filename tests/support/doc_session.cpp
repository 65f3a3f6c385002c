#include "support/doc_session.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kinvar::test {

std::string SavedFile(CKinvarDoc& doc, int choice) {
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

}  // namespace kinvar::test

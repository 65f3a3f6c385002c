// A platform for tests: records every message and answers questions, file
// dialogs and save choices from scripts given in advance. Its progress
// windows can report a cancel at a chosen poll.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace kinvar::test {

struct ShownMessage {
  std::string text;
  MessageIcon icon;
};

class ScriptedPlatform final : public Platform {
 public:
  Answer ShowMessage(const std::string& text, MessageIcon icon) override;
  std::optional<std::string> AskFileName(const FileRequest& request) override;
  int ChooseSaveOption(const std::string& first, const std::string& second) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override { ++waitDepth; }
  void EndWaitCursor() override { --waitDepth; }
  void RefreshViews() override { ++refreshes; }
  void AddRecentFile(const std::string& path) override { recentFiles.push_back(path); }

  // Scripts, consumed front first. An empty answer script answers Yes; an
  // empty file-name script cancels; an empty choice script cancels (-1).
  std::deque<Answer> answers;
  std::deque<std::optional<std::string>> fileNames;
  std::deque<int> saveChoices;
  // The poll (counted from 1 over all progress windows) that reports a
  // cancel; 0 never.
  int cancelAtPoll = 0;

  // What happened.
  std::vector<ShownMessage> messages;
  std::vector<FileRequest> fileRequests;
  std::vector<std::pair<std::string, std::string>> choiceTexts;
  std::vector<std::string> recentFiles;
  int polls = 0;
  int progressWindows = 0;
  int waitDepth = 0;
  int refreshes = 0;

  std::vector<std::string> MessageTexts() const;
};

}  // namespace kinvar::test

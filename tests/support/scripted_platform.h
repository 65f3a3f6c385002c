// A platform for tests: records every message and answers questions, file
// dialogs and save choices from scripts given in advance. Its progress
// windows can report a cancel at a chosen poll.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "report/platform.h"

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
  std::optional<std::string> PickIndividual(const IndividualPicker& picker) override;
  std::optional<int> PickGroup(const GroupPicker& picker) override;
  std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker& picker) override;
  void ShowQueryDialog(const QueryDialog& dialog) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  bool AskValues(const ValueForm& form) override;
  void BeginWaitCursor() override { ++waitDepth; }
  void EndWaitCursor() override { --waitDepth; }
  void RefreshViews() override { ++refreshes; }
  void AddRecentFile(const std::string& path) override { recentFiles.push_back(path); }
  // From sheetChoices (nothing: Cancel); an exhausted script takes the first.
  std::optional<std::string> ChooseSheet(const std::vector<std::string>& sheets) override;
  // The question is recorded among the messages (icon kQuestion); answered
  // from saveAnswers, Discard when the script is exhausted.
  SaveAnswer AskToSave(const std::string& question) override;
  void ShowStatus(const std::string& text) override { statusLines.push_back(text); }

  // Scripts, consumed front first. An empty answer script answers Yes; an
  // empty file-name script cancels; an empty choice script cancels (-1).
  std::deque<Answer> answers;
  std::deque<std::optional<std::string>> fileNames;
  std::deque<int> saveChoices;
  // Typed into the individual picker one after the other until one is
  // accepted; picked from a group picker (nothing: Cancel; kAllIndividuals:
  // the entry for every individual). An exhausted script cancels.
  std::deque<std::string> typedIds;
  std::deque<std::optional<int>> groupChoices;
  std::deque<std::optional<std::pair<int, int>>> groupPairs;
  // Each entry is typed into a query dialog's boxes and computed, in order,
  // before Cancel.
  std::deque<std::vector<std::string>> queries;
  std::deque<std::optional<std::string>> sheetChoices;
  std::deque<SaveAnswer> saveAnswers;
  // The texts typed into each form (nothing: Cancel); an exhausted script
  // takes the form's own texts.
  std::deque<std::optional<std::vector<std::string>>> forms;
  // The poll (counted from 1 over all progress windows) that reports a
  // cancel; 0 never.
  int cancelAtPoll = 0;

  // What happened.
  std::vector<ShownMessage> messages;
  std::vector<FileRequest> fileRequests;
  std::vector<std::pair<std::string, std::string>> choiceTexts;
  std::vector<std::string> recentFiles;
  std::vector<std::string> pickerCaptions;
  std::vector<std::vector<int>> pickerGroups;  // what each group picker offered
  std::vector<std::string> pickerAllEntries;   // and its entry for everybody
  std::vector<QueryDialog> queryDialogs;       // as opened
  std::vector<QueryAnswer> queryAnswers;
  std::vector<std::vector<std::string>> queryTexts;  // the boxes after Compute
  std::vector<std::vector<std::string>> sheetLists;  // what each sheet choice offered
  std::vector<std::string> formCaptions;
  std::vector<std::string> statusLines;  // what a status bar would show
  int polls = 0;
  int progressWindows = 0;
  int waitDepth = 0;
  int refreshes = 0;

  std::vector<std::string> MessageTexts() const;
  // The texts of the messages shown with `icon`, joined; "" for none.
  std::string JoinedTexts(MessageIcon icon) const;
};

}  // namespace kinvar::test

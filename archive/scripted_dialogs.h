#pragma once
// A Dialogs implementation for tests: records every message and question, and
// answers from queues the test fills. An empty answer queue answers No /
// cancels / stays, so a test that forgot to script an answer fails instead of hanging.
#include <deque>
#include <filesystem>
#include <system_error>

#include "archive/dialogs.h"

class ScriptedDialogs : public Dialogs {
 public:
  std::vector<std::string> Messages;   // every ShowMessage text, in order
  std::vector<std::string> Questions;  // every AskYesNo text, in order
  std::vector<std::string> OpenTitles; // every OpenArchives title, in order
  std::vector<std::string> DirectoryStarts;  // every ChooseDirectory start
  std::vector<std::string> VersionTitles;    // every ChooseVersion title
  std::vector<std::string> SaveTitles;       // every SaveFileName title, in order

  std::deque<bool> Answers;                             // for AskYesNo
  std::vector<std::string> UnsavedQuestions;            // every AskUnsaved text, in order
  std::deque<Unsaved> UnsavedAnswers;                   // for AskUnsaved; empty = Stay
  std::deque<std::vector<std::string>> FileChoices;     // for OpenArchives; empty vector = cancel
  std::deque<std::string> DirectoryChoices;             // for ChooseDirectory; "" = cancel
  std::deque<std::string> VersionChoices;               // for ChooseVersion; "" = cancel
  std::deque<std::string> SaveChoices;                  // for SaveFileName; "" = cancel
  std::string Clipboard;

  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  bool AskYesNo(const std::string& Text, bool = false) override {
    Questions.push_back(Text);
    if (Answers.empty()) return false;
    bool a = Answers.front();
    Answers.pop_front();
    return a;
  }
  Unsaved AskUnsaved(const std::string& Text) override {
    UnsavedQuestions.push_back(Text);
    if (UnsavedAnswers.empty()) return Unsaved::Stay;
    const Unsaved a = UnsavedAnswers.front();
    UnsavedAnswers.pop_front();
    return a;
  }
  bool OpenArchives(const std::string& Title, std::vector<std::string>& Files) override {
    OpenTitles.push_back(Title);
    Files.clear();
    if (FileChoices.empty()) return false;
    Files = FileChoices.front();
    FileChoices.pop_front();
    return !Files.empty();
  }
  // Each choice is one confirmation in the same open chooser: a directory that
  // does not exist is asked about (AllowCreate), and on No the next choice is
  // what the user does next in the chooser that stayed open.
  bool ChooseDirectory(const std::string& Start, bool AllowCreate, std::string& Directory) override {
    DirectoryStarts.push_back(Start);
    for (;;) {
      if (DirectoryChoices.empty()) return false;
      std::string d = DirectoryChoices.front();
      DirectoryChoices.pop_front();
      if (d.empty()) return false;
      std::error_code ec;
      if (AllowCreate && !std::filesystem::exists(d, ec) && !AskYesNo(kCreateDirectoryQuestion)) continue;
      Directory = d;
      return true;
    }
  }
  bool ChooseVersion(const std::string& Title, std::string& Path) override {
    VersionTitles.push_back(Title);
    if (VersionChoices.empty()) return false;
    Path = VersionChoices.front();
    VersionChoices.pop_front();
    return !Path.empty();
  }
  bool SaveFileName(const std::string& Title, const std::vector<std::string>&, std::string& File) override {
    SaveTitles.push_back(Title);
    if (SaveChoices.empty()) return false;
    File = SaveChoices.front();
    SaveChoices.pop_front();
    return !File.empty();
  }
  void SetClipboardText(const std::string& Text) override { Clipboard = Text; }
  std::string ClipboardText() override { return Clipboard; }
};

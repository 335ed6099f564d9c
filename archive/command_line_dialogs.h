#pragma once
// The Dialogs of a command-line tool: every message and question goes to a
// stream (standard error) as one line, a question is answered No, and there
// is no file dialog, directory chooser or system clipboard. The tool's exit
// status tells whether anything was reported.
#include <ostream>
#include <utility>

#include "archive/dialogs.h"

class CommandLineDialogs : public Dialogs {
 public:
  // Prefix starts every line, such as "kestrava-table: ".
  CommandLineDialogs(std::ostream& Err, std::string Prefix) : Err_(Err), Prefix_(std::move(Prefix)) {}

  int Reported = 0;  // messages and questions written so far

  void ShowMessage(const std::string& Text) override { Line(Text); }
  bool AskYesNo(const std::string& Text, bool = false) override {
    Line(Text + " (answered No)");
    return false;
  }
  // Nothing is written without the user's word: an edit in question stays.
  Unsaved AskUnsaved(const std::string& Text) override {
    Line(Text + " (answered Cancel)");
    return Unsaved::Stay;
  }
  bool OpenArchives(const std::string&, std::vector<std::string>& Files) override {
    Files.clear();
    return false;
  }
  bool ChooseDirectory(const std::string&, bool, std::string&) override { return false; }
  bool ChooseVersion(const std::string&, std::string&) override { return false; }
  void SetClipboardText(const std::string& Text) override { Clipboard_ = Text; }
  std::string ClipboardText() override { return Clipboard_; }
  void FileNotRead(const std::string& Archive, const std::string& Path) override {
    Line("cannot read " + Path + " in " + Archive + "; what it defines is left out");
  }

 private:
  // One line whatever the text holds: each run of CR and LF becomes one blank.
  void Line(const std::string& Text) {
    std::string line = Prefix_;
    bool inBreak = false;
    for (char c : Text) {
      const bool isBreak = c == '\r' || c == '\n';
      if (isBreak && !inBreak) line += ' ';
      if (!isBreak) line += c;
      inBreak = isBreak;
    }
    line += '\n';
    Err_ << line << std::flush;
    ++Reported;
  }

  std::ostream& Err_;
  std::string Prefix_;
  std::string Clipboard_;
};

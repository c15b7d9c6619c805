// The interaction seam as the window's tests replace it: every box is
// recorded instead of shown, and what a dialog answers is set by the test, so
// no modal box ever blocks a headless run.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "platform/Interaction.h"

namespace kest::test {

class RecordingUi : public Interaction {
 public:
  QStringList infos, errors, confirms;
  QStringList details;                  // what each box could unfold (a file's whole path)
  QStringList asks;                     // the questions with buttons of their own
  QList<QStringList> askButtons;        // their buttons
  std::deque<int> askAnswers;           // the buttons chosen; then the box closed (-1)
  std::deque<bool> confirmAnswers;            // answers of the warning boxes; then OK
  std::deque<std::optional<QString>> inputs;  // answers of the input boxes; then cancelled
  std::optional<QString> fileToOpen;          // the open dialog's answer; unset: cancelled
  std::optional<QString> fileToSave;          // the save dialog's answer; unset: cancelled
  QString saveOffered;                        // the path the save dialog was offered
  QString folder;                             // what the open dialog was offered
  QStringList filters;
  std::optional<QFont> font;  // the font dialog's answer; unset: cancelled
  QFont fontOffered;
  // Drives one of the program's own modal dialogs; its answer is how the
  // dialog ends (true: OK). Unset: cancelled.
  std::function<bool(QDialog&)> onModal;
  int modals = 0;
  int beeps = 0;
  int waitDepth = 0;  // the hourglass's nesting: 0 again after every command
  int waits = 0;      // hourglasses shown

  void Info(QWidget*, const QString& text) override { infos << text; }
  bool Confirm(QWidget*, const QString& text) override {
    confirms << text;
    if (confirmAnswers.empty()) return true;
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
  }
  void Error(QWidget*, const QString& text) override { errors << text; }
  void Tell(QWidget* parent, Box box, const QString& text, const QString& detail) override {
    details << detail;
    Interaction::Tell(parent, box, text, detail);
  }
  int Ask(QWidget*, const QString& text, const QString& detail, const QStringList& buttons) override {
    asks << text;
    askButtons << buttons;
    details << detail;
    if (askAnswers.empty()) return -1;
    const int answer = askAnswers.front();
    askAnswers.pop_front();
    return answer;
  }
  std::optional<QString> Input(QWidget*, const QString&, const QString&, const QString&) override {
    if (inputs.empty()) return std::nullopt;
    // Taken by swapping, not by copying: GCC 12 takes the copy of an
    // optional<QString> out of a deque for a read of uninitialised memory.
    std::optional<QString> answer;
    answer.swap(inputs.front());
    inputs.pop_front();
    return answer;
  }
  std::optional<QString> OpenFileName(QWidget*, const QString& offeredFolder, const QString&,
                                      const QStringList& offeredFilters) override {
    folder = offeredFolder;
    filters = offeredFilters;
    return fileToOpen;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const QString& path,
                                      const QStringList& offeredFilters) override {
    saveOffered = path;
    filters = offeredFilters;
    return fileToSave;
  }
  std::optional<QFont> ChooseFont(QWidget*, const QFont& initial) override {
    fontOffered = initial;
    return font;
  }
  bool RunModal(QDialog& dialog) override {
    ++modals;
    return onModal && onModal(dialog);
  }
  void Beep() override { ++beeps; }
  void BeginWait() override {
    ++waitDepth;
    ++waits;
  }
  void EndWait() override { --waitDepth; }
};

}  // namespace kest::test

// The one road by which the window talks to the user outside its own
// controls: message boxes, input boxes, file and font dialogs, the beep and
// the hourglass cursor. The program uses the Qt implementation; tests install
// a recording fake, so no modal box ever blocks a headless run and a test can
// ask what was said, whether it beeped and whether the cursor came back.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QDialog;
class QInputDialog;
class QPrinter;
class QWidget;

namespace kest {

class Interaction {
 public:
  virtual ~Interaction() = default;

  // Information box: caption "情報", button "OK". Refusals and results.
  virtual void Info(QWidget* parent, const QString& text) = 0;
  // Warning box: caption "警告", buttons "OK" and "ｷｬﾝｾﾙ". True for OK.
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;
  // The box of the generic error handler: an exception's message.
  virtual void Error(QWidget* parent, const QString& text) = 0;
  // An information or error box whose `details` (a file's whole path, when
  // the text shows it shortened) can be unfolded below the text.
  enum class Box { Info, Error };
  virtual void Tell(QWidget* parent, Box box, const QString& text, const QString& details);
  // A question with buttons of its own (`buttons[0]` the default): the index
  // of the button chosen, -1 when the box was closed without one.
  virtual int Ask(QWidget* parent, const QString& text, const QString& details, const QStringList& buttons);
  // One-line input box; nothing when cancelled.
  virtual std::optional<QString> Input(QWidget* parent, const QString& caption,
                                       const QString& prompt, const QString& initial) = 0;
  // File-open dialog with a plain name field; nothing when cancelled.
  // `filters` are Qt filter strings ("ﾛｸﾞﾌｧｲﾙ(*.log)").
  virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& folder,
                                              const QString& name,
                                              const QStringList& filters) = 0;
  // File-save dialog starting at `path` (a folder and a proposed name);
  // nothing when cancelled. It does not ask before replacing a file: the
  // caller does, through Confirm.
  virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& caption, const QString& path,
                                              const QStringList& filters) {
    return std::nullopt;
  }
  // Font dialog without the effects section; nothing when cancelled.
  virtual std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) = 0;
  // The print dialog on `printer` (printer choice and its settings, printing
  // to a PDF file among them). True when the user chose to print. A fake
  // that does not say otherwise cancels.
  virtual bool ChoosePrinter(QWidget* parent, QPrinter& printer) { return false; }
  // Runs one of the program's own modal dialogs (already prepared for the
  // show); true when it ended with OK. A fake drives the dialog's controls
  // itself and says how it ended; one that does not say otherwise cancels.
  virtual bool RunModal(QDialog& dialog) { return false; }
  // The platform's default beep.
  virtual void Beep() = 0;
  // The hourglass: BeginWait and EndWait nest like the old screen cursor
  // stack; every BeginWait is matched by one EndWait.
  virtual void BeginWait() = 0;
  virtual void EndWait() = 0;
};

// The message boxes, dialogs, beep and cursor of Qt itself.
class QtInteraction : public Interaction {
 public:
  void Info(QWidget* parent, const QString& text) override;
  bool Confirm(QWidget* parent, const QString& text) override;
  void Error(QWidget* parent, const QString& text) override;
  void Tell(QWidget* parent, Box box, const QString& text, const QString& details) override;
  int Ask(QWidget* parent, const QString& text, const QString& details, const QStringList& buttons) override;
  std::optional<QString> Input(QWidget* parent, const QString& caption, const QString& prompt,
                               const QString& initial) override;
  std::optional<QString> OpenFileName(QWidget* parent, const QString& folder, const QString& name,
                                      const QStringList& filters) override;
  std::optional<QString> SaveFileName(QWidget* parent, const QString& caption, const QString& path,
                                      const QStringList& filters) override;
  std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override;
  bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;
  bool RunModal(QDialog& dialog) override;
  void Beep() override;
  void BeginWait() override;
  void EndWait() override;
};

// The input box of QtInteraction::Input, made ready to be shown: wide
// enough that its caption can be read whole in the title bar.
std::unique_ptr<QInputDialog> MakeInputDialog(QWidget* parent, const QString& caption, const QString& prompt,
                                              const QString& initial);

// The implementation in force. SetUi(nullptr) goes back to QtInteraction;
// the caller keeps ownership of what it installs.
Interaction& Ui();
void SetUi(Interaction* ui);

// Runs a command handler; an exception escaping it ends in the error box with
// its message, never in a crash.
void RunGuarded(QWidget* parent, const std::function<void()>& handler);

// The hourglass for one scope; it comes back even when the scope ends with an
// exception.
class WaitCursor {
 public:
  WaitCursor() { Ui().BeginWait(); }
  ~WaitCursor() { Ui().EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace kest

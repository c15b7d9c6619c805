// The help viewer: the program's help file (KEST.HLP, an HTML document with a
// contents page and a keyword index) in a window of its own, beside the main
// window. "目次" shows the contents; "ｷｰﾜｰﾄﾞで検索" the keyword list with a
// field that narrows it as the user types.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace kest {

// The help file of a program in `programDir`: KEST.HLP beside the program,
// else ../share/kest32/KEST.HLP (an installed program); empty when neither
// exists.
QString FindHelpFile(const QString& programDir);

// The keyword index of a help document: every link of the form
// <a class="kw" href="#anchor">keyword</a>, in document order.
std::vector<std::pair<QString, QString>> HelpKeywords(const QString& html);

enum class HelpPage { Contents, Index };

class HelpViewer : public QDialog {
  Q_OBJECT
 public:
  explicit HelpViewer(QWidget* parent = nullptr);

  // Reads the file; false when it cannot be read.
  bool Open(const QString& fileName);
  // Shows the window on the contents, or on the keyword index with the
  // keyword field focused and emptied.
  void ShowPage(HelpPage page);
  // The keywords the field lets through (the list's lines).
  QStringList ShownKeywords() const;

  QTextBrowser* Browser = nullptr;
  QLineEdit* KeywordEdit = nullptr;
  QListWidget* KeywordList = nullptr;

 private:
  void Filter(const QString& text);
  void GoToKeyword();

  QString file_;
  std::vector<std::pair<QString, QString>> keywords_;  // keyword, anchor
};

}  // namespace kest

// The window's searches: the menu 検索 with its entries, the find dialog and
// the text search, the speaker dialog and the speaker search, and repeating
// the last search either way. The searches themselves run in the session;
// this owns what the user sees of them.
#pragma once

#include <QObject>

namespace kest {

class KestHost;
class TFindDialog;
class TNameDlg;

class TSearchCommands : public QObject {
  Q_OBJECT

 public:
  TSearchCommands(KestHost& host, QObject* parent);

 private:
  void StrFindClick();   // the find dialog
  void NameFindClick();  // the speaker dialog
  void FindDialog1Find();
  void SearchNext();
  void SearchPrev();
  void TextSearch(int step);
  void SpeakerSearch(int step);

  KestHost& host_;
  // The dialogs, made on first use.
  TFindDialog* FindDialog1 = nullptr;
  TNameDlg* NameDlg = nullptr;
};

}  // namespace kest

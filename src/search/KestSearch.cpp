// The main window's searches: the find dialog and the text search, the
// speaker dialog and the speaker search, and the chain walk that unfolds the
// folded title list down to a remark found.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>

#include "platform/Codec.h"
#include "platform/FindDialog.h"
#include "search/ExMemo.h"
#include "search/Logdlg1.h"
#include "search/SearchEngine.h"
#include "ui/Interaction.h"
#include "ui/Kest2.h"
#include "ui/TitleListModel.h"

namespace kest {
namespace {

const QString kSearchEnded = QStringLiteral("検索が終了しました｡");

// PBar1 for a search that takes longer than half a second: from then on it
// shows how far the search has come, and the window keeps painting (user
// input waits until the search is over).
class SearchProgress {
 public:
  explicit SearchProgress(QProgressBar* bar) : bar_(bar) { timer_.start(); }
  ~SearchProgress() {
    if (shown_) {
      bar_->setValue(0);
      bar_->hide();
    }
  }
  std::function<void(int)> Callback() {
    return [this](int percent) {
      if (!shown_) {
        if (timer_.elapsed() < 500) return;
        shown_ = true;
        bar_->show();
      }
      bar_->setValue(percent);
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
  }

 private:
  QProgressBar* bar_;
  QElapsedTimer timer_;
  bool shown_ = false;
};

// Selects the lines of a chain list in content order (2), outermost remark
// first, unfolding each folded ancestor; true when the match's own line (the
// first entry) was reached and selected. Forward the lines are looked for
// from the selected line downward; backward upward until the first entry is
// found, then downward from there.
bool WalkChain(TKestForm& f, const ChainList& chain, bool backward, bool showAncestors) {
  TitleListModel* m = f.Model();
  bool firstFound = false;
  for (std::size_t k = chain.size(); k-- > 0;) {
    const ListLine from = f.SelectedLine();
    ListLine line(-1);
    if (backward && !firstFound) {
      for (std::int32_t c = from.v; c >= 0; --c) {
        const TLogItem* item = m->ItemOf(ListLine(c));
        if (item && item->Number == chain[k]) {
          line = ListLine(c);
          break;
        }
      }
    } else {
      line = m->FindLine(chain[k], ListLine(std::max(from.v, 0)));
    }
    if (line.v < 0) continue;
    firstFound = true;
    f.SelectLine(line);
    if (k == 0) return true;
    if (showAncestors) f.ShowSelectedRemark();
    const TLogItem* item = m->ItemOf(line);
    if (item && !item->Expanded) f.ToggleFold();
  }
  return false;
}

enum class Outcome { Found, NotFound, Silent, Failed };

void TextSearch(TKestForm& f, int step) {
  Outcome outcome = Outcome::NotFound;
  QString failure;
  {
    WaitCursor wait;
    // Forward, the rest of the shown remark comes first.
    if (step > 0 && f.Memo1->FindString(f.SearchKey, f.IgnoreCase)) return;
    TLogCtrl* log = f.Log();
    const ListLine line = f.SelectedLine();
    if (log && line.v >= 0) {
      SearchProgress progress(f.PBar1);
      try {
        const std::filesystem::path path = f.LogReadPath();
        if (f.SortType == SortOrder::Remark || f.SortType == SortOrder::ContentFull) {
          // Line c shows the record at position c.
          SearchEngine engine(path, *log, f.SearchKey, f.IgnoreCase);
          engine.SetProgress(progress.Callback());
          const IndexPos p = engine.FindFirst(IndexPos(line.v + step), step);
          if (p.v >= 0) {
            f.SelectLine(ListLine(p.v));
            outcome = Outcome::Found;
          }
        } else if (f.SortType == SortOrder::ContentFolded && f.CurrentItem()) {
          const IndexPos start = f.CurrentItem()->Index;
          const ChainList chain =
              step > 0 ? log->FindTextForward(start, f.SearchKey, path, f.IgnoreCase, progress.Callback())
                       : log->FindTextBackward(start, f.SearchKey, path, f.IgnoreCase, progress.Callback());
          if (WalkChain(f, chain, step < 0, false)) outcome = Outcome::Found;
        }
      } catch (const LogFileError& e) {
        outcome = Outcome::Failed;
        failure = QString::fromUtf8(e.what());
      }
    }
    if (outcome == Outcome::Found) {
      f.ShowSelectedRemark();
      f.Memo1->FindString(f.SearchKey, f.IgnoreCase);
      return;
    }
  }
  if (outcome == Outcome::Failed) {
    Ui().Error(&f, failure);
    return;
  }
  Ui().Beep();
  Ui().Info(&f, kSearchEnded);
}

void SpeakerSearch(TKestForm& f, int step) {
  const std::uint8_t direction = step > 0 ? 0 : 1;
  Outcome outcome = Outcome::NotFound;
  {
    WaitCursor wait;
    TLogCtrl* log = f.Log();
    const ListLine line = f.SelectedLine();
    if (log && line.v >= 0 && (f.SortType == SortOrder::Remark || f.SortType == SortOrder::ContentFull)) {
      const std::int32_t lines = f.Model()->LineCount();
      for (std::int32_t c = line.v + step; c >= 0 && c < lines; c += step) {
        if (log->GetID(IndexPos(c)) == f.SearchKey) {
          f.SelectLine(ListLine(c));
          f.ShowSelectedRemark();
          return;  // the direction stays as it was
        }
      }
    } else if (log && line.v >= 0 && f.SortType == SortOrder::ContentFolded && f.CurrentItem()) {
      const IndexPos start = f.CurrentItem()->Index;
      const ChainList chain = step > 0 ? log->FindIDForward(start, f.SearchKey)
                                       : log->FindIDBackward(start, f.SearchKey);
      if (WalkChain(f, chain, step < 0, step < 0)) {
        f.ShowSelectedRemark();
        outcome = Outcome::Found;
      } else if (!chain.empty()) {
        outcome = Outcome::Silent;  // the match's line was never reached
      }
    }
  }
  f.SpeakerDirection = direction;
  if (outcome != Outcome::NotFound) return;
  Ui().Beep();
  Ui().Info(&f, kSearchEnded);
}

}  // namespace

void TKestForm::OpenFindDialog() {
  if (!FindDialog1) {
    FindDialog1 = new TFindDialog(this);
    connect(FindDialog1, &TFindDialog::findRequested, this,
            [this] { RunGuarded(this, [this] { FindDialog1Find(); }); });
  }
  FindDialog1->Execute();
}

void TKestForm::FindDialog1Find() {
  bool ok = true;
  std::string key = FindDialog1->FindTextSjis(&ok);
  if (key.empty()) return;
  if (!ok) {
    Ui().Info(this, QStringLiteral("検索する文字列に Shift-JIS で表せない文字があります。"));
    return;
  }
  SearchKind = 1;
  SearchKey = std::move(key);
  IgnoreCase = !FindDialog1->MatchCase();
  if (IgnoreCase) AnsiUpperInPlace(SearchKey.data(), SearchKey.size());
  FindDialog1->close();
  if (FindDialog1->Down()) {
    TextSearchForward();
  } else {
    TextSearchBackward();
  }
  Searched = true;
  SpeakerListStale = false;
  UpdateViewButtons();
}

void TKestForm::RunSpeakerDialog() {
  if (!Log()) return;
  if (!NameDlg) NameDlg = new TNameDlg(this);
  // The shown remark's ID: bytes 5 to 12 of the ID panel ("ID: " and the ID).
  const std::string panel = Utf8ToSjis(Panels[1]->text().toStdString());
  const std::string shownId = panel.size() >= 12 ? panel.substr(4, 8) : std::string();
  if (!NameDlg->ShowSpeakers(*Log(), SpeakerListStale, SearchKind, shownId, SpeakerDirection)) return;
  SearchKind = 0;
  SearchKey = NameDlg->SelectedEntry().substr(0, 8);
  SpeakerDirection = NameDlg->SpeakerDirection();
  if (SpeakerDirection == 0) {
    SearchNext();
  } else {
    SearchPrev();
  }
  Searched = true;
  SpeakerListStale = false;
  UpdateViewButtons();
}

void TKestForm::TextSearchForward() { TextSearch(*this, +1); }
void TKestForm::TextSearchBackward() { TextSearch(*this, -1); }
void TKestForm::SpeakerSearchForward() { SpeakerSearch(*this, +1); }
void TKestForm::SpeakerSearchBackward() { SpeakerSearch(*this, -1); }

}  // namespace kest

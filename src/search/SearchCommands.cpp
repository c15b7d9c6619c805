#include "search/SearchCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressBar>

#include "platform/Codec.h"
#include "platform/FindDialog.h"
#include "platform/Interaction.h"
#include "search/Logdlg1.h"
#include "session/LogSession.h"
#include "ui/KestHost.h"

namespace kest {
namespace {

const QString kSearchEnded = QStringLiteral("検索が終了しました｡");

// The progress bar for a search that takes longer than half a second: from
// then on it shows how far the search has come, and the window keeps
// painting (user input waits until the search is over).
class SearchProgress {
 public:
  explicit SearchProgress(QProgressBar& bar) : bar_(bar) { timer_.start(); }
  ~SearchProgress() {
    if (shown_) {
      bar_.setValue(0);
      bar_.hide();
    }
  }
  std::function<void(int)> Callback() {
    return [this](int percent) {
      if (!shown_) {
        if (timer_.elapsed() < 500) return;
        shown_ = true;
        bar_.show();
      }
      bar_.setValue(percent);
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
  }

 private:
  QProgressBar& bar_;
  QElapsedTimer timer_;
  bool shown_ = false;
};

}  // namespace

TSearchCommands::TSearchCommands(KestHost& host, QObject* parent) : QObject(parent), host_(host) {
  setObjectName(QStringLiteral("SearchCommands"));
  QMenu& menu = host_.Menu(HostMenu::Find);
  auto entry = [&](Command c, const char* name, const QString& text, const QKeySequence& key,
                   std::function<void()> handler) {
    host_.AddCommand(c, AddEntry(menu, this, name, text, key), std::move(handler));
  };
  AddSeparator(menu, "N8");
  entry(Command::Find, "StrFind", QStringLiteral("検索(&F)..."), QKeySequence(Qt::CTRL | Qt::Key_F),
        [this] { StrFindClick(); });
  entry(Command::FindSpeaker, "NameFind", QStringLiteral("発言者名で検索(&N)..."), QKeySequence(),
        [this] { NameFindClick(); });
  AddSeparator(menu, "N2");
  entry(Command::FindPrev, "PrevS_M", QStringLiteral("前へ検索"), QKeySequence(Qt::CTRL | Qt::Key_P),
        [this] { SearchPrev(); });
  entry(Command::FindNext, "NextS_M", QStringLiteral("次へ検索"), QKeySequence(Qt::CTRL | Qt::Key_N),
        [this] { SearchNext(); });
}

void TSearchCommands::StrFindClick() {
  if (!FindDialog1) {
    FindDialog1 = new TFindDialog(host_.DialogParent());
    connect(FindDialog1, &TFindDialog::findRequested, this,
            [this] { host_.RunCommand([this] { FindDialog1Find(); }); });
  }
  FindDialog1->Execute();
}

void TSearchCommands::FindDialog1Find() {
  bool ok = true;
  std::string key = FindDialog1->FindTextSjis(&ok);
  if (key.empty()) return;
  if (!ok) {
    Ui().Info(host_.DialogParent(), QStringLiteral("検索する文字列に Shift-JIS で表せない文字があります。"));
    return;
  }
  SearchState& s = host_.Session().Search();
  s.SearchKind = 1;
  s.SearchKey = std::move(key);
  s.IgnoreCase = !FindDialog1->MatchCase();
  if (s.IgnoreCase) AnsiUpperInPlace(s.SearchKey.data(), s.SearchKey.size());
  FindDialog1->close();
  TextSearch(FindDialog1->Down() ? +1 : -1);
  s.Searched = true;
  s.SpeakerListStale = false;
}

void TSearchCommands::NameFindClick() {
  LogSession& session = host_.Session();
  if (!session.Log()) return;
  if (!NameDlg) NameDlg = new TNameDlg(host_.DialogParent());
  SearchState& s = session.Search();
  // The shown remark's ID is preselected.
  const std::optional<RemarkHeader>& shown = session.Shown().header;
  const std::string shownId = shown && shown->ID.size() >= 8 ? shown->ID.substr(0, 8) : std::string();
  if (!NameDlg->ShowSpeakers(*session.Log(), s.SpeakerListStale, s.SearchKind, shownId, s.SpeakerDirection)) {
    return;
  }
  s.SearchKind = 0;
  s.SearchKey = NameDlg->SelectedEntry().substr(0, 8);
  s.SpeakerDirection = NameDlg->SpeakerDirection();
  if (s.SpeakerDirection == 0) {
    SearchNext();
  } else {
    SearchPrev();
  }
  s.Searched = true;
  s.SpeakerListStale = false;
}

void TSearchCommands::SearchNext() {
  if (host_.Session().Search().SearchKind == 1) {
    TextSearch(+1);
  } else {
    SpeakerSearch(+1);
  }
}

void TSearchCommands::SearchPrev() {
  if (host_.Session().Search().SearchKind == 1) {
    TextSearch(-1);
  } else {
    SpeakerSearch(-1);
  }
}

void TSearchCommands::TextSearch(int step) {
  LogSession& session = host_.Session();
  const SearchState& s = session.Search();
  SearchOutcome outcome = SearchOutcome::NotFound;
  {
    WaitCursor wait;
    // Forward, the rest of the shown remark comes first.
    if (step > 0 && host_.FindInPane(s.SearchKey, s.IgnoreCase)) return;
    SearchProgress progress(host_.Progress());
    outcome = session.FindText(step, progress.Callback());
    if (outcome == SearchOutcome::Found) {
      host_.ShowSelectedRemark();
      host_.FindInPane(s.SearchKey, s.IgnoreCase);
      return;
    }
  }
  if (outcome == SearchOutcome::Failed) return;  // the session's notice says why
  Ui().Beep();
  Ui().Info(host_.DialogParent(), kSearchEnded);
}

void TSearchCommands::SpeakerSearch(int step) {
  SearchOutcome outcome = SearchOutcome::NotFound;
  {
    WaitCursor wait;
    outcome = host_.Session().FindSpeaker(step);
    host_.Refresh();
  }
  if (outcome != SearchOutcome::NotFound) return;
  Ui().Beep();
  Ui().Info(host_.DialogParent(), kSearchEnded);
}

}  // namespace kest

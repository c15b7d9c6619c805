#include "library/LibraryWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include "archive/LogLocation.h"
#include "library/LibraryArchives.h"
#include "log/RemarkHeader.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "session/LogSession.h"
#include "ui/FramePlacer.h"
#include "ui/KestHost.h"

namespace kest {
namespace {

// The list holds at most so many hits; a search that finds more stops there.
constexpr std::int64_t kMaxShown = 10000;
// The context shows so many characters before the match at most.
constexpr int kBeforeMatch = 24;

QString FromSjis(std::string_view s) { return QString::fromUtf8(SjisToUtf8(s)); }

// The list's columns whose widths Kest.INI keeps, in the order it keeps them.
constexpr int kKeptColumns[kLibraryColumns] = {TLibraryHitModel::kDate,   TLibraryHitModel::kForum,
                                               TLibraryHitModel::kNumber, TLibraryHitModel::kPoster,
                                               TLibraryHitModel::kTitle,  TLibraryHitModel::kFile};

// The 内容 cell: the line with the match drawn on the highlight colour.
class TMatchDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int start = index.data(TLibraryHitModel::kMatchStartRole).toInt();
    const int length = index.data(TLibraryHitModel::kMatchLengthRole).toInt();
    if (length <= 0) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem o = option;
    initStyleOption(&o, index);
    const QString text = o.text;
    o.text.clear();
    o.widget->style()->drawControl(QStyle::CE_ItemViewItem, &o, painter, o.widget);
    const QRect r = o.rect.adjusted(4, 0, -4, 0);
    const QFontMetrics fm(o.font);
    const QString before = text.left(start), match = text.mid(start, length), after = text.mid(start + length);
    const bool selected = o.state & QStyle::State_Selected;
    const QColor ink = o.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    painter->save();
    painter->setClipRect(r);
    int x = r.left();
    painter->setPen(ink);
    painter->drawText(QRect(x, r.top(), r.width(), r.height()), Qt::AlignVCenter | Qt::AlignLeft, before);
    x += fm.horizontalAdvance(before);
    const int w = fm.horizontalAdvance(match);
    const QRect m(x, r.top() + 1, w, r.height() - 2);
    painter->fillRect(m, selected ? o.palette.color(QPalette::Base) : o.palette.color(QPalette::Highlight));
    painter->setPen(o.palette.color(selected ? QPalette::Text : QPalette::HighlightedText));
    painter->drawText(m, Qt::AlignVCenter | Qt::AlignLeft, match);
    x += w;
    painter->setPen(ink);
    painter->drawText(QRect(x, r.top(), r.right() - x, r.height()), Qt::AlignVCenter | Qt::AlignLeft, after);
    painter->restore();
  }
};

QLineEdit* Edit(QWidget* parent, const char* name, const QString& accessible, const QString& placeholder = {}) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::fromLatin1(name));
  e->setAccessibleName(accessible);
  e->setPlaceholderText(placeholder);
  return e;
}

QLabel* Label(QWidget* parent, const QString& text, QWidget* buddy) {
  auto* l = new QLabel(text, parent);
  l->setBuddy(buddy);
  return l;
}

}  // namespace

// ---------------------------------------------------------------------------
// The list of hits

int TLibraryHitModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(hits_.size());
}

int TLibraryHitModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QString TLibraryHitModel::Text(const LibraryHit& h, int column) const {
  switch (column) {
    case kDate: return h.day ? QString::fromStdString(FormatDay(*h.day)) : QStringLiteral("日付なし");
    case kForum: return FromSjis(h.forum);
    case kNumber: return QString::number(h.number);
    case kPoster: return FromSjis(h.speaker) + QStringLiteral(" (") + FromSjis(h.poster) + QStringLiteral(")");
    case kTitle: return FromSjis(h.title);
    case kContext: {
      QString line = FromSjis(h.context.substr(0, h.contextAt));
      QString rest = FromSjis(std::string_view(h.context).substr(std::min(h.contextAt, h.context.size())));
      if (line.size() > kBeforeMatch) line = QStringLiteral("…") + line.right(kBeforeMatch);
      QString shown = line + rest;
      return shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
    }
    case kFile: {
      const std::string name = std::filesystem::path(h.path).filename().string();
      return QString::fromStdString(h.member.empty() ? name : name + " » " + h.member);
    }
    default: return {};
  }
}

QVariant TLibraryHitModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const LibraryHit& h = hits_[static_cast<std::size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole: return Text(h, column);
    case Qt::ToolTipRole:
      if (column == kForum || column == kFile) {
        return QString::fromStdString(h.member.empty() ? h.path : LogLocation::Member(h.path, h.member).Display());
      }
      return {};
    case Qt::TextAlignmentRole:
      return column == kNumber ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::AccessibleTextRole: {
      const QString value = Text(h, column);
      if (column != kDate) return headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() + QStringLiteral(" ") + value;
      // The first cell reads the whole hit.
      return QStringLiteral("%1、%2、%3 番、%4、%5: %6 (%7)")
          .arg(value, Text(h, kForum), Text(h, kNumber), Text(h, kPoster), Text(h, kTitle), Text(h, kContext),
               Text(h, kFile));
    }
    case kMatchStartRole:
    case kMatchLengthRole: {
      if (column != kContext || h.context.empty()) return 0;
      if (role == kMatchStartRole) {
        // As Text cut it: "…" and the last characters before the match.
        const qsizetype before = FromSjis(h.context.substr(0, h.contextAt)).size();
        return static_cast<int>(before > kBeforeMatch ? kBeforeMatch + 1 : before);
      }
      return static_cast<int>(FromSjis(std::string_view(h.context).substr(h.contextAt, keyBytes_)).size());
    }
    default: return {};
  }
}

QVariant TLibraryHitModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
  switch (section) {
    case kDate: return QStringLiteral("日付");
    case kForum: return QStringLiteral("ﾌｫｰﾗﾑ");
    case kNumber: return QStringLiteral("番号");
    case kPoster: return QStringLiteral("発言者");
    case kTitle: return QStringLiteral("ﾀｲﾄﾙ");
    case kContext: return QStringLiteral("内容");
    case kFile: return QStringLiteral("ﾌｧｲﾙ");
    default: return {};
  }
}

void TLibraryHitModel::Clear(std::size_t keyBytes) {
  beginResetModel();
  hits_.clear();
  keyBytes_ = keyBytes;
  endResetModel();
}

void TLibraryHitModel::Append(std::vector<LibraryHit> hits) {
  if (hits.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(hits.size()) - 1);
  for (LibraryHit& h : hits) hits_.push_back(std::move(h));
  endInsertRows();
}

// ---------------------------------------------------------------------------
// The window

TLibrarySearchWnd::TLibrarySearchWnd(KestHost& host, std::function<std::filesystem::path()> file, QWidget* parent)
    : QWidget(parent, Qt::Window), host_(host), file_(std::move(file)) {
  setObjectName(QStringLiteral("LibrarySearchWnd"));
  setWindowTitle(QStringLiteral("ﾗｲﾌﾞﾗﾘ検索"));
  setAccessibleName(QStringLiteral("ﾗｲﾌﾞﾗﾘ検索"));

  KeyEdit = Edit(this, "LibraryKey", QStringLiteral("検索する文字列"));
  SearchButton = new QPushButton(QStringLiteral("検索(&S)"), this);
  SearchButton->setObjectName(QStringLiteral("LibrarySearchButton"));
  SearchButton->setAccessibleName(QStringLiteral("検索"));
  StopButton = new QPushButton(QStringLiteral("中止(&T)"), this);
  StopButton->setObjectName(QStringLiteral("LibraryStopButton"));
  StopButton->setAccessibleName(QStringLiteral("検索を中止"));
  StopButton->setEnabled(false);
  MatchCaseBox = new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"), this);
  MatchCaseBox->setObjectName(QStringLiteral("LibraryMatchCase"));
  MatchCaseBox->setAccessibleName(QStringLiteral("大文字と小文字を区別する"));
  PosterEdit = Edit(this, "LibraryPoster", QStringLiteral("発言者の ID か名前"), QStringLiteral("ID か名前"));
  FromEdit = Edit(this, "LibraryFrom", QStringLiteral("この日から"), QStringLiteral("YYYY-MM-DD"));
  ToEdit = Edit(this, "LibraryTo", QStringLiteral("この日まで"), QStringLiteral("YYYY-MM-DD"));
  OrderBox = new QComboBox(this);
  OrderBox->setObjectName(QStringLiteral("LibraryOrder"));
  OrderBox->setAccessibleName(QStringLiteral("並び順"));
  OrderBox->addItem(QStringLiteral("古い順"));
  OrderBox->addItem(QStringLiteral("新しい順"));
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName(QStringLiteral("LibraryStatus"));
  StatusLabel->setAccessibleName(QStringLiteral("検索の状態"));
  ProblemLabel = new QLabel(this);
  ProblemLabel->setObjectName(QStringLiteral("LibraryProblems"));
  ProblemLabel->setAccessibleName(QStringLiteral("除いたﾛｸﾞ"));
  ProblemLabel->setWordWrap(true);
  ProblemLabel->hide();

  ResultList = new QTreeView(this);
  ResultList->setObjectName(QStringLiteral("LibraryResults"));
  ResultList->setAccessibleName(QStringLiteral("検索結果"));
  ResultList->setRootIsDecorated(false);
  ResultList->setUniformRowHeights(true);
  ResultList->setAllColumnsShowFocus(true);
  ResultList->setSelectionMode(QAbstractItemView::SingleSelection);
  ResultList->setModel(&model_);
  ResultList->setItemDelegateForColumn(TLibraryHitModel::kContext, new TMatchDelegate(ResultList));
  ResultList->installEventFilter(this);
  // The layout Kest.INI keeps, or the defaults.
  read_ = ReadLibraryWindowLayout(host_.Profile().Read());
  saved_ = read_;
  QHeaderView* header = ResultList->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(TLibraryHitModel::kContext, QHeaderView::Stretch);
  for (int c = 0; c < kLibraryColumns; ++c) {
    header->resizeSection(kKeptColumns[c], read_.Columns[static_cast<std::size_t>(c)]);
  }

  auto* grid = new QGridLayout;
  grid->addWidget(Label(this, QStringLiteral("検索する文字列(&N):"), KeyEdit), 0, 0);
  grid->addWidget(KeyEdit, 0, 1, 1, 3);
  grid->addWidget(SearchButton, 0, 4);
  grid->addWidget(StopButton, 0, 5);
  grid->addWidget(MatchCaseBox, 1, 1);
  grid->addWidget(Label(this, QStringLiteral("発言者(&P):"), PosterEdit), 1, 2);
  grid->addWidget(PosterEdit, 1, 3);
  auto* dates = new QHBoxLayout;
  dates->addWidget(FromEdit);
  dates->addWidget(new QLabel(QStringLiteral("～"), this));
  dates->addWidget(ToEdit);
  grid->addWidget(Label(this, QStringLiteral("日付(&D):"), FromEdit), 2, 0);
  grid->addLayout(dates, 2, 1);
  grid->addWidget(Label(this, QStringLiteral("並び順(&O):"), OrderBox), 2, 2);
  grid->addWidget(OrderBox, 2, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(StatusLabel);
  layout->addWidget(ResultList, 1);
  layout->addWidget(ProblemLabel);
  setTabOrder(KeyEdit, SearchButton);
  setTabOrder(SearchButton, StopButton);
  setTabOrder(StopButton, MatchCaseBox);
  setTabOrder(MatchCaseBox, PosterEdit);
  setTabOrder(PosterEdit, FromEdit);
  setTabOrder(FromEdit, ToEdit);
  setTabOrder(ToEdit, OrderBox);
  setTabOrder(OrderBox, ResultList);

  for (QLineEdit* e : {KeyEdit, PosterEdit, FromEdit, ToEdit}) {
    connect(e, &QLineEdit::returnPressed, this, [this] { StartSearch(); });
  }
  connect(SearchButton, &QPushButton::clicked, this, [this] { StartSearch(); });
  connect(StopButton, &QPushButton::clicked, this, [this] {
    cancel_ = true;
  });
  connect(ResultList, &QTreeView::doubleClicked, this, [this](const QModelIndex& i) { OpenHit(i.row()); });
  resize(1000, 520);
  placer_ = new FramePlacer(*this, [this](const QRect& frame) {
    const bool corner = read_.Left && read_.Top;
    FramePlacer::Wanted w{{corner ? *read_.Left : frame.left(), corner ? *read_.Top : frame.top(), frame.width(),
                           frame.height()},
                          corner};
    if (read_.Width && read_.Height) {
      w.bounds.width = *read_.Width;
      w.bounds.height = *read_.Height;
    }
    return w;
  });
  // Onto a screen already, so that no frame larger than the screen is ever
  // shown; placed again when shown, once the frame is known.
  placer_->Place();
  ShowStatus();
  // Written with the main window's settings too: it may close with this
  // window open.
  host_.AddSettingsWriter([w = QPointer<TLibrarySearchWnd>(this)](ProfileText& t) {
    if (w) WriteLibraryWindowLayout(t, w->Layout(), w->saved_);
  });
}

TLibrarySearchWnd::~TLibrarySearchWnd() { StopSearch(); }

LibraryWindowLayout TLibrarySearchWnd::Layout() const {
  LibraryWindowLayout l = read_;
  if (placer_->Shown()) {
    QRect bounds = frameGeometry();
    if (isMaximized() || isFullScreen() || isMinimized()) {
      // The bounds to come back to, not those of the maximised window.
      const QMargins frame(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                           frameGeometry().right() - geometry().right(),
                           frameGeometry().bottom() - geometry().bottom());
      bounds = normalGeometry().marginsAdded(frame);
    }
    l.Left = bounds.left();
    l.Top = bounds.top();
    l.Width = bounds.width();
    l.Height = bounds.height();
  }
  for (int c = 0; c < kLibraryColumns; ++c) {
    l.Columns[static_cast<std::size_t>(c)] = ResultList->header()->sectionSize(kKeptColumns[c]);
  }
  return l;
}

void TLibrarySearchWnd::SaveLayout() {
  const LibraryWindowLayout now = Layout();
  try {
    // A handle of its own on the file, under the same lock: a write that
    // fails here is not counted among the main window's failed writes
    // (which it names as lost bookmarks when it closes). The main window's
    // close writes the layout again, and tells when that fails too.
    ProfileFile ini(host_.Profile().Path());
    ini.Update([&](ProfileText& t) { WriteLibraryWindowLayout(t, now, saved_); });
    saved_ = now;
  } catch (const ProfileWriteError&) {
  }
}

void TLibrarySearchWnd::Present() {
  show();
  raise();
  activateWindow();
  KeyEdit->setFocus();
  KeyEdit->selectAll();
}

void TLibrarySearchWnd::SetUpdating(bool updating) {
  updating_ = updating;
  ShowStatus();
}

void TLibrarySearchWnd::StopSearch() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.clear();
}

void TLibrarySearchWnd::StartSearch() {
  StopSearch();
  ++generation_;
  LibraryQuery q;
  bool ok = true;
  q.key = Utf8ToSjis(KeyEdit->text().toStdString(), &ok);
  error_.clear();
  if (!ok) error_ = QStringLiteral("検索する文字列に Shift-JIS で表せない文字があります。");
  bool posterOk = true;
  q.speaker = TrimSjisBlanks(Utf8ToSjis(PosterEdit->text().trimmed().toStdString(), &posterOk));
  if (!posterOk) error_ = QStringLiteral("発言者に Shift-JIS で表せない文字があります。");
  for (auto [edit, day] : {std::pair{FromEdit, &q.from}, std::pair{ToEdit, &q.to}}) {
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) continue;
    *day = ParseIsoDate(text.toStdString());
    if (!*day) error_ = QStringLiteral("日付は 1996-03-01 のように年-月-日で入れてください。");
  }
  if (error_.isEmpty() && q.key.empty() && q.speaker.empty() && !q.from && !q.to) {
    error_ = QStringLiteral("検索する文字列か、発言者か日付を入れてください。");
  }
  q.ignoreCase = !MatchCaseBox->isChecked();
  q.newestFirst = OrderBox->currentIndex() == 1;
  q.withContext = true;
  q.limit = static_cast<std::size_t>(kMaxShown);
  query_ = q;
  model_.Clear(q.key.size());
  found_ = 0;
  problems_.clear();
  truncated_ = false;
  if (!error_.isEmpty()) {
    done_ = true;
    ShowStatus();
    Ui().Beep();
    emit searchFinished();
    return;
  }
  done_ = false;
  partial_ = updating_;
  cancel_ = false;
  StopButton->setEnabled(true);
  ShowStatus();
  worker_ = std::thread([this, q, file = file_(), generation = generation_] {
    SearchReport report;
    std::string error;
    try {
      Library library(file, SqlDb::Mode::Read);
      const ArchiveHook hook = LibraryArchiveHook();
      report = SearchLibrary(
          library, q, hook,
          [this, generation](const LibraryHit& h) {
            bool first;
            {
              std::lock_guard<std::mutex> lock(mutex_);
              first = pending_.empty();
              pending_.push_back(h);
            }
            // The first hit of a batch calls the window; the window takes
            // whatever has come meanwhile.
            if (first) {
              QMetaObject::invokeMethod(
                  this, [this, generation] { if (generation == generation_) TakeHits(); }, Qt::QueuedConnection);
            }
            return true;
          },
          &cancel_);
    } catch (const std::exception& e) {
      error = e.what();
    }
    QMetaObject::invokeMethod(
        this,
        [this, report, error, generation] {
          if (generation == generation_) Finished(report, error);
        },
        Qt::QueuedConnection);
  });
}

void TLibrarySearchWnd::TakeHits() {
  std::vector<LibraryHit> hits;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hits.swap(pending_);
  }
  if (hits.empty()) return;
  const bool first = model_.rowCount() == 0;
  found_ += static_cast<std::int64_t>(hits.size());
  model_.Append(std::move(hits));
  if (first) ResultList->setCurrentIndex(model_.index(0, 0));
  ShowStatus();
}

void TLibrarySearchWnd::Finished(const SearchReport& report, const std::string& error) {
  if (worker_.joinable()) worker_.join();
  TakeHits();
  done_ = true;
  StopButton->setEnabled(false);
  problems_ = report.problems;
  truncated_ = !report.cancelled && report.hits >= kMaxShown;
  if (!error.empty()) error_ = QString::fromStdString(error);
  ShowStatus();
  emit searchFinished();
}

void TLibrarySearchWnd::ShowStatus() {
  QString text;
  if (!error_.isEmpty()) {
    text = error_;
  } else if (!done_) {
    text = QStringLiteral("検索しています... %1 件").arg(found_);
  } else if (generation_ == 0) {
    text = QStringLiteral("文字列を入れて Enter を押してください。");
  } else if (found_ == 0) {
    text = cancel_ ? QStringLiteral("中止しました。見つかりませんでした。") : QStringLiteral("見つかりませんでした。");
  } else {
    text = QStringLiteral("%1 件見つかりました。").arg(found_);
    if (cancel_) text = QStringLiteral("中止しました。") + text;
    if (truncated_) text += QStringLiteral(" (最初の %1 件だけを表示しています)").arg(kMaxShown);
  }
  if (updating_ || (partial_ && !done_)) {
    text += QStringLiteral(" ﾗｲﾌﾞﾗﾘを更新中です: 索引済みのﾛｸﾞだけから探しています。");
  }
  StatusLabel->setText(text);
  if (problems_.empty()) {
    ProblemLabel->hide();
    ProblemLabel->setToolTip(QString());
  } else {
    QString list;
    for (const std::string& p : problems_) list += QString::fromStdString(p) + QStringLiteral("\n");
    ProblemLabel->setText(QStringLiteral("%1 件のﾛｸﾞは確かめられなかったため除きました (ﾗｲﾌﾞﾗﾘを更新してください):\n%2")
                              .arg(problems_.size())
                              .arg(QString::fromStdString(problems_.front())));
    ProblemLabel->setToolTip(list.trimmed());
    ProblemLabel->show();
  }
}

void TLibrarySearchWnd::OpenHit(int row) {
  if (row < 0 || row >= model_.rowCount()) return;
  const LibraryHit h = model_.Hit(row);
  const LogLocation where = h.member.empty() ? LogLocation{h.path, {}} : LogLocation::Member(h.path, h.member);
  const QString changed = QStringLiteral("ﾛｸﾞがﾗｲﾌﾞﾗﾘの更新後に変わっています。ﾗｲﾌﾞﾗﾘを更新してください。\n%1")
                              .arg(QString::fromStdString(where.Display()));
  QWidget* main = host_.DialogParent();
  host_.RunCommand([&] {
    // The log as it is now: one that has changed since the search read it
    // is not opened at an offset that may now lie elsewhere.
    const std::optional<FileStamp> now = StampOf(h.path);
    if (!now || !(*now == h.stamp)) {
      Ui().Info(this, changed);
      return;
    }
    LogSession& s = host_.Session();
    if (!s.LogLoaded() || s.LogFileName() != where.Format()) {
      if (!host_.OpenLog(QString::fromStdString(where.Format()))) return;
    }
    if (!s.SelectRemarkAt(h.start) || !s.Shown().header || s.Shown().header->Number.v != h.number) {
      Ui().Info(this, changed);
      return;
    }
    host_.ShowSelectedRemark();
    std::string key = query_.key;
    if (!key.empty()) {
      if (query_.ignoreCase) AnsiUpperInPlace(key.data(), key.size());
      host_.FindInPane(key, query_.ignoreCase);
    }
    main->raise();
    main->activateWindow();
  });
}

bool TLibrarySearchWnd::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ResultList && event->type() == QEvent::KeyPress) {
    const auto* k = static_cast<QKeyEvent*>(event);
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
      OpenHit(ResultList->currentIndex().row());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TLibrarySearchWnd::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TLibrarySearchWnd::closeEvent(QCloseEvent* event) {
  cancel_ = true;
  SaveLayout();
  QWidget::closeEvent(event);
}

}  // namespace kest

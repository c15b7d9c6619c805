#include "ui/Kest2.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>

#include "archive/MemberDialog.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/QtColors.h"
#include "platform/QtPrinter.h"
#include "settings/ColUnit.h"
#include "settings/FontSize.h"
#include "ui/BarProgress.h"
#include "ui/ConvertedLog.h"
#include "ui/ExMemo.h"
#include "ui/FileMessages.h"
#include "ui/FramePlacer.h"
#include "ui/TAboutBox.h"
#include "ui/TitleListModel.h"
#include "ui/TitleListView.h"

// The tool-button pictures live in a resource file of this static library;
// naming its initializer keeps the linker from dropping it.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace kest {
namespace {

QString FromSjis(std::string_view s) { return QString::fromUtf8(SjisToUtf8(s)); }
std::string ToSjis(const QString& s) { return Utf8ToSjis(s.toStdString()); }

// A panel holding one control that fills it. Its height is a wish, not a
// constraint: the window may still be made smaller than the panels.
class FillPanel : public QWidget {
 public:
  FillPanel(QWidget* parent, int heightHint) : QWidget(parent), hint_(heightHint) {}
  void SetChild(QWidget* child) {
    child_ = child;
    child_->setGeometry(rect());
  }
  void SetHeightHint(int h) {
    hint_ = h;
    updateGeometry();
  }
  QSize sizeHint() const override { return {200, hint_}; }
  QSize minimumSizeHint() const override { return {0, 1}; }

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (child_) child_->setGeometry(rect());
  }

 private:
  int hint_;
  QWidget* child_ = nullptr;
};

// Lines of the title list one font line high, as the old list's item height.
class LineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(std::max(16, option.fontMetrics.height()));
    return s;
  }
};

QIcon ButtonIcon(const QString& name) {
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/%1.svg").arg(name), QSize(), QIcon::Normal);
  icon.addFile(QStringLiteral(":/icons/%1-disabled.svg").arg(name), QSize(), QIcon::Disabled);
  return icon;
}

// Recent entries longer than this many columns are shortened in the middle.
constexpr int kRecentCaptionColumns = 64;

}  // namespace

// The list follows the session: the selected line it moves itself becomes
// the list's current line, and while the lines are rebuilt, inserted or
// removed the list's own changes of its current line are not taken for
// clicks.
class TKestForm::Follower : public SessionObserver {
 public:
  explicit Follower(TKestForm& f) : f_(f) {}
  void BeginReset() override { ++f_.following_; }
  void EndReset() override { --f_.following_; }
  void BeginInsert(ListLine, ListLine) override { ++f_.following_; }
  void EndInsert() override { --f_.following_; }
  void BeginRemove(ListLine, ListLine) override { ++f_.following_; }
  void EndRemove() override { --f_.following_; }
  void LineSelected(ListLine line) override { f_.FollowSelection(line); }

 private:
  TKestForm& f_;
};

void InstallFontSubstitutions() {
  static bool done = false;
  if (done) return;
  done = true;
  const QStringList mono = {
      QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP"),
      QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic"), QStringLiteral("Monospace")};
  const QStringList prop = {QStringLiteral("IPAPGothic"),       QStringLiteral("IPA Pゴシック"),
                            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                            QStringLiteral("TakaoPGothic"),     QStringLiteral("Sans Serif")};
  const QStringList serif = {QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"),
                             QStringLiteral("Noto Serif CJK JP"), QStringLiteral("Serif")};
  const QStringList pserif = {QStringLiteral("IPAPMincho"), QStringLiteral("IPA P明朝"),
                              QStringLiteral("Noto Serif CJK JP"), QStringLiteral("Serif")};
  QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), mono);
  QFont::insertSubstitutions(QStringLiteral("FixedSys"), mono);
  QFont::insertSubstitutions(QStringLiteral("Terminal"), mono);
  QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), prop);
  QFont::insertSubstitutions(QStringLiteral("System"), prop);
  QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"), serif);
  QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐ明朝"), pserif);
}

// ---------------------------------------------------------------------------
// FormCreate

TKestForm::TKestForm(QWidget* parent) : QMainWindow(parent), follower_(std::make_unique<Follower>(*this)) {
  InitIconResources();
  InstallFontSubstitutions();
  setObjectName(QStringLiteral("KestForm"));
  setWindowTitle(QStringLiteral("Kest32"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/kest32.svg")));
  setAccessibleName(windowTitle());  // follows the caption (changeEvent)
  setAcceptDrops(true);
  clock_.start();

  // The model hears of the session's lines before the list follows the
  // selection.
  model_ = new TitleListModel(session_, this);
  session_.AddObserver(follower_.get());
  CreateControls();
  CreateMenus();

  HelpFile = FindHelpFile(QString::fromStdString(ProgramDir().string()));
  IniFile = std::make_unique<ProfileFile>(LocateIni(ProgramDir()));
  ReadSettings();
  CreateCommands();
  ShowRecentFiles();
}

void TKestForm::Start(const QStringList& args) {
  Refresh();
  // The command line: the first argument is opened; any other argument is
  // ignored. The full path goes to the recent files, so the entry still works
  // when started from another folder. A name that does not open leaves the
  // window empty, as a start without a name would (the user can still open
  // another log), and says why once the window is up, not before it appears.
  if (!args.isEmpty()) {
    const QString first = args.first();
    if (QFileInfo(first).isFile()) {
      Run([&] { OpenLog(first); });
    } else {
      QTimer::singleShot(0, this, [this, first] { Run([&] { OpenLog(first); }); });
    }
  }
}

TKestForm::~TKestForm() {
  // The list and its model let go of the session before the session goes.
  session_.RemoveObserver(follower_.get());
  ListBox1->setModel(nullptr);
  delete model_;
  model_ = nullptr;
}

void TKestForm::CreateControls() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  setCentralWidget(central);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  IconPanel = new QWidget(central);
  IconPanel->setObjectName(QStringLiteral("IconPanel"));
  IconPanel->setAccessibleName(QStringLiteral("ツールボタン"));
  IconPanel->setFixedHeight(31);
  Bevel1 = new QFrame(IconPanel);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(0, 0, 4096, 2);

  // The tool buttons; each shows the action of its command (CreateCommands).
  auto button = [this](const char* name, int x, const QString& hint) {
    auto* b = new QToolButton(IconPanel);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, 4, 25, 25);
    b->setAutoRaise(true);
    b->setIconSize(QSize(21, 21));
    b->setFocusPolicy(Qt::NoFocus);  // speed buttons never take the keyboard
    b->setToolTip(hint);  // a tooltip only: the status panels keep the remark
    b->setAccessibleName(hint);
  };
  button("OPFile_B", 8, QStringLiteral("ﾌｧｲﾙを開く"));
  button("Prev_B", 48, QStringLiteral("前の発言"));
  button("Next_B", 72, QStringLiteral("次の発言"));
  button("Com_B", 104, QStringLiteral("コメント発言"));
  button("NSort_B", 144, QStringLiteral("発言順でソート"));
  button("RSort_B2", 168, QStringLiteral("内容順でソート(1)"));
  button("RSort_B", 192, QStringLiteral("内容順でソート(2)"));
  button("Numb_VB", 232, QStringLiteral("発言番号表示"));
  button("Name_VB", 256, QStringLiteral("発言者表示"));
  button("Date_VB", 280, QStringLiteral("日付表示"));
  button("SpeedButton5", 344, QStringLiteral("終了"));

  ConvertedPanel = CreateConversionLabel(IconPanel);  // under PBar1, which covers it while loading
  PBar1 = new QProgressBar(IconPanel);
  PBar1->setObjectName(QStringLiteral("PBar1"));
  PBar1->setAccessibleName(QStringLiteral("読み込みの進み具合"));
  PBar1->setGeometry(384, 11, 97, 15);
  PBar1->setRange(0, 100);
  PBar1->setValue(0);
  PBar1->setTextVisible(false);
  PBar1->hide();

  auto* listPanel = new FillPanel(central, ListHeight);
  ListPanel = listPanel;
  ListPanel->setObjectName(QStringLiteral("ListPanel"));
  ListPanel->setAccessibleName(QStringLiteral("タイトルリスト"));
  ListPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  ListBox1 = new TitleListView(ListPanel);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setAccessibleName(QStringLiteral("タイトルリスト"));
  ListBox1->setModel(model_);
  ListBox1->setItemDelegate(new LineDelegate(ListBox1));
  ListBox1->setUniformItemSizes(true);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListBox1->setTextElideMode(Qt::ElideNone);  // long lines are cut at the edge
  ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ListBox1->setWordWrap(false);
  {
    QFont f(QStringLiteral("ＭＳ ゴシック"));
    f.setPixelSize(16);
    ListBox1->setFont(f);
    QPalette pal = ListBox1->palette();
    pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));  // silver
    pal.setColor(QPalette::Text, Qt::black);
    ListBox1->setPalette(pal);
  }
  listPanel->SetChild(ListBox1);

  BorderPanel = new QFrame(central);
  BorderPanel->setObjectName(QStringLiteral("BorderPanel"));
  BorderPanel->setAccessibleName(QStringLiteral("分割バー"));
  BorderPanel->setFixedHeight(3);
  BorderPanel->setCursor(Qt::SplitVCursor);
  BorderPanel->installEventFilter(this);

  auto* memoPanel = new FillPanel(central, 249);
  MemoPanel = memoPanel;
  MemoPanel->setObjectName(QStringLiteral("MemoPanel"));
  MemoPanel->setAccessibleName(QStringLiteral("発言画面"));
  MemoPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  Memo1 = new TExMemo(MemoPanel);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setAccessibleName(QStringLiteral("発言画面"));
  Memo1->setReadOnly(true);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoPanel->SetChild(Memo1);

  BorderLine = new QFrame(central);
  BorderLine->setObjectName(QStringLiteral("BorderLine"));
  BorderLine->setAccessibleName(QStringLiteral("分割位置"));
  BorderLine->setAutoFillBackground(true);
  {
    QPalette pal = BorderLine->palette();
    pal.setColor(QPalette::Window, Qt::gray);
    BorderLine->setPalette(pal);
  }
  BorderLine->setFixedHeight(5);
  BorderLine->setAttribute(Qt::WA_TransparentForMouseEvents);
  BorderLine->hide();

  column->addWidget(IconPanel);
  column->addWidget(ListPanel);
  column->addWidget(BorderPanel);
  column->addWidget(MemoPanel, 1);
  central->installEventFilter(this);  // FormResize
  // The keys of the window, the title list and the text pane; the list's
  // presses for the long press. Drops land on the window, not on the pane.
  ListBox1->installEventFilter(this);
  ListBox1->viewport()->installEventFilter(this);
  Memo1->installEventFilter(this);
  installEventFilter(this);
  Memo1->setAcceptDrops(false);
  ListBox1->setAcceptDrops(false);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setAccessibleName(QStringLiteral("ステータスバー"));
  StatusBar1->setFixedHeight(22);
  {
    QFont f(QStringLiteral("ＭＳ ゴシック"));
    f.setPixelSize(15);
    StatusBar1->setFont(f);
  }
  setStatusBar(StatusBar1);
  const int widths[4] = {50, 105, 180, 120};
  const char* const descriptions[4] = {"発言番号", "ID", "発言者", "タイトル"};
  for (int i = 0; i < 4; ++i) {
    auto* l = new QLabel(StatusBar1);
    l->setObjectName(QStringLiteral("Panel%1").arg(i));
    l->setTextFormat(Qt::PlainText);  // a title is text, never markup
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAccessibleDescription(QString::fromUtf8(descriptions[i]));
    if (i < 3) {
      l->setFixedWidth(widths[i]);
    } else {
      l->setMinimumWidth(widths[i]);  // the last panel reaches the right edge
    }
    l->setAlignment(i == 0 ? (Qt::AlignRight | Qt::AlignVCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
    StatusBar1->addWidget(l, i == 3 ? 1 : 0);
    Panels[static_cast<std::size_t>(i)] = l;
  }

  // A selection change in the list, by mouse or keyboard, shows its remark;
  // a click on the selected line again still refreshes the commands. Moves
  // of the list's line made by the session itself show nothing more.
  connect(ListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (following_ > 0) return;
            Run([&] { ListBox1Click(ListLine(current.isValid() ? current.row() : -1)); });
          });
  connect(ListBox1, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (ListBox1->PressedOnSelected()) Run([&] { ListBox1Click(ListLine(index.row())); });
  });
  connect(ListBox1, &QAbstractItemView::doubleClicked, this, [this] { Run([this] { ListBox1DblClick(); }); });
  connect(Memo1, &TExMemo::doubleClicked, this, [this] { Run([this] { MaximizeList(); }); });
  connect(Memo1, &TExMemo::contextMenuWanted, this, &TKestForm::ShowPopup);
}

void TKestForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  bar->setAccessibleName(QStringLiteral("メニュー"));
  // The button that shows the menus that do not fit into a narrow window.
  if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"))) {
    more->setAccessibleName(QStringLiteral("その他のメニュー"));
  }
  auto menu = [bar](const char* name, const QString& title) {
    QMenu* m = bar->addMenu(title);
    m->setObjectName(QString::fromLatin1(name));
    m->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Item"));
    return m;
  };
  F1 = menu("F1", QStringLiteral("ﾌｧｲﾙ(&F)"));
  F1->setToolTipsVisible(true);  // a shortened recent entry shows its whole path
  Edit_M = menu("Edit_M", QStringLiteral("編集(&E)"));
  Find_M = menu("Find_M", QStringLiteral("検索(&F)"));
  BookM_M = menu("BookM_M", QStringLiteral("しおり(&B)"));
  View_M = menu("View_M", QStringLiteral("表示(&V)"));
  K2 = menu("K2", QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
  KA2 = menu("KA2", QStringLiteral("ヘルプ(&H)"));
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
}

// One action per command: the menu entry and the tool button share it, and
// the pop-up entries of the same command get its state from the same table.
void TKestForm::CreateCommands() {
  const auto key = [](QKeyCombination k) { return QKeySequence(k); };
  auto entry = [this](QMenu* m, Command c, const char* name, const QString& text, const QKeySequence& k,
                      std::function<void()> handler) {
    QAction* a = AddEntry(*m, this, name, text, k);
    AddCommand(c, a, std::move(handler));
    return a;
  };
  auto plain = [&](QMenu* m, Command c, const char* name, const QString& text,
                   std::function<void()> handler) {
    return entry(m, c, name, text, QKeySequence(), std::move(handler));
  };
  // A tool button shows its command's action: its picture, its state, and
  // the button's hint as the tooltip.
  auto button = [this](QAction* a, const char* name) {
    auto* b = IconPanel->findChild<QToolButton*>(QString::fromLatin1(name));
    a->setIcon(ButtonIcon(QString::fromLatin1(name)));
    a->setIconVisibleInMenu(false);
    a->setToolTip(b->toolTip());
    b->setDefaultAction(a);
  };
  auto checkable = [](QAction* a) {
    a->setCheckable(true);
    return a;
  };

  // ﾌｧｲﾙ
  QAction* open = plain(F1, Command::Open, "OPFile_M", QStringLiteral("ファイルを開く(&F)"),
                        [this] { OpenWithDialog(); });
  plain(F1, Command::Print, "Print1", QStringLiteral("印刷(&P)"), [this] { Print1Click(); });
  AddSeparator(*F1, "N1");
  QAction* exit = plain(F1, Command::Exit, "PrgEnd", QStringLiteral("終了(&X)"), [this] { close(); });
  FileBar = AddSeparator(*F1, "FileBar");
  FileBar->setVisible(false);
  for (int i = 0; i < 5; ++i) {
    const QByteArray name = QStringLiteral("Ent%1").arg(i).toLatin1();
    QAction* a = AddEntry(*F1, this, name.constData(), QString());
    a->setVisible(false);
    connect(a, &QAction::triggered, this, [this, i] { Run([this, i] { EntClick(i); }); });
    Ent[static_cast<std::size_t>(i)] = a;
  }

  // 編集
  plain(Edit_M, Command::Copy, "Copy_M", QStringLiteral("ｺﾋﾟｰ(&C)"), [this] {
    Copy_MClick();
  })->setShortcut(key(Qt::CTRL | Qt::Key_C));
  plain(Edit_M, Command::SelectAll, "All_M", QStringLiteral("全選択(&A)"), [this] {
    All_MClick();
  })->setShortcut(key(Qt::CTRL | Qt::Key_A));

  // 表示
  QAction* nsort = checkable(plain(View_M, Command::SortRemark, "NSort_M", QStringLiteral("発言順でｿｰﾄ"),
                                   [this] { SortCommand(SortOrder::Remark); }));
  QAction* rsort2 =
      checkable(plain(View_M, Command::SortContentFull, "RSort_M2", QStringLiteral("内容順でｿｰﾄ(1)"),
                      [this] { SortCommand(SortOrder::ContentFull); }));
  QAction* rsort =
      checkable(plain(View_M, Command::SortContentFolded, "RSort_M", QStringLiteral("内容順でｿｰﾄ(2)"),
                      [this] { SortCommand(SortOrder::ContentFolded); }));
  AddSeparator(*View_M, "N3");
  QAction* numb = checkable(plain(View_M, Command::ShowNumber, "Numb_VM", QStringLiteral("発言番号表示"),
                                  [this] { ToggleColumn(Command::ShowNumber); }));
  QAction* name = checkable(plain(View_M, Command::ShowSpeaker, "Name_VM", QStringLiteral("発言者名表示"),
                                  [this] { ToggleColumn(Command::ShowSpeaker); }));
  QAction* date = checkable(plain(View_M, Command::ShowDate, "Date_VM", QStringLiteral("日付表示"),
                                  [this] { ToggleColumn(Command::ShowDate); }));
  AddSeparator(*View_M, "N4");
  QAction* prev = entry(View_M, Command::Prev, "Prev_M", QStringLiteral("前の発言"),
                        key(Qt::CTRL | Qt::Key_Up), [this] { PrevClick(); });
  QAction* next = entry(View_M, Command::Next, "Next_M", QStringLiteral("次の発言"),
                        key(Qt::CTRL | Qt::Key_Down), [this] { NextClick(); });
  QAction* com = entry(View_M, Command::Comment, "Com_M", QStringLiteral("コメント発言へ"),
                       key(Qt::CTRL | Qt::Key_Right), [this] { ComClick(); });
  AddSeparator(*View_M, "K10");

  // ｵﾌﾟｼｮﾝ, ヘルプ
  plain(K2, Command::Font, "K3", QStringLiteral("フォントの変更(&F)"), [this] { K3Click(); });
  plain(K2, Command::Colors, "K1", QStringLiteral("表示色の変更(&C)"), [this] { K1Click(); });
  plain(KA2, Command::Help, "Help_M", QStringLiteral("目次(&C)"), [this] { ShowHelp(HelpPage::Contents); });
  plain(KA2, Command::KeyHelp, "KeyHelp_M", QStringLiteral("ｷｰﾜｰﾄﾞで検索(&K)"),
        [this] { ShowHelp(HelpPage::Index); });
  AddSeparator(*KA2, "N7");
  plain(KA2, Command::About, "Ver_M", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"), [this] { Ver_MClick(); });

  // The pop-up menu; the bookmarks add theirs at its end.
  plain(PopupMenu1, Command::Prev, "Prev_P", QStringLiteral("前の発言へ"), [this] { PrevClick(); });
  plain(PopupMenu1, Command::Next, "Next_P", QStringLiteral("次の発言へ"), [this] { NextClick(); });
  plain(PopupMenu1, Command::Comment, "Com_P", QStringLiteral("コメント発言へ"), [this] { ComClick(); });
  AddSeparator(*PopupMenu1, "N6");
  plain(PopupMenu1, Command::MaximizeList, "K7", QStringLiteral("ﾀｲﾄﾙﾘｽﾄ 最大化"),
        [this] { MaximizeList(); });
  plain(PopupMenu1, Command::MaximizeText, "K6", QStringLiteral("発言画面 最大化"),
        [this] { MaximizeText(); });
  plain(PopupMenu1, Command::SplitEven, "K8", QStringLiteral("２分割表示"), [this] { SplitEven(); });
  AddSeparator(*PopupMenu1, "N5");
  plain(PopupMenu1, Command::Copy, "Copy_P", QStringLiteral("コピー"), [this] { Copy_MClick(); });
  plain(PopupMenu1, Command::SelectAll, "All_P", QStringLiteral("全選択"), [this] { All_MClick(); });
  AddSeparator(*PopupMenu1, "N9");

  // The tool buttons.
  button(open, "OPFile_B");
  button(prev, "Prev_B");
  button(next, "Next_B");
  button(com, "Com_B");
  button(nsort, "NSort_B");
  button(rsort2, "RSort_B2");
  button(rsort, "RSort_B");
  button(numb, "Numb_VB");
  button(name, "Name_VB");
  button(date, "Date_VB");
  button(exit, "SpeedButton5");
}

// ---------------------------------------------------------------------------
// KestHost

QMenu& TKestForm::Menu(HostMenu which) {
  switch (which) {
    case HostMenu::File: return *F1;
    case HostMenu::Find: return *Find_M;
    case HostMenu::Bookmarks: return *BookM_M;
    case HostMenu::Popup: return *PopupMenu1;
  }
  return *F1;
}

QMenu& TKestForm::AddMenu(const QString& objectName, const QString& title) {
  auto* m = new QMenu(title, this);
  m->setObjectName(objectName);
  m->menuAction()->setObjectName(objectName + QStringLiteral("Item"));
  menuBar()->insertMenu(K2->menuAction(), m);
  return *m;
}

void TKestForm::AddCommand(Command command, QAction* entry, std::function<void()> handler) {
  commands_.emplace_back(command, entry);
  connect(entry, &QAction::triggered, this, [this, handler = std::move(handler)] { Run(handler); });
}

void TKestForm::RunCommand(const std::function<void()>& handler) { Run(handler); }

void TKestForm::Run(const std::function<void()>& handler) {
  RunGuarded(this, handler);
  RunGuarded(this, [this] { Refresh(); });
}

void TKestForm::Refresh() {
  setWindowTitle(QString::fromStdString(session_.Caption()));
  RenderPanels();
  if (paneGeneration_ != session_.Shown().generation) RenderPane();
  ApplyCommands();
  TellNotices();
}

void TKestForm::RenderPanels() {
  const std::array<std::string, 4> texts = PanelTexts(session_.Shown().header);
  for (std::size_t i = 0; i < Panels.size(); ++i) Panels[i]->setText(FromSjis(texts[i]));
}

void TKestForm::RenderPane() {
  const ShownRemark& shown = session_.Shown();
  const bool hadFocus = Memo1->hasFocus();
  Memo1->hide();
  Memo1->Clear();
  Memo1->SetLines(shown.lines);
  Memo1->BringToBeginning();
  Memo1->show();
  paneGeneration_ = shown.generation;
  if (hadFocus) Memo1->setFocus();
}

void TKestForm::ApplyCommands() {
  const CommandStates states = session_.Commands();
  for (const auto& [command, action] : commands_) {
    const CommandState& s = states[command];
    action->setEnabled(s.enabled);
    if (action->isCheckable()) action->setChecked(s.checked);
  }
  Edit_M->menuAction()->setVisible(states.logMenusShown);
  View_M->menuAction()->setVisible(states.logMenusShown);
}

void TKestForm::TellNotices() {
  for (const Notice& n : session_.TakeNotices()) {
    if (n.kind == Notice::Kind::Changed) {
      OfferReload(n);
    } else {
      ShowNotice(this, n);
    }
  }
}

void TKestForm::FollowSelection(ListLine line) {
  ++following_;
  QItemSelectionModel* sel = ListBox1->selectionModel();
  if (line.v < 0 || line.v >= model_->rowCount()) {
    sel->clearSelection();
    sel->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  } else {
    const QModelIndex i = model_->index(line.v);
    sel->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    ListBox1->scrollTo(i);
  }
  --following_;
}

void TKestForm::ShowSelectedRemark() {
  WaitCursor wait;
  session_.ShowSelected();
  Refresh();
}

bool TKestForm::FindInPane(std::string_view key, bool ignoreCase) {
  return Memo1->FindString(key, ignoreCase);
}

// ---------------------------------------------------------------------------
// Settings

void TKestForm::ReadSettings() {
  const WindowSettings s = ReadWindowSettings(*IniFile);
  saved_ = s;
  session_.ApplySettings(s);
  look_ = s.Look;

  // The pane's font: a size no one could read is shown at the nearest one
  // that reads, and kept as it stands for the settings file.
  QFont f(FromSjis(look_.FontName));
  const PaneFontSize shown = ShownFontSize(look_.FontSize);
  if (shown.pixels) {
    f.setPixelSize(shown.size);
  } else {
    f.setPointSize(shown.size);
  }
  f.setBold((look_.FontStyle & 1) != 0);
  f.setItalic((look_.FontStyle & 2) != 0);
  f.setUnderline((look_.FontStyle & 4) != 0);
  f.setStrikeOut((look_.FontStyle & 8) != 0);
  Memo1->setFont(f);
  SetPaneColors(look_.TextColor, look_.BackColor);

  // The bounds include the frame. Before the window is shown its frame is
  // not known; the placer puts the frame's size right once it is.
  wantedBounds_ = QRect(s.Bounds.Left, s.Bounds.Top, s.Bounds.Width, s.Bounds.Height);
  move(s.Bounds.Left, s.Bounds.Top);
  resize(s.Bounds.Width, s.Bounds.Height);
  if (!placer_) {
    placer_ = new FramePlacer(*this, [this](const QRect&) {
      return FramePlacer::Wanted{{wantedBounds_.left(), wantedBounds_.top(), wantedBounds_.width(),
                                  wantedBounds_.height()}};
    });
  }
}

void TKestForm::WriteSettings() {
  WindowSettings s;
  session_.StoreSettings(s);
  s.Look = look_;
  // The face name is written back as it was read unless the pane's font
  // family has changed since.
  const QFont f = Memo1->font();
  if (f.family() != FromSjis(look_.FontName)) s.Look.FontName = ToSjis(f.family());
  s.Look.FontStyle =
      (f.bold() ? 1 : 0) | (f.italic() ? 2 : 0) | (f.underline() ? 4 : 0) | (f.strikeOut() ? 8 : 0);
  QRect bounds = frameGeometry();
  if (isMaximized() || isFullScreen() || isMinimized()) {
    // The bounds to come back to, not those of the maximised window.
    const QRect normal = normalGeometry();
    const QMargins frame(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    bounds = normal.marginsAdded(frame);
  }
  s.Bounds = WindowBounds{bounds.top(), bounds.left(), bounds.height(), bounds.width()};
  // Only what this window changed, on the file as it is now: another
  // window's settings written meanwhile stay. One write, the features'
  // parts with it: when it fails (the folder has gone, the disk is full)
  // nothing is written, with one message, and the window closes all the
  // same.
  IniFile->Update([&](ProfileText& t) {
    WriteWindowSettings(t, s, saved_);
    for (const auto& write : settingsWriters_) write(t);
  });
  saved_ = s;
}

// FormCloseQuery: closing is always allowed.
void TKestForm::closeEvent(QCloseEvent* event) {
  event->accept();
  session_.Release();
  if (!IniFile) return;  // closed before
  SaveSettings(false);
  IniFile.reset();
}

void TKestForm::SetPaneColors(std::int32_t textCode, std::int32_t backCode) {
  look_.TextColor = textCode;
  look_.BackColor = backCode;
  Memo1->SetTextColor(ColorFromCode(textCode));
  Memo1->SetBackgroundColor(ColorFromCode(backCode));
}

void TKestForm::SetPaneFont(const QFont& font) {
  Memo1->setFont(font);
  look_.FontSize = font.pointSize() > 0 ? font.pointSize() : -font.pixelSize();
}

TColorDlg& TKestForm::ColorDialog() {
  if (!colorDlg_) colorDlg_ = new TColorDlg(this);
  return *colorDlg_;
}

QPrinter& TKestForm::Printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}

void TKestForm::ApplyListHeight() {
  static_cast<FillPanel*>(ListPanel)->SetHeightHint(ListHeight);
  if (QLayout* l = centralWidget()->layout()) l->activate();
}

void TKestForm::ShowPopup(const QPoint& globalPos) { PopupMenu1->popup(globalPos); }

void TKestForm::contextMenuEvent(QContextMenuEvent* event) {
  ShowPopup(event->globalPos());
  event->accept();
}

// ---------------------------------------------------------------------------
// Loading a log

bool TKestForm::LoadLog(const QString& fileName) {
  // A path is kept whole, as the recent files and bookmarks need it; a
  // member of an archive is named whole already.
  const bool plain = !fileName.isEmpty() && LogLocation::Parse(fileName.toStdString()).member.empty();
  OpenPlan plan;
  {
    WaitCursor wait;  // an archive is listed first
    plan = session_.PlanOpen(plain ? QFileInfo(fileName).absoluteFilePath().toStdString() : fileName.toStdString());
  }
  if (const std::optional<Notice>& refusal = plan.refusal) {
    ShowNotice(this, *refusal);
    return false;
  }
  if (plan.choose) {
    if (!memberDlg_) memberDlg_ = new TMemberDlg(this);
    const std::optional<std::string> member = memberDlg_->Choose(*plan.choose, plan.where.file);
    if (!member) return false;
    plan.where = LogLocation::Member(plan.where.file, *member);
  }
  std::optional<NativeLog> native = OpenNativeForWindow(this, PBar1, plan.where);
  if (!native) return false;
  {
    WaitCursor wait;
    ShowConversion(ConvertedPanel, *native);
    PBar1->setValue(0);
    PBar1->show();
    struct HideBar {
      QProgressBar* bar;
      ~HideBar() {
        bar->setValue(0);
        bar->hide();
      }
    } hideBar{PBar1};
    try {
      session_.Load(plan.where.Format(), std::move(*native), BarProgress(PBar1));
    } catch (...) {
      Refresh();  // an empty window, not half of a log
      throw;
    }
  }
  Refresh();
  Ui().Beep();
  TellAfterLoad(this, session_.Native(), *session_.Log());
  return true;
}

// ---------------------------------------------------------------------------
// The title list and navigation

void TKestForm::ListBox1Click(ListLine line) {
  WaitCursor wait;
  session_.ClickLine(line);
}

void TKestForm::ListBox1DblClick() {
  const SortOrder order = session_.Sort();
  if (order == SortOrder::Remark || order == SortOrder::ContentFull) {
    MaximizeText();
  } else if (order == SortOrder::ContentFolded) {
    ToggleFold();
  }
}

void TKestForm::ToggleFold() { session_.ToggleFold(); }

void TKestForm::PrevClick() {
  if (session_.Prev()) Memo1->setFocus();
}

void TKestForm::NextClick() {
  if (session_.Next()) Memo1->setFocus();
}

void TKestForm::ComClick() {
  if (session_.Comment()) Memo1->setFocus();
}

void TKestForm::SortCommand(SortOrder order) {
  if (session_.Sort() == order) return;  // the active order's entry stays checked
  {
    WaitCursor wait;
    session_.SetOrder(order);
    Refresh();
  }
  Ui().Beep();
}

void TKestForm::ToggleColumn(Command which) {
  WaitCursor wait;
  session_.ToggleColumn(which);
  Refresh();
}

// ---------------------------------------------------------------------------
// Recent files

void TKestForm::PushRecentFile(const std::string& name) {
  if (session_.PushRecentFile(name)) ShowRecentFiles();
}

void TKestForm::ShowRecentFiles() {
  for (std::size_t i = 0; i < Ent.size(); ++i) {
    QAction* a = Ent[i];
    const std::string& name = session_.RecentFile(i);
    const std::string shown = LogLocation::Parse(name).Display();  // a member with its archive
    QString caption = QString::fromStdString(ElideMiddle(shown, kRecentCaptionColumns));
    a->setText(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));  // no mnemonic
    a->setToolTip(QString::fromStdString(shown));
    a->setStatusTip(QString());
    if (!name.empty()) a->setVisible(true);
  }
  FileBar->setVisible(Ent[0]->isVisible());
}

void TKestForm::EntClick(int entry) {
  OpenLog(QString::fromStdString(session_.RecentFile(static_cast<std::size_t>(entry))));
}

void TKestForm::OpenWithDialog() {
  const std::optional<QString> name =
      Ui().OpenFileName(this, QString::fromStdString(session_.OpenFolder()), QStringLiteral("*.LOG"),
                        {QStringLiteral("ﾛｸﾞﾌｧｲﾙ(*.log)"), QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)"),
                         QStringLiteral("ｱｰｶｲﾌﾞ(*.lzh *.zip)"), QStringLiteral("全てのﾌｧｲﾙ(*.*)")});
  if (name) OpenLog(*name);
}

// ---------------------------------------------------------------------------
// Other commands

void TKestForm::Copy_MClick() {
  Memo1->setFocus();
  Memo1->copy();
}

void TKestForm::All_MClick() {
  Memo1->setFocus();
  Memo1->selectAll();
}

void TKestForm::Ver_MClick() {
  TAboutBox box(this);
  box.exec();
}

void TKestForm::Print1Click() {
  // Never the header alone: a remark whose text could not be read whole, or
  // a log changed since, is not printed (the notice says why).
  if (!session_.ShownReadyForOutput("印刷")) return;
  if (!Ui().ChoosePrinter(this, Printer())) return;
  QStringList header;
  for (const std::string& text : PanelTexts(session_.Shown().header)) header << FromSjis(text);
  PrintLines(Printer(), header, Memo1->DisplayLines());
}

void TKestForm::K1Click() {
  TColorDlg& dlg = ColorDialog();
  if (!dlg.Execute(look_.TextColor, look_.BackColor, Memo1->font())) return;
  if (dlg.FontChosen()) SetPaneFont(dlg.PreviewFont());
  SetPaneColors(dlg.PreviewTextColor(), dlg.PreviewBackColor());
}

// The font dialog carries no colour: the pane's text colour stays.
void TKestForm::K3Click() {
  if (const auto chosen = Ui().ChooseFont(this, Memo1->font())) SetPaneFont(*chosen);
}

}  // namespace kest

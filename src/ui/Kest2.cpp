#include "ui/Kest2.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <system_error>

#include "settings/Settings.h"
#include "bookmarks/BookActions.h"
#include "platform/Codec.h"
#include "platform/HelpViewer.h"
#include "platform/Paths.h"
#include "platform/QtColors.h"
#include "platform/QtPrinter.h"
#include "search/ExMemo.h"
#include "ui/BarProgress.h"
#include "ui/ConvertedLog.h"
#include "settings/ColUnit.h"
#include "settings/FontSize.h"
#include "ui/Interaction.h"
#include "ui/TAboutBox.h"
#include "ui/TitleListModel.h"

// The tool-button pictures live in a resource file of this static library;
// naming its initializer keeps the linker from dropping it.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace kest {
namespace {

QString FromSjis(std::string_view s) { return QString::fromUtf8(SjisToUtf8(s)); }
std::string ToSjis(const QString& s) { return Utf8ToSjis(s.toStdString()); }
std::filesystem::path FsPath(const QString& name) {
  return std::filesystem::path(QFile::encodeName(name).toStdString());
}

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

// Shows a panel again however the code between leaves.
class ShowAgain {
 public:
  explicit ShowAgain(QWidget* w) : w_(w) {}
  ~ShowAgain() { w_->show(); }
  ShowAgain(const ShowAgain&) = delete;
  ShowAgain& operator=(const ShowAgain&) = delete;

 private:
  QWidget* w_;
};

const char* const kIniOption = "Option";
const char* const kIniFont = "Font";
const char* const kIniFONT = "FONT";
const char* const kIniFileName = "FileName";

constexpr int kDefaultFontSize = 14;
// Recent entries longer than this many columns are shortened in the middle.
constexpr int kRecentCaptionColumns = 64;

QString PathFromIni(const std::string& stored) { return QString::fromStdString(PathFromProfile(stored)); }
std::string PathToIni(const QString& path) { return PathToProfile(path.toStdString()); }

}  // namespace

void InstallFontSubstitutions() {
  static bool done = false;
  if (done) return;
  done = true;
  const QStringList mono = {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                            QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("VL Gothic"),
                            QStringLiteral("TakaoGothic"), QStringLiteral("Monospace")};
  const QStringList prop = {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                            QStringLiteral("TakaoPGothic"), QStringLiteral("Sans Serif")};
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

void RunGuarded(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    Ui().Error(parent, QString::fromUtf8(e.what()));
  } catch (...) {
    Ui().Error(parent, QStringLiteral("予期しないエラーが発生しました"));
  }
}

QItemSelectionModel::SelectionFlags TitleListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  return QItemSelectionModel::ClearAndSelect;
}

void TitleListView::keyboardSearch(const QString& search) {
  if (skipSearch_) {
    skipSearch_ = false;
    return;
  }
  QListView::keyboardSearch(search);
}

void TitleListView::keyPressEvent(QKeyEvent* event) {
  QListView::keyPressEvent(event);
  skipSearch_ = false;
}

void TitleListView::mousePressEvent(QMouseEvent* event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  pressedOnSelected_ = at.isValid() && at == currentIndex();
  QListView::mousePressEvent(event);
}

// ---------------------------------------------------------------------------
// FormCreate

TKestForm::TKestForm(const QStringList& args, QWidget* parent)
    : QMainWindow(parent),
      TextColorCode(kClWindowText),
      BackColorCode(kClWindow),
      FontSizeCode(kDefaultFontSize) {
  InitIconResources();
  InstallFontSubstitutions();
  setObjectName(QStringLiteral("KestForm"));
  setWindowTitle(QStringLiteral("Kest32"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/kest32.svg")));
  setAccessibleName(windowTitle());  // follows the caption (changeEvent)
  setAcceptDrops(true);
  clock_.start();

  model_ = new TitleListModel(this);
  CreateControls();
  CreateMenus();

  SearchKey.clear();
  HelpFile = FindHelpFile(QString::fromStdString(ProgramDir().string()));
  IniFile = std::make_unique<ProfileFile>(LocateIni(ProgramDir()));
  ReadSettings();
  ShowRecentFiles();
  LoadBookmarkMenu();
  ConnectHandlers();

  // The command line: the first argument is opened; any other argument is
  // ignored. The full path goes to the recent files, so the entry still works
  // when started from another folder. A name that does not open leaves the
  // window empty, as a start without a name would (the user can still open
  // another log), and says why once the window is up, not before it appears.
  if (!args.isEmpty()) {
    const QString first = args.first();
    if (QFileInfo(first).isFile()) {
      RunGuarded(this, [&] { OpenLog(first); });
    } else {
      QTimer::singleShot(0, this, [this, first] { RunGuarded(this, [&] { OpenLog(first); }); });
    }
  }
}

TKestForm::~TKestForm() {
  // The list must let go of the index before the index goes.
  model_->SetIndex(nullptr);
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

  auto button = [this](const char* name, int x, const QString& hint, bool checkable) {
    auto* b = new QToolButton(IconPanel);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, 4, 25, 25);
    b->setAutoRaise(true);
    b->setIcon(ButtonIcon(QString::fromLatin1(name)));
    b->setIconSize(QSize(21, 21));
    b->setCheckable(checkable);
    b->setFocusPolicy(Qt::NoFocus);  // speed buttons never take the keyboard
    b->setToolTip(hint);  // a tooltip only: the status panels keep the remark
    b->setAccessibleName(hint);
    return b;
  };
  OPFile_B = button("OPFile_B", 8, QStringLiteral("ﾌｧｲﾙを開く"), false);
  Prev_B = button("Prev_B", 48, QStringLiteral("前の発言"), false);
  Next_B = button("Next_B", 72, QStringLiteral("次の発言"), false);
  Com_B = button("Com_B", 104, QStringLiteral("コメント発言"), false);
  NSort_B = button("NSort_B", 144, QStringLiteral("発言順でソート"), true);
  RSort_B2 = button("RSort_B2", 168, QStringLiteral("内容順でソート(1)"), true);
  RSort_B = button("RSort_B", 192, QStringLiteral("内容順でソート(2)"), true);
  Numb_VB = button("Numb_VB", 232, QStringLiteral("発言番号表示"), true);
  Name_VB = button("Name_VB", 256, QStringLiteral("発言者表示"), true);
  Date_VB = button("Date_VB", 280, QStringLiteral("日付表示"), true);
  SpeedButton5 = button("SpeedButton5", 344, QStringLiteral("終了"), false);
  for (QToolButton* b : {Prev_B, Next_B, Com_B, NSort_B, RSort_B2, RSort_B, Numb_VB, Name_VB,
                         Date_VB}) {
    b->setEnabled(false);
  }
  SortGroup = new QButtonGroup(this);
  SortGroup->setObjectName(QStringLiteral("SortGroup"));
  SortGroup->setExclusive(true);
  SortGroup->addButton(NSort_B);
  SortGroup->addButton(RSort_B2);
  SortGroup->addButton(RSort_B);

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
  ResetStatusPanels();
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
  auto entry = [](QMenu* m, const char* name, const QString& text, bool enabled = true,
                  const QKeySequence& key = {}) {
    QAction* a = m->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    a->setEnabled(enabled);
    if (!key.isEmpty()) a->setShortcut(key);
    return a;
  };
  auto separator = [](QMenu* m, const char* name) {
    QAction* a = m->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };

  F1 = menu("F1", QStringLiteral("ﾌｧｲﾙ(&F)"));
  OPFile_M = entry(F1, "OPFile_M", QStringLiteral("ファイルを開く(&F)"));
  Print1 = entry(F1, "Print1", QStringLiteral("印刷(&P)"));
  separator(F1, "N1");
  PrgEnd = entry(F1, "PrgEnd", QStringLiteral("終了(&X)"));
  FileBar = separator(F1, "FileBar");
  FileBar->setVisible(false);
  F1->setToolTipsVisible(true);  // a shortened recent entry shows its whole path
  for (int i = 0; i < 5; ++i) {
    QAction* a = entry(F1, "", QString());
    a->setObjectName(QStringLiteral("Ent%1").arg(i));
    a->setVisible(false);
    Ent[static_cast<std::size_t>(i)] = a;
  }

  Edit_M = menu("Edit_M", QStringLiteral("編集(&E)"));
  Copy_M = entry(Edit_M, "Copy_M", QStringLiteral("ｺﾋﾟｰ(&C)"), true, QKeySequence(Qt::CTRL | Qt::Key_C));
  All_M = entry(Edit_M, "All_M", QStringLiteral("全選択(&A)"), true, QKeySequence(Qt::CTRL | Qt::Key_A));
  Edit_M->menuAction()->setVisible(false);

  Find_M = menu("Find_M", QStringLiteral("検索(&F)"));
  separator(Find_M, "N8");
  StrFind = entry(Find_M, "StrFind", QStringLiteral("検索(&F)..."), false, QKeySequence(Qt::CTRL | Qt::Key_F));
  NameFind = entry(Find_M, "NameFind", QStringLiteral("発言者名で検索(&N)..."), false);
  separator(Find_M, "N2");
  PrevS_M = entry(Find_M, "PrevS_M", QStringLiteral("前へ検索"), false, QKeySequence(Qt::CTRL | Qt::Key_P));
  NextS_M = entry(Find_M, "NextS_M", QStringLiteral("次へ検索"), false, QKeySequence(Qt::CTRL | Qt::Key_N));

  BookM_M = menu("BookM_M", QStringLiteral("しおり(&B)"));
  BM_Set = entry(BookM_M, "BM_Set", QStringLiteral("追加(&A)"), false);
  BMCln = entry(BookM_M, "BMCln", QStringLiteral("整理(&O)"), false);
  BkBar = separator(BookM_M, "BkBar");
  BkBar->setVisible(false);

  View_M = menu("View_M", QStringLiteral("表示(&V)"));
  NSort_M = entry(View_M, "NSort_M", QStringLiteral("発言順でｿｰﾄ"), false);
  RSort_M2 = entry(View_M, "RSort_M2", QStringLiteral("内容順でｿｰﾄ(1)"), false);
  RSort_M = entry(View_M, "RSort_M", QStringLiteral("内容順でｿｰﾄ(2)"), false);
  separator(View_M, "N3");
  Numb_VM = entry(View_M, "Numb_VM", QStringLiteral("発言番号表示"), false);
  Name_VM = entry(View_M, "Name_VM", QStringLiteral("発言者名表示"), false);
  Date_VM = entry(View_M, "Date_VM", QStringLiteral("日付表示"), false);
  separator(View_M, "N4");
  Prev_M = entry(View_M, "Prev_M", QStringLiteral("前の発言"), false, QKeySequence(Qt::CTRL | Qt::Key_Up));
  Next_M = entry(View_M, "Next_M", QStringLiteral("次の発言"), false, QKeySequence(Qt::CTRL | Qt::Key_Down));
  Com_M = entry(View_M, "Com_M", QStringLiteral("コメント発言へ"), false, QKeySequence(Qt::CTRL | Qt::Key_Right));
  separator(View_M, "K10");
  for (QAction* a : {NSort_M, RSort_M2, RSort_M, Numb_VM, Name_VM, Date_VM}) a->setCheckable(true);
  View_M->menuAction()->setVisible(false);

  K2 = menu("K2", QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
  K3 = entry(K2, "K3", QStringLiteral("フォントの変更(&F)"));
  K1 = entry(K2, "K1", QStringLiteral("表示色の変更(&C)"));

  KA2 = menu("KA2", QStringLiteral("ヘルプ(&H)"));
  Help_M = entry(KA2, "Help_M", QStringLiteral("目次(&C)"));
  KeyHelp_M = entry(KA2, "KeyHelp_M", QStringLiteral("ｷｰﾜｰﾄﾞで検索(&K)"));
  separator(KA2, "N7");
  Ver_M = entry(KA2, "Ver_M", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"));

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Prev_P = entry(PopupMenu1, "Prev_P", QStringLiteral("前の発言へ"), false);
  Next_P = entry(PopupMenu1, "Next_P", QStringLiteral("次の発言へ"), false);
  Com_P = entry(PopupMenu1, "Com_P", QStringLiteral("コメント発言へ"), false);
  separator(PopupMenu1, "N6");
  K7 = entry(PopupMenu1, "K7", QStringLiteral("ﾀｲﾄﾙﾘｽﾄ 最大化"));
  K6 = entry(PopupMenu1, "K6", QStringLiteral("発言画面 最大化"));
  K8 = entry(PopupMenu1, "K8", QStringLiteral("２分割表示"));
  separator(PopupMenu1, "N5");
  Copy_P = entry(PopupMenu1, "Copy_P", QStringLiteral("コピー"));
  All_P = entry(PopupMenu1, "All_P", QStringLiteral("全選択"));
  separator(PopupMenu1, "N9");
  BM_P = entry(PopupMenu1, "BM_P", QStringLiteral("しおりに追加"), false);
}

template <class Sender, class Signal>
void TKestForm::Wire(Sender* sender, Signal signal, void (TKestForm::*handler)()) {
  connect(sender, signal, this, [this, handler] { RunGuarded(this, [this, handler] { (this->*handler)(); }); });
}

void TKestForm::ConnectHandlers() {
  Wire(OPFile_M, &QAction::triggered, &TKestForm::OpenWithDialog);
  Wire(OPFile_B, &QToolButton::clicked, &TKestForm::OpenWithDialog);
  Wire(NSort_M, &QAction::triggered, &TKestForm::NSortClick);
  Wire(NSort_B, &QToolButton::clicked, &TKestForm::NSortClick);
  Wire(RSort_M, &QAction::triggered, &TKestForm::RSortClick);
  Wire(RSort_B, &QToolButton::clicked, &TKestForm::RSortClick);
  Wire(RSort_M2, &QAction::triggered, &TKestForm::RSort2Click);
  Wire(RSort_B2, &QToolButton::clicked, &TKestForm::RSort2Click);
  for (QAction* a : {Prev_M, Prev_P}) Wire(a, &QAction::triggered, &TKestForm::PrevClick);
  Wire(Prev_B, &QToolButton::clicked, &TKestForm::PrevClick);
  for (QAction* a : {Next_M, Next_P}) Wire(a, &QAction::triggered, &TKestForm::NextClick);
  Wire(Next_B, &QToolButton::clicked, &TKestForm::NextClick);
  for (QAction* a : {Com_M, Com_P}) Wire(a, &QAction::triggered, &TKestForm::ComClick);
  Wire(Com_B, &QToolButton::clicked, &TKestForm::ComClick);
  Wire(Numb_VM, &QAction::triggered, &TKestForm::NumbViewClick);
  Wire(Numb_VB, &QToolButton::clicked, &TKestForm::NumbViewClick);
  Wire(Name_VM, &QAction::triggered, &TKestForm::NameViewClick);
  Wire(Name_VB, &QToolButton::clicked, &TKestForm::NameViewClick);
  Wire(Date_VM, &QAction::triggered, &TKestForm::DateViewClick);
  Wire(Date_VB, &QToolButton::clicked, &TKestForm::DateViewClick);
  Wire(NextS_M, &QAction::triggered, &TKestForm::SearchNext);
  Wire(PrevS_M, &QAction::triggered, &TKestForm::SearchPrev);
  Wire(PrgEnd, &QAction::triggered, &TKestForm::PrgEndClick);
  Wire(SpeedButton5, &QToolButton::clicked, &TKestForm::SpeedButton5Click);
  Wire(Ver_M, &QAction::triggered, &TKestForm::Ver_MClick);
  Wire(Help_M, &QAction::triggered, &TKestForm::Help_MClick);
  Wire(KeyHelp_M, &QAction::triggered, &TKestForm::KeyHelp_MClick);
  Wire(Copy_M, &QAction::triggered, &TKestForm::Copy_MClick);
  Wire(All_M, &QAction::triggered, &TKestForm::All_MClick);
  Wire(Copy_P, &QAction::triggered, &TKestForm::Copy_PClick);
  Wire(All_P, &QAction::triggered, &TKestForm::All_PClick);
  for (int i = 0; i < 5; ++i) {
    connect(Ent[static_cast<std::size_t>(i)], &QAction::triggered, this,
            [this, i] { RunGuarded(this, [this, i] { EntClick(i); }); });
  }
  Wire(K6, &QAction::triggered, &TKestForm::K6Click);
  Wire(K7, &QAction::triggered, &TKestForm::K7Click);
  Wire(K8, &QAction::triggered, &TKestForm::K8Click);
  Wire(Print1, &QAction::triggered, &TKestForm::Print1Click);
  Wire(StrFind, &QAction::triggered, &TKestForm::StrFindClick);
  Wire(NameFind, &QAction::triggered, &TKestForm::NameFindClick);
  Wire(BM_Set, &QAction::triggered, &TKestForm::BM_SetClick);
  Wire(BM_P, &QAction::triggered, &TKestForm::BM_PClick);
  Wire(BMCln, &QAction::triggered, &TKestForm::BMClnClick);
  Wire(K1, &QAction::triggered, &TKestForm::K1Click);
  Wire(K3, &QAction::triggered, &TKestForm::K3Click);

  // A selection change in the list, by mouse or keyboard, shows its remark;
  // a click on the selected line again still refreshes the commands. Moves
  // of the selection made by the program itself show nothing.
  connect(ListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    if (suppressClick_ == 0) RunGuarded(this, [this] { ListBox1Click(); });
  });
  connect(ListBox1, &QAbstractItemView::clicked, this, [this] {
    if (ListBox1->PressedOnSelected()) RunGuarded(this, [this] { ListBox1Click(); });
  });
  Wire(ListBox1, &QAbstractItemView::doubleClicked, &TKestForm::ListBox1DblClick);
  Wire(Memo1, &TExMemo::doubleClicked, &TKestForm::Memo1DblClick);
  connect(Memo1, &TExMemo::contextMenuWanted, this, &TKestForm::ShowPopup);

  // LastShownLine follows the shown remark's line as folding inserts and
  // removes lines above it, and is cleared when that line itself goes. (A
  // plain line number would otherwise point at another remark, and a click
  // on the shown remark's new line, or on its old one, would do the wrong
  // thing.)
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            if (LastShownLine.v >= first) LastShownLine = LastShownLine + (last - first + 1);
          });
  connect(model_, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            if (LastShownLine.v > last) {
              LastShownLine = LastShownLine - (last - first + 1);
            } else if (LastShownLine.v >= first) {
              LastShownLine = ListLine(-1);
            }
          });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { LastShownLine = ListLine(-1); });
}

// ---------------------------------------------------------------------------
// Settings

void TKestForm::ReadSettings() {
  const ProfileFile& ini = *IniFile;
  const ViewOptions view = ReadViewOptions(ini);  // SortType, Numb, Name, Date
  SortType = view.SortType;
  ShowNumber = view.Columns.ShowNumber;
  ShowSpeaker = view.Columns.ShowSpeaker;
  ShowDate = view.Columns.ShowDate;
  OpenFolder = PathFromIni(ini.ReadString(kIniOption, "OpenFolder", ""));
  model_->SetColumns(ColumnSwitches{ShowNumber, ShowSpeaker, ShowDate});

  // At most 255 bytes of the face name are used, cut on a character boundary.
  FontNameSjis = ini.ReadString(kIniFont, "FontName", "FixedSys");
  // (The character that holds byte 256 starts where the cut goes.)
  if (FontNameSjis.size() > 255) FontNameSjis.resize(SjisStepBack(FontNameSjis, 256));
  const std::int32_t size = ini.ReadInteger(kIniFont, "FontSize", kDefaultFontSize);
  const std::int32_t textColor = ini.ReadInteger(kIniFont, "Color", kClWindowText);
  const std::int32_t backColor = ini.ReadInteger(kIniOption, "Color", kClWindow);
  const std::int32_t style = ini.ReadInteger(kIniFONT, "FontStyle", 0);
  recent_.Read(ini);
  const std::int32_t top = ini.ReadInteger(kIniOption, "Top", 40);
  const std::int32_t left = ini.ReadInteger(kIniOption, "Left", 88);
  const std::int32_t height = ini.ReadInteger(kIniOption, "Height", 507);
  const std::int32_t width = ini.ReadInteger(kIniOption, "Width", 633);

  // The pane's font: a positive size is in points; a negative one is the
  // character height in pixels, as the old font objects kept it; 0 (no size)
  // takes the default. A size no one could read is shown at the nearest one
  // that reads, and kept as it stands for the settings file.
  FontSizeCode = size;
  QFont f(FromSjis(FontNameSjis));
  const PaneFontSize shown = ShownFontSize(size);
  if (shown.pixels) {
    f.setPixelSize(shown.size);
  } else {
    f.setPointSize(shown.size);
  }
  f.setBold((style & 1) != 0);
  f.setItalic((style & 2) != 0);
  f.setUnderline((style & 4) != 0);
  f.setStrikeOut((style & 8) != 0);
  Memo1->setFont(f);
  SetPaneColors(textColor, backColor);

  // The bounds include the frame. Before the window is shown its frame is
  // not known; showEvent puts the frame's size right once it is.
  wantedBounds_ = QRect(left, top, width, height);
  move(left, top);
  resize(width, height);
}

void TKestForm::WriteSettings() {
  ProfileFile& ini = *IniFile;
  const QFont f = Memo1->font();
  const std::string fontName =
      f.family() == FromSjis(FontNameSjis) ? FontNameSjis : ToSjis(f.family());
  const std::int32_t fontSize = FontSizeCode;
  const std::int32_t style = (f.bold() ? 1 : 0) | (f.italic() ? 2 : 0) | (f.underline() ? 4 : 0) |
                             (f.strikeOut() ? 8 : 0);
  QRect bounds = frameGeometry();
  if (isMaximized() || isFullScreen() || isMinimized()) {
    // The bounds to come back to, not those of the maximised window.
    const QRect normal = normalGeometry();
    const QMargins frame(geometry().left() - frameGeometry().left(),
                         geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    bounds = normal.marginsAdded(frame);
  }

  // Every key in the order of the table. The settings object writes each key
  // atomically; when one cannot be written (the folder has gone, the disk is
  // full) the rest would fail the same way, so the first failure ends the
  // writing with one message, and the window closes all the same.
  ini.WriteInteger(kIniOption, "SortType", static_cast<int>(SortType));
  ini.WriteBool(kIniOption, "Numb", ShowNumber);
  ini.WriteBool(kIniOption, "Name", ShowSpeaker);
  ini.WriteBool(kIniOption, "Date", ShowDate);
  ini.WriteString(kIniOption, "OpenFolder", PathToIni(OpenFolder));
  ini.WriteString(kIniFont, "FontName", fontName);
  ini.WriteInteger(kIniFont, "FontSize", fontSize);
  ini.WriteInteger(kIniFont, "Color", TextColorCode);
  ini.WriteInteger(kIniOption, "Color", BackColorCode);
  ini.WriteInteger(kIniFONT, "FontStyle", style);
  recent_.Write(ini);
  ini.WriteInteger(kIniOption, "Top", bounds.top());
  ini.WriteInteger(kIniOption, "Left", bounds.left());
  ini.WriteInteger(kIniOption, "Height", bounds.height());
  ini.WriteInteger(kIniOption, "Width", bounds.width());
}

// FormCloseQuery: closing is always allowed.
void TKestForm::closeEvent(QCloseEvent* event) {
  event->accept();
  ReleaseLog();
  if (!IniFile) return;  // closed before
  RunGuarded(this, [this] { WriteSettings(); });
  IniFile.reset();
}

void TKestForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (boundsFixed_) return;
  boundsFixed_ = true;
  // Now the frame is known: make the frame, not the client area, as large as
  // the settings say, with its top left corner where they say.
  QTimer::singleShot(0, this, [this] { PlaceOnScreen(); });
}

// ---------------------------------------------------------------------------
// State helpers

ListLine TKestForm::SelectedLine() const {
  const QModelIndex i = ListBox1->selectionModel()->currentIndex();
  return ListLine(i.isValid() ? i.row() : -1);
}

void TKestForm::SelectLine(ListLine line) {
  ++suppressClick_;
  QItemSelectionModel* sel = ListBox1->selectionModel();
  if (!model_->ValidLine(line)) {
    sel->clearSelection();
    sel->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  } else {
    const QModelIndex i = model_->index(line.v);
    sel->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    ListBox1->scrollTo(i);
  }
  --suppressClick_;
}

const TLogItem* TKestForm::CurrentItem() const {
  const ListLine line = SelectedLine();
  return line.v < 0 ? nullptr : model_->ItemOf(line);
}

std::optional<RemarkNo> TKestForm::PanelNumber() const {
  bool ok = false;
  const int n = Panels[0]->text().toInt(&ok);
  if (!ok) return std::nullopt;
  return RemarkNo(n);
}

QString TKestForm::RecentFile(int i) const {
  return QString::fromStdString(recent_.At(static_cast<std::size_t>(i)));
}

void TKestForm::SetPaneColors(std::int32_t textCode, std::int32_t backCode) {
  TextColorCode = textCode;
  BackColorCode = backCode;
  Memo1->SetTextColor(ColorFromCode(textCode));
  Memo1->SetBackgroundColor(ColorFromCode(backCode));
}

void TKestForm::SetPaneFont(const QFont& font) {
  Memo1->setFont(font);
  FontSizeCode = font.pointSize() > 0 ? font.pointSize() : -font.pixelSize();
}

TColorDlg& TKestForm::ColorDialog() {
  if (!colorDlg_) colorDlg_ = new TColorDlg(this);
  return *colorDlg_;
}

QPrinter& TKestForm::Printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}

void TKestForm::ResetStatusPanels() {
  Panels[0]->setText(QString());
  Panels[1]->setText(QStringLiteral("ID:"));
  Panels[2]->setText(QStringLiteral("発言者:"));
  Panels[3]->setText(QStringLiteral("ﾀｲﾄﾙ:"));
}

void TKestForm::ReleaseLog() {
  model_->SetIndex(nullptr);
  log_.reset();
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
  const std::filesystem::path path = FsPath(fileName);
  std::error_code ec;
  if (!fileName.isEmpty() && std::filesystem::is_directory(path, ec)) {
    Ui().Info(this, QStringLiteral("フォルダはログファイルとして開けません: ") + fileName);
    return false;
  }
  // Only a plain file is a log: a device or a pipe is "not found".
  if (fileName.isEmpty() || !std::filesystem::is_regular_file(path, ec)) {
    Ui().Info(this, QStringLiteral("ファイルが見つかりません"));
    return false;
  }
  {
    // A file that exists but cannot be read is refused the same way, before
    // the shown log is let go.
    try {
      LineReader probe(path, 16);
    } catch (const LogFileError& e) {
      Ui().Error(this, QString::fromUtf8(e.what()));
      return false;
    }
  }
  std::optional<NativeLog> native = OpenNativeForWindow(this, PBar1, path);
  if (!native) return false;
  {
    WaitCursor wait;
    native_ = std::move(*native);
    ShowConversion(ConvertedPanel, native_);
    LogFileName = QFileInfo(fileName).absoluteFilePath();
    const int slash = LogFileName.lastIndexOf(QLatin1Char('/'));
    OpenFolder = LogFileName.left(slash + 1);
    if (LogLoaded) ReleaseLog();
    LogLoaded = true;
    SpeakerListStale = true;
    log_ = std::make_unique<TLogCtrl>();
    model_->SetIndex(log_.get());
    try {
      ShowLog();
    } catch (...) {
      // The file failed half-way through the scan: show no log rather than
      // half of one, and let the generic handler tell why.
      model_->SetIndex(nullptr);
      log_ = std::make_unique<TLogCtrl>();
      model_->SetIndex(log_.get());
      setWindowTitle(QStringLiteral("Kest32"));
      Memo1->Clear();
      Memo1->show();
      ResetStatusPanels();
      UpdateCommands();
      UpdateViewButtons();
      throw;
    }
    UpdateCommands();
    UpdateViewButtons();
  }
  Ui().Beep();
  TellAfterLoad(this, native_, *log_);
  return true;
}

std::filesystem::path TKestForm::LogReadPath() const {
  return native_.Converted() ? native_.ReadPath() : FsPath(LogFileName);
}

void TKestForm::ShowLog() {
  std::string title;
  {
    PBar1->setValue(0);
    PBar1->show();
    struct HideBar {
      QProgressBar* bar;
      ~HideBar() {
        bar->setValue(0);
        bar->hide();
      }
    } hideBar{PBar1};
    title = ScanLog(LogReadPath(), *log_, BarProgress(PBar1));
  }
  setWindowTitle(QStringLiteral("Kest32-") + FromSjis(title));
  BuildList();

  // An empty log (no remark at all) loads with an empty list and an empty
  // pane; there is no remark 0 to show.
  const bool hadFocus = Memo1->hasFocus();
  Memo1->hide();
  Memo1->Clear();
  {
    ShowAgain show(Memo1);
    bool read = false;
    if (log_->Count() > 0) {
      read = ShowRemark(IndexPos(0));
    } else {
      ResetStatusPanels();
    }
    const bool hasLines = model_->LineCount() > 0;
    LastShownLine = ListLine(read && hasLines ? 0 : -1);
    SelectLine(ListLine(hasLines ? 0 : -1));
    Memo1->BringToBeginning();
  }
  if (hadFocus) Memo1->setFocus();
}

void TKestForm::BuildList() {
  ++suppressClick_;
  model_->SetColumns(ColumnSwitches{ShowNumber, ShowSpeaker, ShowDate});
  model_->Build(SortType);
  --suppressClick_;
}

bool TKestForm::ShowRemark(IndexPos i) {
  const TLogData& r = log_->GetItem(i);
  Panels[0]->setText(QString::number(r.Number.v));
  Panels[1]->setText(QStringLiteral("ID: ") + FromSjis(r.ID()));
  Panels[2]->setText(QStringLiteral("発言者: ") + FromSjis(r.Speaker()));
  Panels[3]->setText(QStringLiteral("ﾀｲﾄﾙ: ") + FromSjis(r.Title()));
  return ReadIntoPane(i);
}

bool TKestForm::ReadIntoPane(IndexPos i) {
  // The file is read anew for every remark. When it has gone, cannot be read
  // or has become shorter since the scan, the message says so; the pane
  // shows what could be read (nothing, for a file that is gone).
  try {
    const std::filesystem::path path = LogReadPath();
    RemarkText text = LoadRemarkText(path, *log_, i);
    Memo1->SetLines(text.lines);
    if (text.truncated) {
      Ui().Error(this, QString::fromUtf8(TruncatedMessage(path)));
      return false;
    }
    return true;
  } catch (const LogFileError& e) {
    Ui().Error(this, QString::fromUtf8(e.what()));
    return false;
  }
}

void TKestForm::DisplayLine(ListLine line) {
  const bool hadFocus = Memo1->hasFocus();
  Memo1->hide();
  Memo1->Clear();
  {
    ShowAgain show(Memo1);
    LastShownLine = ListLine(-1);
    if (model_->ValidLine(line)) {
      // A remark whose text could not be read is not counted as shown, so a
      // click on its line, the same one included, reads it again.
      if (ShowRemark(model_->PositionOf(line))) LastShownLine = line;
    }
    Memo1->BringToBeginning();
  }
  if (hadFocus) Memo1->setFocus();
}

// ---------------------------------------------------------------------------
// Title list

void TKestForm::ListBox1Click() {
  const ListLine line = SelectedLine();
  if (line == LastShownLine || line.v < 0) {
    UpdateCommands();
    return;
  }
  {
    WaitCursor wait;
    DisplayLine(line);
  }
  UpdateCommands();
}

void TKestForm::ShowSelectedRemark() {
  {
    WaitCursor wait;
    DisplayLine(SelectedLine());
  }
  UpdateCommands();
}

void TKestForm::UpdateCommands() {
  if (LogLoaded) {
    for (QAction* a : {NSort_M, RSort_M, RSort_M2, StrFind, NameFind, BM_Set, BM_P}) a->setEnabled(true);
    for (QToolButton* b : {NSort_B, RSort_B, RSort_B2}) b->setEnabled(true);
    Edit_M->menuAction()->setVisible(true);
    View_M->menuAction()->setVisible(true);
  }
  MarkOrder();

  // With no line selected neither way leads anywhere.
  const ListLine line = SelectedLine();
  const bool prev = line.v > 0;
  const bool next = line.v >= 0 && line.v < model_->LineCount() - 1;
  for (QAction* a : {Prev_M, Prev_P}) a->setEnabled(prev);
  Prev_B->setEnabled(prev);
  for (QAction* a : {Next_M, Next_P}) a->setEnabled(next);
  Next_B->setEnabled(next);

  bool com = false;
  const TLogItem* item = CurrentItem();
  if (SortType == SortOrder::ContentFolded && item && log_) {
    const IndexPos p = item->Index;
    com = p.v < log_->Count() - 1 && log_->GetLevel(p + 1) == log_->GetLevel(p) + 1;
  }
  for (QAction* a : {Com_M, Com_P}) a->setEnabled(com);
  Com_B->setEnabled(com);
}

void TKestForm::MarkOrder() {
  NSort_M->setChecked(SortType == SortOrder::Remark);
  RSort_M->setChecked(SortType == SortOrder::ContentFolded);
  RSort_M2->setChecked(SortType == SortOrder::ContentFull);
  // An exclusive group cannot be left with no button down; an order value
  // the settings file made up presses none.
  SortGroup->setExclusive(false);
  NSort_B->setChecked(SortType == SortOrder::Remark);
  RSort_B->setChecked(SortType == SortOrder::ContentFolded);
  RSort_B2->setChecked(SortType == SortOrder::ContentFull);
  SortGroup->setExclusive(true);
}

void TKestForm::UpdateViewButtons() {
  if (LogLoaded) {
    for (QAction* a : {Numb_VM, Name_VM, Date_VM}) a->setEnabled(true);
    for (QToolButton* b : {Numb_VB, Name_VB, Date_VB}) b->setEnabled(true);
  }
  Numb_VB->setChecked(ShowNumber);
  Numb_VM->setChecked(ShowNumber);
  Name_VB->setChecked(ShowSpeaker);
  Name_VM->setChecked(ShowSpeaker);
  Date_VB->setChecked(ShowDate);
  Date_VM->setChecked(ShowDate);
  PrevS_M->setEnabled(Searched);
  NextS_M->setEnabled(Searched);
}

void TKestForm::ToggleColumn(bool& flag, QToolButton* button) {
  WaitCursor wait;
  flag = !flag;
  button->setChecked(flag);
  RebuildTitles();
  UpdateViewButtons();
}

void TKestForm::NumbViewClick() { ToggleColumn(ShowNumber, Numb_VB); }
void TKestForm::NameViewClick() { ToggleColumn(ShowSpeaker, Name_VB); }
void TKestForm::DateViewClick() { ToggleColumn(ShowDate, Date_VB); }

void TKestForm::RebuildTitles() {
  // The lines are built when they are drawn, so rewriting them is telling the
  // view that every line has changed; the progress bar has nothing to count.
  PBar1->setValue(0);
  PBar1->show();
  const ListLine s = SelectedLine();
  model_->SetColumns(ColumnSwitches{ShowNumber, ShowSpeaker, ShowDate});
  PBar1->setValue(0);
  PBar1->hide();
  // The pane shows line s's remark afterwards, so LastShownLine is s.
  DisplayLine(s);
  SelectLine(s);
  UpdateViewButtons();
}

void TKestForm::ListBox1DblClick() {
  if (SortType == SortOrder::Remark || SortType == SortOrder::ContentFull) {
    MaximizeText();
  } else if (SortType == SortOrder::ContentFolded) {
    ToggleFold();
  }
}

void TKestForm::ToggleFold() {
  const ListLine line = SelectedLine();
  if (model_->Order() != SortOrder::ContentFolded || line.v < 0) return;
  ++suppressClick_;
  const bool changed = model_->ToggleFold(line);
  --suppressClick_;
  if (!changed) return;  // the last remark: nothing at all happens
  SelectLine(line);
  UpdateCommands();
}

void TKestForm::SelectRemarkByNumber(RemarkNo number) {
  WaitCursor wait;
  if (SortType == SortOrder::Remark || SortType == SortOrder::ContentFull) {
    const ListLine line = model_->FindLine(number);
    if (line.v < 0) return;
    SelectLine(line);
    ShowSelectedRemark();
  } else if (SortType == SortOrder::ContentFolded && log_) {
    const ChainList chain = log_->CommentChain(number);
    for (std::size_t k = chain.size(); k-- > 0;) {
      const ListLine line = model_->FindLine(chain[k]);
      if (line.v < 0) continue;  // passed over
      SelectLine(line);
      if (k == 0) {
        ShowSelectedRemark();
        SpeakerDirection = 0;
        return;
      }
      const TLogItem* item = model_->ItemOf(line);
      if (item && !item->Expanded) ToggleFold();
    }
  }
}

// ---------------------------------------------------------------------------
// Recent files

void TKestForm::PushRecentFile(const QString& name) {
  if (recent_.Push(name.toStdString())) ShowRecentFiles();
}

void TKestForm::ShowRecentFiles() {
  for (int i = 0; i < 5; ++i) {
    QAction* a = Ent[static_cast<std::size_t>(i)];
    const QString name = RecentFile(i);
    QString caption = QString::fromStdString(ElideMiddle(name.toStdString(), kRecentCaptionColumns));
    a->setText(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));  // no mnemonic
    a->setToolTip(name);
    a->setStatusTip(QString());
    if (!name.isEmpty()) a->setVisible(true);
  }
  FileBar->setVisible(Ent[0]->isVisible());
}

void TKestForm::EntClick(int entry) { OpenLog(RecentFile(entry)); }

void TKestForm::OpenWithDialog() {
  const std::optional<QString> name =
      Ui().OpenFileName(this, OpenFolder, QStringLiteral("*.LOG"),
                        {QStringLiteral("ﾛｸﾞﾌｧｲﾙ(*.log)"), QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)"),
                         QStringLiteral("全てのﾌｧｲﾙ(*.*)")});
  if (name) OpenLog(*name);
}

// ---------------------------------------------------------------------------
// Navigation and orders

void TKestForm::PrevClick() {
  const ListLine line = SelectedLine();
  if (line.v <= 0) return;
  SelectLine(line - 1);
  ListBox1Click();
  Memo1->setFocus();
}

void TKestForm::NextClick() {
  const ListLine line = SelectedLine();
  if (line.v < 0 || line.v >= model_->LineCount() - 1) return;
  SelectLine(line + 1);
  ListBox1Click();
  Memo1->setFocus();
}

void TKestForm::ComClick() {
  const TLogItem* item = CurrentItem();
  if (item && !item->Expanded) ToggleFold();
  NextClick();
  UpdateCommands();
}

void TKestForm::NSortClick() { SortCommand(SortOrder::Remark); }
void TKestForm::RSortClick() { SortCommand(SortOrder::ContentFolded); }
void TKestForm::RSort2Click() { SortCommand(SortOrder::ContentFull); }

void TKestForm::SortCommand(SortOrder target) {
  if (SortType == target) {
    MarkOrder();  // a click on the active order's menu entry must not uncheck it
    return;
  }
  const std::optional<RemarkNo> shown = PanelNumber();
  SortType = target;
  {
    WaitCursor wait;
    BuildList();
    Memo1->hide();
    Memo1->Clear();
    {
      ShowAgain show(Memo1);
      if (shown) SelectRemarkByNumber(*shown);
    }
    UpdateCommands();
  }
  Ui().Beep();
}

// ---------------------------------------------------------------------------
// Pane layout

void TKestForm::K6Click() { MaximizeText(); }
void TKestForm::K7Click() { MaximizeList(); }
void TKestForm::K8Click() { SplitEven(); }
void TKestForm::Memo1DblClick() { MaximizeList(); }

// ---------------------------------------------------------------------------
// Other commands

void TKestForm::PrgEndClick() { close(); }
void TKestForm::SpeedButton5Click() { close(); }

void TKestForm::Copy_MClick() {
  Memo1->setFocus();
  Memo1->copy();
}
void TKestForm::All_MClick() {
  Memo1->setFocus();
  Memo1->selectAll();
}
void TKestForm::Copy_PClick() { Copy_MClick(); }
void TKestForm::All_PClick() { All_MClick(); }

void TKestForm::Ver_MClick() {
  TAboutBox box(this);
  box.exec();
}

void TKestForm::Help_MClick() { ShowHelp(HelpPage::Contents); }
void TKestForm::KeyHelp_MClick() { ShowHelp(HelpPage::Index); }

void TKestForm::Print1Click() {
  if (Ui().ChoosePrinter(this, Printer())) {
    PrintLines(Printer(), {Panels[0]->text(), Panels[1]->text(), Panels[2]->text(), Panels[3]->text()},
               Memo1->DisplayLines());
  }
}
void TKestForm::StrFindClick() { OpenFindDialog(); }
void TKestForm::NameFindClick() { RunSpeakerDialog(); }
void TKestForm::SearchNext() { SearchKind == 1 ? TextSearchForward() : SpeakerSearchForward(); }
void TKestForm::SearchPrev() { SearchKind == 1 ? TextSearchBackward() : SpeakerSearchBackward(); }
void TKestForm::BM_SetClick() { AddBookmark(*this); }
void TKestForm::BM_PClick() { BM_SetClick(); }
void TKestForm::BMClnClick() { OrganizeBookmarks(*this); }
void TKestForm::BookmarkItemClick(QAction* entry) { JumpToBookmark(*this, *entry); }
void TKestForm::K1Click() {
  TColorDlg& dlg = ColorDialog();
  if (!dlg.Execute(TextColorCode, BackColorCode, Memo1->font())) return;
  if (dlg.FontChosen()) SetPaneFont(dlg.PreviewFont());
  SetPaneColors(dlg.PreviewTextColor(), dlg.PreviewBackColor());
}

// The font dialog carries no colour: the pane's text colour stays.
void TKestForm::K3Click() {
  if (const auto chosen = Ui().ChooseFont(this, Memo1->font())) SetPaneFont(*chosen);
}
void TKestForm::LoadBookmarkMenu() { BuildBookmarkMenu(*this); }

}  // namespace kest

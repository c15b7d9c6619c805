// The main window as its tests drive it: a settings file of its own in a
// temporary folder, every box recorded instead of shown, and the controls
// reached by their object names, as a user or a screen reader finds them.
// What the window keeps of the open log is read from its session.
#pragma once

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "app/MainWindow.h"
#include "core/LogFixture.h"
#include "platform/Interaction.h"
#include "ui/ExMemo.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"
#include "ui/TitleListView.h"

namespace kest {

// The one way into the window's private parts that its tests have: the
// state of the pane layout and of the help and colour dialogs, which no
// control shows as a value.
struct FormProbe {
  static int ListHeight(const TKestForm& f) { return f.ListHeight; }
  static void SetHelpFile(TKestForm& f, const QString& file) { f.HelpFile = file; }
  static HelpViewer* Help(const TKestForm& f) { return f.help_; }
  static TColorDlg& ColorDialog(TKestForm& f) { return f.ColorDialog(); }
  static void SetPaneColors(TKestForm& f, std::int32_t text, std::int32_t back) {
    f.SetPaneColors(text, back);
  }
  static void PushRecentFile(TKestForm& f, const QString& name) { f.PushRecentFile(name.toStdString()); }
};

namespace test {

// A control of the window by its object name; the test fails when there is
// none.
template <class T>
T* Control(const QObject& f, const char* name) {
  T* c = f.findChild<T*>(QString::fromLatin1(name));
  if (!c) qFatal("no control %s", name);
  return c;
}

inline TExMemo* Memo(const TKestForm& f) { return Control<TExMemo>(f, "Memo1"); }
inline TitleListView* List(const TKestForm& f) { return Control<TitleListView>(f, "ListBox1"); }
inline QAbstractListModel* Model(const TKestForm& f) {
  return qobject_cast<QAbstractListModel*>(List(f)->model());
}
inline QAction* Action(const TKestForm& f, const char* name) { return Control<QAction>(f, name); }
inline QToolButton* Button(const TKestForm& f, const char* name) { return Control<QToolButton>(f, name); }
inline QMenu* MenuOf(const TKestForm& f, const char* name) { return Control<QMenu>(f, name); }
inline QWidget* Widget(const TKestForm& f, const char* name) { return Control<QWidget>(f, name); }
inline QLabel* Panel(const TKestForm& f, int i) {
  return Control<QLabel>(f, QStringLiteral("Panel%1").arg(i).toLatin1().constData());
}
inline QString PanelText(const TKestForm& f, int i) { return Panel(f, i)->text(); }
inline QAction* Ent(const TKestForm& f, int i) {
  return Action(f, QStringLiteral("Ent%1").arg(i).toLatin1().constData());
}

// The text of line i of the title list as the list shows it.
inline QString Line(const TKestForm& f, int i) { return Model(f)->data(Model(f)->index(i)).toString(); }
inline std::string Pane(const TKestForm& f) { return Memo(f)->Text(); }
// The number of the remark the status bar names; -1 when none.
inline int Shown(TKestForm& f) {
  const auto& h = f.Session().Shown().header;
  return h ? h->Number.v : -1;
}
inline ListLine Selected(TKestForm& f) { return f.Session().Selected(); }

inline bool Enabled(const TKestForm& f, const char* name) {
  if (auto* a = f.findChild<QAction*>(QString::fromLatin1(name))) return a->isEnabled();
  auto* b = f.findChild<QToolButton*>(QString::fromLatin1(name));
  return b && b->isEnabled();
}
inline bool Checked(const TKestForm& f, const char* name) {
  if (auto* a = f.findChild<QAction*>(QString::fromLatin1(name))) return a->isChecked();
  auto* b = f.findChild<QToolButton*>(QString::fromLatin1(name));
  return b && b->isChecked();
}
// Runs a command as its menu entry does (nothing when it is disabled).
inline void Trigger(const TKestForm& f, const char* name) { Action(f, name)->trigger(); }

// Clicks a line of the title list with the mouse.
inline void Click(TKestForm& f, int line) {
  TitleListView* list = List(f);
  const QModelIndex i = Model(f)->index(line);
  list->scrollTo(i);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(i).center());
}
// Clicks the selected line again.
inline void ClickSelected(TKestForm& f) { Click(f, Selected(f).v); }
// Selects a line as the user does: its remark is shown unless it is shown
// already (a line selected already is clicked again).
inline void SelectLine(TKestForm& f, int line) {
  if (Selected(f).v == line) {
    ClickSelected(f);
    return;
  }
  List(f)->selectionModel()->setCurrentIndex(Model(f)->index(line), QItemSelectionModel::ClearAndSelect);
}
inline void SelectLine(TKestForm& f, ListLine line) { SelectLine(f, line.v); }
inline QString RecentName(TKestForm& f, int i) {
  return QString::fromStdString(f.Session().RecentFile(static_cast<std::size_t>(i)));
}
inline void DoubleClick(TKestForm& f, int line) {
  TitleListView* list = List(f);
  const QModelIndex i = Model(f)->index(line);
  list->scrollTo(i);
  const QPoint at = list->visualRect(i).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}
// Runs an operation of the session as a command does, the window brought in
// line afterwards.
template <class F>
void Do(TKestForm& f, F op) {
  f.RunCommand([&] { op(f.Session()); });
}

inline void Key(QWidget* w, int key, Qt::KeyboardModifiers m = Qt::NoModifier) {
  QTest::keyClick(w, static_cast<Qt::Key>(key), m);
}
inline void Keypad(QWidget* w, int key) { Key(w, key, Qt::KeypadModifier); }

inline QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }
// A message about a file: it begins with what happened and names the file.
inline bool Tells(const QString& box, const QString& what, const std::filesystem::path& file) {
  return box.startsWith(what) && box.contains(QString::fromStdString(file.filename().string()));
}
inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The base of a window test class: a fresh folder, a recording interaction
// and a settings file of their own for each test. The test class calls
// InitForm from its init() and checks CleanupForm from its cleanup().
template <class Fake = RecordingUi>
class FormTest : public QObject {
 protected:
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<Fake> ui_;
  std::filesystem::path ini_;

  void InitForm() {
    dir_ = std::make_unique<TempDir>();
    ui_ = std::make_unique<Fake>();
    SetUi(ui_.get());
    UseIni(dir_->Path() / "Kest.INI");
  }
  // True when every hourglass came back; the interaction and the settings
  // file go either way.
  bool CleanupForm() {
    const bool waitsBalanced = ui_->waitDepth == 0;
    SetUi(nullptr);
    qunsetenv("KEST_INI");
    dir_.reset();
    return waitsBalanced;
  }
  void UseIni(const std::filesystem::path& p) {
    ini_ = p;
    qputenv("KEST_INI", QByteArray::fromStdString(p.string()));
  }
  void WriteIni(const std::string& bytes) { std::ofstream(ini_, std::ios::binary) << bytes; }
  std::string Ini() const { return ReadFile(ini_); }

  // The window with its features, shown and exposed.
  std::unique_ptr<TKestForm> MakeForm(const QStringList& args = {}) {
    std::unique_ptr<TKestForm> form = CreateMainWindow(args);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) qWarning("window not exposed");
    QApplication::processEvents();
    return form;
  }
};

}  // namespace test
}  // namespace kest

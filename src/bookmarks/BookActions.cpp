#include "bookmarks/BookActions.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include "bookmarks/BookNames.h"
#include "bookmarks/BookStore.h"
#include "bookmarks/BookUnit.h"
#include "bookmarks/MenuTree.h"
#include "bookmarks/TreeBook.h"
#include "platform/Codec.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "ui/Interaction.h"
#include "ui/Kest2.h"

namespace kest {

QString BookNameToDisplay(std::string_view sjis) { return QString::fromUtf8(SjisToUtf8(sjis)); }

std::optional<std::string> BookNameFromDisplay(QWidget* parent, const QString& name) {
  bool ok = true;
  std::string sjis = Utf8ToSjis(name.toStdString(), &ok);
  if (!ok || BookNameToDisplay(sjis) != name) {
    Ui().Info(parent, QStringLiteral("名前に使えない文字が含まれています"));
    return std::nullopt;
  }
  return TrimName(sjis);
}

QString NotAKeyMessage() {
  return QStringLiteral("この名前は使えません\n"
                        "（「=」と改行は使えず、「[」や「;」で始めることもできません）");
}

QString BookPathToDisplay(std::string_view stored) {
  return QString::fromUtf8(PathFromProfile(stored));
}

namespace {

QString MenuCaption(const std::string& sjis) {
  return BookNameToDisplay(sjis).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void AddItems(TKestForm& form, QMenu* menu, const std::vector<BookMenuItem>& items) {
  for (const BookMenuItem& item : items) {
    if (item.isGroup) {
      QMenu* sub = menu->addMenu(MenuCaption(item.caption));
      sub->setToolTipsVisible(true);
      sub->menuAction()->setProperty("GroupId", QString::fromStdString(item.groupId));
      AddItems(form, sub, item.children);
    } else {
      QAction* entry = menu->addAction(MenuCaption(item.caption));
      const QString path = BookPathToDisplay(item.storedPath);
      entry->setData(path);
      entry->setToolTip(path);
      entry->setStatusTip(path);
      entry->setProperty("Tag", item.number);
      QObject::connect(entry, &QAction::triggered, &form, [&form, entry] {
        RunGuarded(&form, [&] { form.BookmarkItemClick(entry); });
      });
    }
  }
}

// The proposed name: the speaker and the title of the status bar, trimmed,
// with one blank between.
QString ProposedName(const TKestForm& form) {
  auto field = [](const QString& text, const QString& prefix) {
    QString s = text.startsWith(prefix) ? text.mid(prefix.size()) : text;
    return s.trimmed();
  };
  return field(form.Panels[2]->text(), QStringLiteral("発言者: ")) + QLatin1Char(' ') +
         field(form.Panels[3]->text(), QStringLiteral("ﾀｲﾄﾙ: "));
}

}  // namespace

void BuildBookmarkMenu(TKestForm& form) {
  QMenu* menu = form.BookM_M;
  const QList<QAction*> entries = menu->actions();
  for (qsizetype i = 3; i < entries.size(); ++i) {
    menu->removeAction(entries[i]);
    if (QMenu* sub = entries[i]->menu()) {
      sub->deleteLater();
    } else {
      entries[i]->deleteLater();
    }
  }
  menu->setToolTipsVisible(true);
  const BookMenuTree tree = BuildBookMenuTree(ReadBookSections(*form.IniFile));
  form.BkBar->setVisible(tree.anyKey);
  form.BMCln->setEnabled(tree.anyKey);
  AddItems(form, menu, tree.top);
}

void AddBookmark(TKestForm& form) {
  const std::optional<RemarkNo> number = form.PanelNumber();
  if (!number) return;  // no remark shown
  if (!form.BookDlg) form.BookDlg = new TBookDlg(&form);
  std::optional<std::string> name;
  // A name the file cannot hold is asked for again, with what was typed, so
  // that it can be mended (a speaker such as "[Admin]" starts the proposal).
  for (QString proposal = ProposedName(form);;) {
    const std::optional<QString> answer = form.BookDlg->ShowForRemark(proposal);
    if (!answer) return;
    name = BookNameFromDisplay(&form, *answer);
    const auto problem = name ? KeyProblem(*name) : std::nullopt;
    if (name && !problem) break;
    if (problem == NameProblem::kEmpty) {
      Ui().Info(&form, QStringLiteral("名前を指定して下さい"));
      return;
    }
    if (problem) Ui().Info(&form, NotAKeyMessage());
    proposal = *answer;
  }
  // Names are keys: unique over every group and every bookmark, in any group.
  if (NameTaken(*name, UsedNames(ReadBookSections(*form.IniFile)))) {
    Ui().Info(&form, QStringLiteral("名前が重複しています"));
    return;
  }
  form.IniFile->WriteString(
      kBookMarkSection, *name,
      AddedBookMarkValue(number->v, PathToProfile(form.LogFileName.toStdString())));
  BuildBookmarkMenu(form);
}

void JumpToBookmark(TKestForm& form, const QAction& entry) {
  const QString path = entry.data().toString();
  const int number = entry.property("Tag").toInt();
  if (path != form.LogFileName) {
    if (!form.LoadLog(path)) return;  // it has said why; the shown log stays
    form.PushRecentFile(form.LogFileName);
  }
  if (!form.LogLoaded) return;
  form.SelectRemarkByNumber(RemarkNo(number));
}

void OrganizeBookmarks(TKestForm& form) {
  if (!form.TBook) form.TBook = new TTBook(&form);
  form.TBook->Open(*form.IniFile);
  BuildBookmarkMenu(form);  // after OK or Cancel alike
}

}  // namespace kest

#include "ui/KestHost.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace kest {

QAction* AddEntry(QMenu& menu, QObject* owner, const char* name, const QString& text,
                  const QKeySequence& key) {
  auto* a = new QAction(text, owner);
  a->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) a->setShortcut(key);
  menu.addAction(a);
  return a;
}

QAction* AddEntry(QMenu& menu, QObject* owner, const char* name, const QString& text) {
  return AddEntry(menu, owner, name, text, QKeySequence());
}

QAction* AddSeparator(QMenu& menu, const char* name) {
  QAction* a = menu.addSeparator();
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

}  // namespace kest

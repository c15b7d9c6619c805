#include "ui/FileMessages.h"

#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "session/LogSession.h"
#include "settings/RecentFiles.h"

namespace kest {

namespace {
constexpr int kPathColumns = 60;
}

QString ShownPath(const QString& path) {
  return QString::fromStdString(ElideMiddle(path.toStdString(), kPathColumns));
}

QString NoticeText(const Notice& notice) {
  QString text = QString::fromStdString(notice.text);
  if (!notice.path.empty()) text += QStringLiteral("\n") + ShownPath(QString::fromStdString(notice.path));
  if (!notice.advice.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(notice.advice);
  return text;
}

void ShowNotice(QWidget* parent, const Notice& notice) {
  Ui().Tell(parent, notice.kind == Notice::Kind::Error ? Interaction::Box::Error : Interaction::Box::Info,
            NoticeText(notice), QString::fromStdString(notice.path));
}

QString NotSavedText(const ProfileWriteError& e, const QString& lost) {
  return lost + QStringLiteral("は保存されませんでした。\n") + QString::fromStdString(e.Reason()) +
         QStringLiteral("\n") + ShownPath(QString::fromStdString(e.path().string())) +
         QStringLiteral(" に書き込めません");
}

void ShowNotSaved(QWidget* parent, const ProfileWriteError& e, const QString& lost) {
  Ui().Tell(parent, Interaction::Box::Error, NotSavedText(e, lost), QString::fromStdString(e.path().string()));
}

}  // namespace kest

#include "ui/ConvertedLog.h"

#include <QLabel>
#include <QProgressBar>
#include <QStringList>
#include <QTimer>

#include <QCoreApplication>

#include "archive/MemberCopy.h"
#include "log/Logunit1.h"
#include "ui/BarProgress.h"
#include "platform/Interaction.h"
#include "session/LogSession.h"
#include "ui/FileMessages.h"

namespace kest {

std::optional<NativeLog> OpenNativeForWindow(QWidget* parent, QProgressBar* bar, const LogLocation& where) {
  WaitCursor wait;
  struct HideBar {
    QProgressBar* bar;
    ~HideBar() {
      bar->setValue(0);
      bar->hide();
    }
  } hideBar{bar};
  NativeCopyOptions options;
  // An extraction or a conversion can take a while: the window is painted
  // whenever the bar is (user input waits until it is done).
  options.progress = [progress = BarProgress(bar)](int percent) mutable {
    if (progress(percent)) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  try {
    return OpenLocation(where, options);
  } catch (const LogFileError& e) {
    ShowNotice(parent, NoticeOf(e));
    return std::nullopt;
  }
}

QLabel* CreateConversionLabel(QWidget* iconPanel) {
  auto* label = new QLabel(iconPanel);
  label->setObjectName(QStringLiteral("ConvertedPanel"));
  label->setAccessibleName(QStringLiteral("変換の表示"));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(384, 7, 240, 19);
  label->hide();
  return label;
}

void ShowConversion(QLabel* label, const NativeLog& log) {
  const QString text = QString::fromUtf8(ConversionNotice(log));
  label->setText(text);
  label->setAccessibleDescription(text);
  if (text.isEmpty()) {
    label->setToolTip(QString());
    label->hide();
    return;
  }
  QString tip =
      log.Member().empty()
          ? QStringLiteral("Shift-JIS・CR LF に変換したコピーを表示しています（元のファイルは変更しません）\n"
                           "元のファイル: %1\nコピー: %2")
                .arg(QString::fromStdString(log.Original().string()),
                     QString::fromStdString(log.ReadPath().string()))
          : QStringLiteral("書庫から取り出したコピーを表示しています（書庫は変更しません）\n"
                           "書庫: %1\nメンバー: %2\nコピー: %3")
                .arg(QString::fromStdString(log.Original().string()), QString::fromStdString(log.Member()),
                     QString::fromStdString(log.ReadPath().string()));
  if (log.Temporary()) tip += QStringLiteral("\n（キャッシュフォルダに書き込めないため一時ファイル）");
  const std::string replaced = ReplacedMessage(log.Counts());
  if (!replaced.empty()) tip += QStringLiteral("\n") + QString::fromUtf8(replaced);
  label->setToolTip(tip);
  label->show();
}

void TellAfterLoad(QWidget* parent, const NativeLog& log, const TLogCtrl& index) {
  QStringList messages;
  if (log.Fresh()) {
    const std::string replaced = ReplacedMessage(log.Counts());
    if (!replaced.empty()) messages << QString::fromUtf8(replaced);
  }
  // An empty file holds no remark either, and is told so the same way.
  if (index.Count() == 0) {
    messages << QStringLiteral("このファイルには発言が一つもありません。ログファイルではないようです。\n") +
                    ShownPath(QString::fromStdString(log.Original().string()));
  }
  if (messages.isEmpty()) return;
  auto tell = [parent, messages] {
    for (const QString& m : messages) Ui().Info(parent, m);
  };
  // A log named on the command line loads before the window is shown: the
  // box waits for the window, rather than standing alone on the screen.
  if (parent->isVisible()) {
    tell();
  } else {
    QTimer::singleShot(0, parent, tell);
  }
}

}  // namespace kest

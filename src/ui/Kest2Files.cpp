// TKestForm: a log that changed on disk behind its index, read again on the
// user's word; and the settings written when the window closes or the
// desktop session ends.
#include <cstdio>
#include <exception>

#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "ui/FileMessages.h"
#include "ui/Kest2.h"

namespace kest {

void TKestForm::OfferReload(const Notice& notice) {
  // While the question is open, further reads of the same log say nothing
  // more: the answer covers them.
  if (offeringReload_) return;
  offeringReload_ = true;
  const int answer = Ui().Ask(this, NoticeText(notice), QString::fromStdString(notice.path),
                              {QStringLiteral("読み直す"), QStringLiteral("読み直さない")});
  offeringReload_ = false;
  if (answer != 0 || session_.LogFileName().empty()) return;
  const std::optional<RemarkNo> number = session_.ReloadNumber();
  // A log that cannot be read any more says why; the window then shows no log.
  if (!LoadLog(QString::fromStdString(session_.LogFileName()))) return;
  if (number) {
    WaitCursor wait;
    session_.SelectRemarkByNumber(*number);
  }
  Refresh();
}

bool TKestForm::SaveSettings(bool quiet) {
  if (!IniFile) return true;
  auto tell = [&](const QString& text, const QString& details) {
    if (quiet) {
      std::fprintf(stderr, "kest32: %s\n", text.toLocal8Bit().constData());
    } else {
      Ui().Tell(this, Interaction::Box::Error, text, details);
    }
  };
  try {
    WriteSettings();
    return true;
  } catch (const ProfileWriteError& e) {
    // Bookmarks are written as they change: a write of them that failed
    // before this one lost them too.
    const bool bookmarksLost = IniFile->FailedWrites() - 1 - settingsFailures_ > 0;
    ++settingsFailures_;
    const QString lost = bookmarksLost ? QStringLiteral("この回の設定（表示、最近使ったファイル、ウィンドウの位置）と"
                                                        "追加・整理したしおり")
                                       : QStringLiteral("この回の設定（表示、最近使ったファイル、ウィンドウの位置）");
    tell(NotSavedText(e, lost), QString::fromStdString(e.path().string()));
  } catch (const std::exception& e) {
    tell(QString::fromUtf8(e.what()), QString());
  }
  return false;
}

void TKestForm::EndSession() {
  if (!IniFile) return;
  session_.Release();
  SaveSettings(true);
  IniFile.reset();  // the close that follows writes nothing more
  close();
}

}  // namespace kest

// The messages about a file that the window and its features show: what
// happened, the file (its path shortened in the middle when long, the whole
// path behind the box's details), and what the user can do.
#pragma once

#include <QString>

class QWidget;

namespace kest {

struct Notice;
class ProfileWriteError;

// A path as a message shows it: shortened in the middle beyond 60 columns.
QString ShownPath(const QString& path);

// The text of a notice's box: what happened, the file, what to do.
QString NoticeText(const Notice& notice);
// Shows a notice (Info or Error) in its box, the whole path in the details.
void ShowNotice(QWidget* parent, const Notice& notice);

// The message for a Kest.INI that could not be written: what was not saved
// (`lost`, e.g. "この回の設定"), why and what to do, and the file's line
// "<path> に書き込めません" last.
QString NotSavedText(const ProfileWriteError& e, const QString& lost);
// Shows it in the error box, the whole path in the details.
void ShowNotSaved(QWidget* parent, const ProfileWriteError& e, const QString& lost);

}  // namespace kest

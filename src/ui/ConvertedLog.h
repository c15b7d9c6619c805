// The window's side of logs that have travelled: the conversion into a
// native copy with its progress and messages, and the status-bar notice
// that the shown log was converted.
#pragma once

#include <QString>
#include <optional>

#include "archive/LogLocation.h"
#include "log/NativeCopy.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace kest {

class TLogCtrl;

// The file the scanner reads for a log: a member extracted from its archive,
// or for a log of its own in any form but the native one its native copy
// (made or reused), with progress in `bar`, the window painted meanwhile,
// and the hourglass. A failure is told in the error box and gives nothing;
// the caller keeps the shown log then.
std::optional<NativeLog> OpenNativeForWindow(QWidget* parent, QProgressBar* bar, const LogLocation& where);

// The notice on the tool bar, in the place of the progress bar (which is
// shown only while a log loads): hidden for a native log, "UTF-8・LF から変換"
// for a converted one, the original and the copy in its tooltip.
QLabel* CreateConversionLabel(QWidget* iconPanel);
void ShowConversion(QLabel* label, const NativeLog& log);

// The information boxes after a load: how many characters became "〓" (once,
// when the copy is made), and that a file with bytes in it holds no remark.
void TellAfterLoad(QWidget* parent, const NativeLog& log, const TLogCtrl& index);

}  // namespace kest

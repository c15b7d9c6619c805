// Names and paths of bookmarks between the settings file (Shift-JIS bytes,
// stored paths) and the screen.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace kest {

QString BookNameToDisplay(std::string_view sjis);
// The name as Shift-JIS, blanks at both ends dropped; nothing (after saying
// why) when it holds a character that Shift-JIS cannot hold.
std::optional<std::string> BookNameFromDisplay(QWidget* parent, const QString& name);
// The message for a name that cannot be a key of the settings file.
QString NotAKeyMessage();
// The log of a bookmark as the file holds it, for opening: a path, or the
// name of an archive's member.
QString BookPathToDisplay(std::string_view stored);
// The same as the user reads it ("forum.lzh » 表示.log" for a member).
QString BookPathToShow(std::string_view stored);

}  // namespace kest

// The bookmark commands of the main window: building the menu "しおり(&B)"
// from the settings file, adding a bookmark for the shown remark, jumping to
// one and opening the organizer. The window's handlers call these.
#pragma once

class QAction;

namespace kest {

class TKestForm;

// Rebuilds every entry after the separator from both sections: a submenu per
// group, an entry per bookmark (its path as the hint, its number as "Tag").
void BuildBookmarkMenu(TKestForm& form);
// Asks for a name (TBookDlg), checks it and writes the bookmark at once.
void AddBookmark(TKestForm& form);
// Opens the entry's log unless it is the one shown, then selects the remark.
// A log that cannot be opened leaves the window as it was.
void JumpToBookmark(TKestForm& form, const QAction& entry);
// Shows the organizer, then rebuilds the menu from the file.
void OrganizeBookmarks(TKestForm& form);

}  // namespace kest

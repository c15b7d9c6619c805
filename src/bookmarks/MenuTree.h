// The bookmark menu as a tree, built from the two sections without any
// widget: every group a submenu, every bookmark an entry. Within every level
// the groups come first, in "Book Dir" order, and the bookmarks after them,
// in "Book Mark" order.
//
// Placing follows the old menu builder, so a hand-written Kest.INI reads the
// same: a group whose parent is "0" goes to the top level; any other is looked
// for among the top-level groups, then, level by level, inside each of them
// (the direct sub-groups of a group before those further down); a group whose
// parent is not found (missing, or stored after it) is left out with
// everything below it. A bookmark goes into the group of its ID, found the
// same way, or to the top level when there is none ("0", a missing group, a
// group left out). A group is found by its ID at once (only an ID that
// several groups carry is searched for), so the tree takes time in
// proportion to the entries, however many there are.
//
// Groups and bookmarks are told apart by their kind, so a bookmark of remark
// 0 is a bookmark. Entries that fit neither form are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bookmarks/BookStore.h"

namespace kest {

struct BookMenuItem {
  bool isGroup = false;
  std::string caption;      // the name (Shift-JIS)
  std::string groupId;      // groups: their ID
  std::string storedPath;   // bookmarks: the path as the file holds it
  std::int32_t number = 0;  // bookmarks: the remark number
  std::vector<BookMenuItem> children;
};

struct BookMenuTree {
  std::vector<BookMenuItem> top;
  // Either section holds a key (readable or not): the organizer is worth
  // opening and the separator is shown.
  bool anyKey = false;
};

BookMenuTree BuildBookMenuTree(const BookSections& sections);

}  // namespace kest

#include "bookmarks/MenuTree.h"

namespace kest {
namespace {

// The top-level groups: the entries before the first top-level bookmark.
std::size_t TopGroupCount(const std::vector<BookMenuItem>& top) {
  std::size_t n = 0;
  while (n < top.size() && top[n].isGroup) ++n;
  return n;
}

// Into a top-level group of that ID, or below one; false when none has it.
bool PlaceInGroups(std::vector<BookMenuItem>& top, const std::string& groupId,
                   BookMenuItem& pending) {
  const std::size_t groups = TopGroupCount(top);
  for (std::size_t i = 0; i < groups; ++i) {
    if (top[i].groupId == groupId) {
      top[i].children.push_back(std::move(pending));
      return true;
    }
  }
  for (std::size_t i = 0; i < groups; ++i) {
    if (AddToGroupMenu(top[i], groupId, pending)) return true;
  }
  return false;
}

}  // namespace

bool AddToGroupMenu(BookMenuItem& entry, const std::string& groupId, BookMenuItem& pending) {
  for (BookMenuItem& sub : entry.children) {
    if (!sub.isGroup) break;
    if (sub.groupId == groupId) {
      sub.children.push_back(std::move(pending));
      return true;
    }
  }
  for (BookMenuItem& sub : entry.children) {
    if (AddToGroupMenu(sub, groupId, pending)) return true;
  }
  return false;
}

BookMenuTree BuildBookMenuTree(const BookSections& sections) {
  BookMenuTree tree;
  tree.anyKey = !sections.groups.empty() || !sections.marks.empty();

  for (const BookGroup& g : sections.groups) {
    BookMenuItem item;
    item.isGroup = true;
    item.caption = g.name;
    item.groupId = g.id;
    if (g.parent == kRootGroupId) {
      // A new top-level group goes after the groups: no bookmark is placed yet.
      tree.top.push_back(std::move(item));
    } else {
      PlaceInGroups(tree.top, g.parent, item);
    }
  }

  for (const BookMark& m : sections.marks) {
    if (!m.readable) continue;
    BookMenuItem item;
    item.caption = m.name;
    item.storedPath = m.storedPath;
    item.number = m.number;
    if (m.shortForm || !PlaceInGroups(tree.top, m.groupId, item)) tree.top.push_back(std::move(item));
  }
  return tree;
}

}  // namespace kest

// The bookmark organizer's edits, without widgets: a copy of both sections
// that the dialog changes and that only OK writes back (Cancel just drops
// it). Node 0 is the root group "しおり" with the ID "0".
//
// Names are keys of the settings file, so every name given here is checked:
// empty (after trimming blanks) or unchanged leaves things as they were; a
// name the file cannot hold as a key, or one already used by any bookmark or
// any group, is refused. Bookmarks that fit neither stored form are kept
// (never listed) and written back unchanged, in their place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bookmarks/BookStore.h"

namespace kest {

// The root group's display name, "しおり" in Shift-JIS.
extern const char* const kRootGroupName;

class BookOrganizer {
 public:
  struct Node {
    std::string name;
    std::string id;
    int parent = -1;  // -1 for the root
    std::vector<int> children;
    bool alive = true;
    int origin = -1;  // the group of the sections loaded, or -1: added here
  };

  // The outcome of an edit that takes a name.
  enum class Edit { kDone, kUnchanged, kEmpty, kNotAKey, kDuplicate };

  // Builds the tree and the bookmark list from both sections. A group goes
  // under the first node (in tree order) of its parent's ID, or under the
  // root when no node read before it has that ID.
  void Load(const BookSections& sections);

  int NodeCount() const { return static_cast<int>(nodes_.size()); }
  const Node& NodeAt(int node) const { return nodes_[static_cast<std::size_t>(node)]; }
  // Every live node but the root, each parent before its children.
  std::vector<int> TreeOrder() const;

  const std::vector<BookMark>& Marks() const { return marks_; }
  // The readable bookmarks of a node's group, as indices into Marks().
  std::vector<std::size_t> MarksOf(int node) const;

  // The ID a new group gets: "A" and the smallest number no group uses.
  std::string NextGroupId() const;
  // A new group as the last child of `parent`; its node in `added`.
  Edit AddGroup(int parent, std::string_view name, int* added = nullptr);
  Edit RenameGroup(int node, std::string_view name);
  // Removes the group, its sub-groups and every bookmark in any of them.
  // The root cannot be removed.
  void DeleteGroup(int node);

  Edit RenameMark(std::size_t mark, std::string_view name);
  void DeleteMark(std::size_t mark);
  // Gives the bookmarks the destination's group ID; their order stays.
  void MoveMarks(const std::vector<std::size_t>& marks, int destination);

  // Both sections as OK writes them: the groups in tree order with their
  // parents' IDs, the bookmarks in their order.
  BookSections Result() const;

  // The edits made since Load applied to `current`, the sections as the file
  // holds them now (another window may have changed them meanwhile): what
  // was added, renamed, moved and deleted here is done to it, and nothing
  // else of it changes. Where both changed the same bookmark or group,
  // these edits, the later, win; a bookmark or group the other window added
  // to a group deleted here goes to the nearest group that is left; a new
  // group takes an ID no group uses by then, and a name taken meanwhile gets
  // " (2)", " (3)", ... With the file unchanged since Load this is Result().
  BookSections MergeInto(const BookSections& current) const;

 private:
  Edit CheckNewName(std::string_view trimmed, std::string_view old) const;
  std::vector<std::string> AllNames() const;
  void TreeOrderFrom(int node, std::vector<int>& out) const;

  // The node of the group a new group (or a bookmark) of this ID goes
  // under: the first in tree order that carries it; 0 (the root) if none.
  int FirstNodeOf(const std::string& id) const;

  std::vector<Node> nodes_;
  std::vector<BookMark> marks_;
  std::vector<std::size_t> markOrigin_;  // for each of marks_: its index in base_.marks
  BookSections base_;                    // as loaded
};

}  // namespace kest

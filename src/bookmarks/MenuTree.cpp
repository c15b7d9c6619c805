#include "bookmarks/MenuTree.h"

#include <unordered_map>

namespace kest {
namespace {

// The groups while the tree is built: a flat list with the children of each
// group as indices, so that a group is found by its ID at once, however many
// groups and bookmarks there are. The nested tree is made from it at the end.
class GroupTree {
 public:
  // The group a group or bookmark of this ID goes into: the one the old
  // search (PlaceInGroups, AddToGroupMenu) finds first; -1 when none. An ID
  // that one group alone carries is looked up directly; an ID that several
  // carry (a hand edit) is searched for in the old order.
  int Find(const std::string& id) const {
    const auto found = byId_.find(id);
    if (found == byId_.end()) return -1;
    if (!found->second.shared) return found->second.group;
    for (int g : top_) {
      if (groups_[static_cast<std::size_t>(g)].id == id) return g;
    }
    for (int g : top_) {
      if (const int d = FindBelow(g, id); d >= 0) return d;
    }
    return -1;
  }
  // Adds a group under `parent` (-1: the top level).
  void Add(const BookGroup& g, int parent) {
    const int index = static_cast<int>(groups_.size());
    groups_.push_back(Node{g.name, g.id, {}, {}});
    (parent < 0 ? top_ : groups_[static_cast<std::size_t>(parent)].groups).push_back(index);
    auto [it, added] = byId_.try_emplace(g.id, Entry{index, false});
    if (!added) it->second.shared = true;
  }
  void AddMark(int group, const BookMark* m) { groups_[static_cast<std::size_t>(group)].marks.push_back(m); }
  const std::vector<int>& Top() const { return top_; }

  BookMenuItem Item(int g) const {
    const Node& n = groups_[static_cast<std::size_t>(g)];
    BookMenuItem item;
    item.isGroup = true;
    item.caption = n.name;
    item.groupId = n.id;
    item.children.reserve(n.groups.size() + n.marks.size());
    for (int sub : n.groups) item.children.push_back(Item(sub));
    for (const BookMark* m : n.marks) item.children.push_back(MarkItem(*m));
    return item;
  }
  static BookMenuItem MarkItem(const BookMark& m) {
    BookMenuItem item;
    item.caption = m.name;
    item.storedPath = m.storedPath;
    item.number = m.number;
    return item;
  }

 private:
  struct Node {
    std::string name, id;
    std::vector<int> groups;
    std::vector<const BookMark*> marks;
  };
  struct Entry {
    int group;
    bool shared;
  };
  // AddToGroupMenu's order: the direct sub-groups first, then inside each.
  int FindBelow(int g, const std::string& id) const {
    const Node& n = groups_[static_cast<std::size_t>(g)];
    for (int sub : n.groups) {
      if (groups_[static_cast<std::size_t>(sub)].id == id) return sub;
    }
    for (int sub : n.groups) {
      if (const int d = FindBelow(sub, id); d >= 0) return d;
    }
    return -1;
  }

  std::vector<Node> groups_;
  std::vector<int> top_;
  std::unordered_map<std::string, Entry> byId_;
};

}  // namespace

BookMenuTree BuildBookMenuTree(const BookSections& sections) {
  BookMenuTree tree;
  tree.anyKey = !sections.groups.empty() || !sections.marks.empty();

  GroupTree groups;
  for (const BookGroup& g : sections.groups) {
    if (g.parent == kRootGroupId) {
      groups.Add(g, -1);
    } else if (const int parent = groups.Find(g.parent); parent >= 0) {
      groups.Add(g, parent);
    }  // else left out, with everything that would go below it
  }
  std::vector<const BookMark*> top;
  for (const BookMark& m : sections.marks) {
    if (!m.readable) continue;
    const int group = m.shortForm ? -1 : groups.Find(m.groupId);
    if (group >= 0) {
      groups.AddMark(group, &m);
    } else {
      top.push_back(&m);
    }
  }
  tree.top.reserve(groups.Top().size() + top.size());
  for (int g : groups.Top()) tree.top.push_back(groups.Item(g));
  for (const BookMark* m : top) tree.top.push_back(GroupTree::MarkItem(*m));
  return tree;
}

}  // namespace kest

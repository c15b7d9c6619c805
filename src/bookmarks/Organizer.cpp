#include "bookmarks/Organizer.h"

#include <algorithm>
#include <set>

#include "platform/Codec.h"

namespace kest {

const char* const kRootGroupName = "\x82\xb5\x82\xa8\x82\xe8";  // しおり

void BookOrganizer::Load(const BookSections& sections) {
  nodes_.clear();
  nodes_.push_back(Node{kRootGroupName, std::string(kRootGroupId), -1, {}, true});
  for (const BookGroup& g : sections.groups) {
    int parent = 0;
    if (g.parent != kRootGroupId) {
      std::vector<int> order{0};
      TreeOrderFrom(0, order);
      for (int n : order) {
        if (n != 0 && nodes_[static_cast<std::size_t>(n)].id == g.parent) {
          parent = n;
          break;
        }
      }
    }
    const int node = NodeCount();
    nodes_.push_back(Node{g.name, g.id, parent, {}, true});
    nodes_[static_cast<std::size_t>(parent)].children.push_back(node);
  }
  marks_ = sections.marks;
}

void BookOrganizer::TreeOrderFrom(int node, std::vector<int>& out) const {
  for (int child : nodes_[static_cast<std::size_t>(node)].children) {
    if (!nodes_[static_cast<std::size_t>(child)].alive) continue;
    out.push_back(child);
    TreeOrderFrom(child, out);
  }
}

std::vector<int> BookOrganizer::TreeOrder() const {
  std::vector<int> out;
  TreeOrderFrom(0, out);
  return out;
}

std::vector<std::size_t> BookOrganizer::MarksOf(int node) const {
  std::vector<std::size_t> out;
  const std::string& id = NodeAt(node).id;
  for (std::size_t i = 0; i < marks_.size(); ++i) {
    if (marks_[i].readable && marks_[i].groupId == id) out.push_back(i);
  }
  return out;
}

std::string BookOrganizer::NextGroupId() const {
  std::set<std::string> used;
  for (int n : TreeOrder()) used.insert(NodeAt(n).id);
  for (unsigned long n = 0;; ++n) {
    std::string id = "A" + std::to_string(n);
    if (!used.count(id)) return id;
  }
}

std::vector<std::string> BookOrganizer::AllNames() const {
  std::vector<std::string> names;
  for (const Node& n : nodes_) {
    if (n.alive) names.push_back(n.name);
  }
  for (const BookMark& m : marks_) names.push_back(m.name);
  return names;
}

BookOrganizer::Edit BookOrganizer::CheckNewName(std::string_view trimmed,
                                                std::string_view old) const {
  if (!old.empty() && trimmed == old) return Edit::kUnchanged;
  if (const auto problem = KeyProblem(trimmed)) {
    return *problem == NameProblem::kEmpty ? Edit::kEmpty : Edit::kNotAKey;
  }
  std::vector<std::string> names = AllNames();
  // A rename that changes only the letter case is no clash with itself.
  if (!old.empty()) {
    const auto self = std::find(names.begin(), names.end(), std::string(old));
    if (self != names.end()) names.erase(self);
  }
  if (NameTaken(trimmed, names)) return Edit::kDuplicate;
  return Edit::kDone;
}

BookOrganizer::Edit BookOrganizer::AddGroup(int parent, std::string_view name, int* added) {
  const std::string trimmed = TrimName(name);
  const Edit e = CheckNewName(trimmed, {});
  if (e != Edit::kDone) return e;
  const int node = NodeCount();
  nodes_.push_back(Node{trimmed, NextGroupId(), parent, {}, true});
  nodes_[static_cast<std::size_t>(parent)].children.push_back(node);
  if (added) *added = node;
  return Edit::kDone;
}

BookOrganizer::Edit BookOrganizer::RenameGroup(int node, std::string_view name) {
  if (node == 0) return Edit::kUnchanged;
  const std::string trimmed = TrimName(name);
  Node& n = nodes_[static_cast<std::size_t>(node)];
  const Edit e = CheckNewName(trimmed, n.name);
  if (e == Edit::kDone) n.name = trimmed;
  return e;
}

void BookOrganizer::DeleteGroup(int node) {
  if (node <= 0 || node >= NodeCount() || !NodeAt(node).alive) return;
  std::vector<int> gone{node};
  TreeOrderFrom(node, gone);
  for (int n : gone) {
    Node& g = nodes_[static_cast<std::size_t>(n)];
    g.alive = false;
    // Unreadable entries stay: they belong to no group anyone can see.
    std::erase_if(marks_, [&](const BookMark& m) { return m.readable && m.groupId == g.id; });
  }
  auto& siblings = nodes_[static_cast<std::size_t>(NodeAt(node).parent)].children;
  std::erase(siblings, node);
}

BookOrganizer::Edit BookOrganizer::RenameMark(std::size_t mark, std::string_view name) {
  if (mark >= marks_.size()) return Edit::kUnchanged;
  const std::string trimmed = TrimName(name);
  const Edit e = CheckNewName(trimmed, marks_[mark].name);
  if (e == Edit::kDone) marks_[mark].name = trimmed;
  return e;
}

void BookOrganizer::DeleteMark(std::size_t mark) {
  if (mark < marks_.size()) marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(mark));
}

void BookOrganizer::MoveMarks(const std::vector<std::size_t>& marks, int destination) {
  if (destination < 0 || destination >= NodeCount() || !NodeAt(destination).alive) return;
  for (std::size_t i : marks) {
    if (i < marks_.size() && marks_[i].readable) marks_[i].groupId = NodeAt(destination).id;
  }
}

BookSections BookOrganizer::Result() const {
  BookSections s;
  for (int n : TreeOrder()) {
    const Node& node = NodeAt(n);
    s.groups.push_back(BookGroup{node.name, node.id, NodeAt(node.parent).id});
  }
  s.marks = marks_;
  return s;
}

}  // namespace kest

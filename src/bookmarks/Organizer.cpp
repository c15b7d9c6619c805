#include "bookmarks/Organizer.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "platform/Codec.h"

namespace kest {

const char* const kRootGroupName = "\x82\xb5\x82\xa8\x82\xe8";  // しおり

void BookOrganizer::Load(const BookSections& sections) {
  base_ = sections;
  nodes_.clear();
  nodes_.push_back(Node{kRootGroupName, std::string(kRootGroupId), -1, {}, true, -1});
  // An ID one group alone carries is found at once; one that several carry
  // (a hand edit) by the walk in tree order.
  std::unordered_map<std::string, int> byId;
  std::unordered_set<std::string> shared;
  for (std::size_t k = 0; k < sections.groups.size(); ++k) {
    const BookGroup& g = sections.groups[k];
    int parent = 0;
    if (g.parent != kRootGroupId) {
      if (shared.count(g.parent)) {
        parent = FirstNodeOf(g.parent);
      } else if (const auto found = byId.find(g.parent); found != byId.end()) {
        parent = found->second;
      }
    }
    const int node = NodeCount();
    nodes_.push_back(Node{g.name, g.id, parent, {}, true, static_cast<int>(k)});
    nodes_[static_cast<std::size_t>(parent)].children.push_back(node);
    if (!byId.try_emplace(g.id, node).second) shared.insert(g.id);
  }
  marks_ = sections.marks;
  markOrigin_.resize(marks_.size());
  for (std::size_t i = 0; i < marks_.size(); ++i) markOrigin_[i] = i;
}

int BookOrganizer::FirstNodeOf(const std::string& id) const {
  for (int n : TreeOrder()) {
    if (NodeAt(n).id == id) return n;
  }
  return 0;
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

BookOrganizer::Edit BookOrganizer::CheckNewName(std::string_view trimmed, std::string_view old) const {
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
  nodes_.push_back(Node{trimmed, NextGroupId(), parent, {}, true, -1});
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
  std::unordered_set<std::string> ids;
  for (int n : gone) {
    Node& g = nodes_[static_cast<std::size_t>(n)];
    g.alive = false;
    ids.insert(g.id);
  }
  // Unreadable entries stay: they belong to no group anyone can see.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < marks_.size(); ++i) {
    if (marks_[i].readable && ids.count(marks_[i].groupId)) continue;
    if (kept != i) {
      marks_[kept] = std::move(marks_[i]);
      markOrigin_[kept] = markOrigin_[i];
    }
    ++kept;
  }
  marks_.resize(kept);
  markOrigin_.resize(kept);
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
  if (mark >= marks_.size()) return;
  marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(mark));
  markOrigin_.erase(markOrigin_.begin() + static_cast<std::ptrdiff_t>(mark));
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

// The organizer's OK when another window may have changed the bookmarks
// since the dialog read them: its edits are applied to the sections as the
// file holds them now, rather than the dialog's copy written over them.
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "bookmarks/Organizer.h"
#include "platform/Codec.h"

namespace kest {
namespace {

// The names in use, as keys compare (letter case aside).
class Names {
 public:
  void Add(const std::string& name) { taken_.insert(name); }
  void Remove(const std::string& name) {
    if (const auto it = taken_.find(name); it != taken_.end()) taken_.erase(it);
  }
  // `name`, or, when another entry has it, `name (2)`, `name (3)`, ...
  std::string Take(const std::string& name) {
    std::string candidate = name;
    for (int n = 2; taken_.count(candidate); ++n) candidate = name + " (" + std::to_string(n) + ")";
    Add(candidate);
    return candidate;
  }

 private:
  std::unordered_multiset<std::string, AnsiKeyHash, AnsiKeyEqual> taken_;
};

// What a bookmark points to, by which it is found when another window has
// renamed it.
std::string TargetOf(const BookMark& m) {
  return m.readable ? std::to_string(m.number) + "|" + m.storedPath : "\n" + m.value;
}

}  // namespace

BookSections BookOrganizer::MergeInto(const BookSections& current) const {
  BookSections out = current;
  Names names;
  for (const BookGroup& g : out.groups) names.Add(g.name);
  for (const BookMark& m : out.marks) names.Add(m.name);

  // --- Groups --------------------------------------------------------------------
  std::vector<bool> dropGroup(out.groups.size(), false);
  std::unordered_map<std::string, std::size_t> groupAt;  // the first group of an ID in `out`
  for (std::size_t i = out.groups.size(); i-- > 0;) groupAt[out.groups[i].id] = i;
  auto present = [&](const std::string& id) -> std::optional<std::size_t> {
    const auto it = groupAt.find(id);
    if (it == groupAt.end() || dropGroup[it->second]) return std::nullopt;
    return it->second;
  };

  // Deleted here: gone from the file too.
  std::unordered_set<std::string> deleted;
  for (const Node& n : nodes_) {
    if (n.origin < 0 || n.alive) continue;
    deleted.insert(n.id);
    if (const auto i = present(n.id)) {
      dropGroup[*i] = true;
      names.Remove(out.groups[*i].name);
    }
  }
  // Renamed here: the old names are free before any new name is given.
  auto renamed = [&](const Node& n) {
    return n.origin >= 0 && n.alive && n.name != base_.groups[static_cast<std::size_t>(n.origin)].name;
  };
  for (const Node& n : nodes_) {
    if (!renamed(n)) continue;
    if (const auto i = present(n.id)) names.Remove(out.groups[*i].name);
  }

  // The ID every live node has in the result, parents before children: a
  // group of the file keeps its own; one another window deleted stands for
  // its nearest group that is left, unless it was renamed here (the later
  // change), when it comes back; a new group is added, with its own ID
  // unless a group took that one meanwhile.
  std::vector<std::string> merged(nodes_.size());
  merged[0] = std::string(kRootGroupId);
  std::unordered_set<std::string> used;
  for (std::size_t i = 0; i < out.groups.size(); ++i) {
    if (!dropGroup[i]) used.insert(out.groups[i].id);
  }
  for (int n : TreeOrder()) {
    const Node& node = NodeAt(n);
    const std::string& parentId = merged[static_cast<std::size_t>(node.parent)];
    if (node.origin >= 0) {
      if (const auto i = present(node.id)) {
        merged[static_cast<std::size_t>(n)] = node.id;
        if (renamed(node)) out.groups[*i].name = names.Take(node.name);
        continue;
      }
      if (!renamed(node)) {
        merged[static_cast<std::size_t>(n)] = parentId;
        continue;
      }
    }
    std::string id = node.id;
    for (unsigned long k = 0; used.count(id); ++k) id = "A" + std::to_string(k);
    used.insert(id);
    merged[static_cast<std::size_t>(n)] = id;
    out.groups.push_back(BookGroup{names.Take(node.name), id, parentId});
    dropGroup.push_back(false);
  }
  // What another window put into a group deleted here goes to the nearest
  // group left above it.
  std::unordered_map<std::string, std::string> survivor;
  for (const Node& n : nodes_) {
    if (n.origin < 0 || n.alive) continue;
    int up = n.parent;
    while (up > 0 && !NodeAt(up).alive) up = NodeAt(up).parent;
    survivor[n.id] = merged[static_cast<std::size_t>(std::max(up, 0))];
  }
  const std::size_t fileGroups = current.groups.size();
  for (std::size_t i = 0; i < fileGroups; ++i) {
    if (dropGroup[i]) continue;
    if (const auto s = survivor.find(out.groups[i].parent); s != survivor.end())
      out.groups[i].parent = s->second;
  }

  // --- Bookmarks -----------------------------------------------------------------
  // Each bookmark read here, found in the file by its name, or, renamed by
  // another window meanwhile, by what it points to.
  std::unordered_map<std::string_view, std::size_t, AnsiKeyHash, AnsiKeyEqual> markAt;
  std::unordered_set<std::string_view, AnsiKeyHash, AnsiKeyEqual> baseNames;
  for (std::size_t j = current.marks.size(); j-- > 0;) markAt[current.marks[j].name] = j;
  for (const BookMark& b : base_.marks) baseNames.insert(b.name);
  std::vector<std::optional<std::size_t>> target(base_.marks.size());
  std::vector<bool> claimed(current.marks.size(), false);
  std::vector<std::size_t> byName;  // base bookmarks not found by their name
  for (std::size_t k = 0; k < base_.marks.size(); ++k) {
    if (const auto it = markAt.find(base_.marks[k].name); it != markAt.end() && !claimed[it->second]) {
      target[k] = it->second;
      claimed[it->second] = true;
    } else {
      byName.push_back(k);
    }
  }
  if (!byName.empty()) {
    std::unordered_multimap<std::string, std::size_t> renamedElsewhere;
    for (std::size_t j = 0; j < current.marks.size(); ++j) {
      if (!claimed[j] && !baseNames.count(current.marks[j].name)) {
        renamedElsewhere.emplace(TargetOf(current.marks[j]), j);
      }
    }
    for (std::size_t k : byName) {
      const auto [from, to] = renamedElsewhere.equal_range(TargetOf(base_.marks[k]));
      for (auto it = from; it != to; ++it) {
        if (claimed[it->second]) continue;
        target[k] = it->second;
        claimed[it->second] = true;
        break;
      }
    }
  }
  std::vector<std::optional<std::size_t>> mine(base_.marks.size());
  for (std::size_t i = 0; i < marks_.size(); ++i) mine[markOrigin_[i]] = i;

  // The group ID a bookmark moved here goes to.
  std::unordered_map<std::string, int> nodeOf;
  for (int n : TreeOrder()) nodeOf.emplace(NodeAt(n).id, n);
  auto mergedGroup = [&](const std::string& id) {
    const auto it = nodeOf.find(id);
    return it == nodeOf.end() ? id : merged[static_cast<std::size_t>(it->second)];
  };

  std::vector<bool> dropMark(out.marks.size(), false);
  for (std::size_t k = 0; k < base_.marks.size(); ++k) {
    if (!target[k]) continue;
    if (!mine[k]) {
      dropMark[*target[k]] = true;  // deleted here
      names.Remove(out.marks[*target[k]].name);
    } else if (marks_[*mine[k]].name != base_.marks[k].name) {
      names.Remove(out.marks[*target[k]].name);
    }
  }
  for (std::size_t k = 0; k < base_.marks.size(); ++k) {
    if (!mine[k]) continue;
    const BookMark& b = base_.marks[k];
    const BookMark& m = marks_[*mine[k]];
    const bool rename = m.name != b.name;
    const bool move = m.readable && m.groupId != b.groupId;
    if (!rename && !move) continue;  // the file's version stands
    if (target[k]) {
      BookMark& t = out.marks[*target[k]];
      if (rename) t.name = names.Take(m.name);
      if (move && t.readable) {
        t.groupId = mergedGroup(m.groupId);
        t.shortForm = false;
      }
    } else {
      // Deleted by another window, changed here later: it comes back.
      BookMark back = m;
      back.name = names.Take(m.name);
      if (back.readable) back.groupId = mergedGroup(m.groupId);
      out.marks.push_back(std::move(back));
      dropMark.push_back(false);
    }
  }
  // Bookmarks another window put into a group deleted here.
  for (std::size_t j = 0; j < claimed.size(); ++j) {
    if (claimed[j] || !out.marks[j].readable) continue;
    if (const auto s = survivor.find(out.marks[j].groupId); s != survivor.end())
      out.marks[j].groupId = s->second;
  }

  BookSections result;
  for (std::size_t i = 0; i < out.groups.size(); ++i) {
    if (!dropGroup[i]) result.groups.push_back(std::move(out.groups[i]));
  }
  for (std::size_t j = 0; j < out.marks.size(); ++j) {
    if (!dropMark[j]) result.marks.push_back(std::move(out.marks[j]));
  }
  // The groups in tree order, as the organizer writes them.
  BookOrganizer tree;
  tree.Load(BookSections{std::move(result.groups), {}});
  result.groups = tree.Result().groups;
  return result;
}

}  // namespace kest

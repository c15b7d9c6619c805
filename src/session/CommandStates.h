// Which of the window's commands can be run now and which are checked: one
// table made from the state of the open log, applied to every menu entry,
// tool button and pop-up entry of a command alike, and read by the keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kest {

enum class Command : std::uint8_t {
  Open,
  Print,
  Export,        // ｴｸｽﾎﾟｰﾄ...
  ExportThread,  // このｽﾚｯﾄﾞをｴｸｽﾎﾟｰﾄ
  Exit,
  Copy,
  SelectAll,
  Find,         // 検索(&F)...
  FindSpeaker,  // 発言者名で検索(&N)...
  FindPrev,     // 前へ検索
  FindNext,     // 次へ検索
  AddBookmark,
  OrganizeBookmarks,
  SortRemark,         // 発言順
  SortContentFull,    // 内容順(1)
  SortContentFolded,  // 内容順(2)
  ShowNumber,
  ShowSpeaker,
  ShowDate,
  Prev,
  Next,
  Comment,
  MaximizeList,
  MaximizeText,
  SplitEven,
  Font,
  Colors,
  Help,
  KeyHelp,
  About,
  kCount
};

struct CommandState {
  bool enabled = true;
  bool checked = false;
};

class CommandStates {
 public:
  CommandState& operator[](Command c) { return states_[static_cast<std::size_t>(c)]; }
  const CommandState& operator[](Command c) const { return states_[static_cast<std::size_t>(c)]; }
  bool Enabled(Command c) const { return (*this)[c].enabled; }
  bool Checked(Command c) const { return (*this)[c].checked; }

  // The menus 編集 and 表示 appear once a log has been opened.
  bool logMenusShown = false;

 private:
  std::array<CommandState, static_cast<std::size_t>(Command::kCount)> states_{};
};

}  // namespace kest

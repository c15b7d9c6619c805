// The keys of the window, the title list and the text pane: which key runs
// which command. A key arrives as the toolkit reports it (a key code, and
// whether it came from the numeric keypad and with which modifiers); it is
// turned into the old virtual-key code first, so the table below reads as the
// keyboard's own: keypad 5 is 0x65 only while Num Lock is on (with Num Lock
// off the same key arrives as an arrow or Clear key and stays the list's).
#pragma once

#include "log/TitleLines.h"

namespace kest {

// Key codes as the toolkit numbers them (Qt::Key): letters and digits are
// their upper-case ASCII codes, the named keys below carry these values.
// The window side checks at compile time that they agree.
inline constexpr int kKeyPlus = 0x2B;
inline constexpr int kKeyMinus = 0x2D;
inline constexpr int kKeyF4 = 0x01000033;
inline constexpr int kKeyF5 = 0x01000034;

struct KeyPress {
  int key = 0;          // the toolkit's key code
  bool keypad = false;  // the key lies on the numeric keypad
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};

// Virtual-key codes of the keys the table knows.
enum VirtualKey : int {
  kVkNone = 0,
  kVkC = 0x43,
  kVkX = 0x58,
  kVkZ = 0x5A,
  kVkNumpad2 = 0x62,
  kVkNumpad5 = 0x65,
  kVkNumpad6 = 0x66,
  kVkNumpad8 = 0x68,
  kVkAdd = 0x6B,
  kVkSubtract = 0x6D,
  kVkF4 = 0x73,
  kVkF5 = 0x74,
};

// The virtual-key code of a key press, or kVkNone for a key the table does
// not know. The plain digit keys and '+'/'-' of the main keyboard are not
// keypad keys. Alt+letter belongs to the menus' mnemonics, and Ctrl+C to the
// copy command, so neither is C; Ctrl+X and Ctrl+Z are X and Z, and Shift is
// not looked at.
VirtualKey VirtualKeyOf(const KeyPress& press);

enum class PaneCommand {
  None,
  ToggleFold,    // keypad 5, content order (2)
  Comment,       // keypad 6, content order (2): ComClick, enabled or not
  Unfold,        // keypad +, content order (2), selected line folded
  Fold,          // keypad -, content order (2), selected line unfolded
  MaximizeText,  // C
  SplitEven,     // X
  MaximizeList,  // Z
  Next,          // keypad 2, while the next command is enabled
  Prev,          // keypad 8, while the previous command is enabled
  First,         // F4: the first line
  Last,          // F5: the last line
};

// What the window knows when a key arrives.
struct PaneState {
  SortOrder sortType = SortOrder::Remark;
  bool logOpen = false;  // keys that act on the selected line need a log
  bool hasSelection = false;
  bool expanded = false;  // the selected line's replies are shown beneath it
  bool nextEnabled = false;
  bool prevEnabled = false;
};

// The command of a key: the keys of content order (2) first, then those of
// every order; a key matches at most one row.
PaneCommand CommandForKey(VirtualKey key, const PaneState& state);

}  // namespace kest

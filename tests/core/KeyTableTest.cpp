#include "session/KeyTable.h"

#include <gtest/gtest.h>

using namespace kest;

namespace {

constexpr int kKeyDown = 0x01000015;   // what the keypad 2 sends with Num Lock off
constexpr int kKeyClear = 0x0100000b;  // keypad 5 with Num Lock off

KeyPress Keypad(int key) { return KeyPress{key, true}; }
KeyPress Plain(int key) { return KeyPress{key}; }

PaneState Order(int sortType, bool expanded = false) {
  PaneState s;
  s.sortType = static_cast<SortOrder>(sortType);
  s.logOpen = s.hasSelection = true;
  s.expanded = expanded;
  s.nextEnabled = s.prevEnabled = true;
  return s;
}

PaneCommand Cmd(const KeyPress& k, const PaneState& s) { return CommandForKey(VirtualKeyOf(k), s); }

}  // namespace

// Keypad keys (Num Lock on) are the keypad codes; the same characters from
// the main keyboard, and the keypad with Num Lock off, are not.
TEST(KeyTable, KeypadAndMainKeyboardAreToldApart) {
  EXPECT_EQ(VirtualKeyOf(Keypad('5')), kVkNumpad5);
  EXPECT_EQ(VirtualKeyOf(Keypad('6')), kVkNumpad6);
  EXPECT_EQ(VirtualKeyOf(Keypad('2')), kVkNumpad2);
  EXPECT_EQ(VirtualKeyOf(Keypad('8')), kVkNumpad8);
  EXPECT_EQ(VirtualKeyOf(Keypad(kKeyPlus)), kVkAdd);
  EXPECT_EQ(VirtualKeyOf(Keypad(kKeyMinus)), kVkSubtract);
  for (int k : std::initializer_list<int>{'2', '5', '6', '8', kKeyPlus, kKeyMinus})
    EXPECT_EQ(VirtualKeyOf(Plain(k)), kVkNone) << k;
  EXPECT_EQ(VirtualKeyOf(Keypad(kKeyDown)), kVkNone);
  EXPECT_EQ(VirtualKeyOf(Keypad(kKeyClear)), kVkNone);
  EXPECT_EQ(VirtualKeyOf(Keypad('1')), kVkNone);
  // A letter key never comes from the keypad; the keypad's C would not be C.
  EXPECT_EQ(VirtualKeyOf(Keypad('C')), kVkNone);
}

// C, X and Z with or without Shift; Ctrl+X and Ctrl+Z act as X and Z, while
// Ctrl+C is the copy command's and Alt+letter the menus'.
TEST(KeyTable, LettersAndTheirModifiers) {
  EXPECT_EQ(VirtualKeyOf(Plain('C')), kVkC);
  EXPECT_EQ(VirtualKeyOf(Plain('X')), kVkX);
  EXPECT_EQ(VirtualKeyOf(Plain('Z')), kVkZ);
  EXPECT_EQ(VirtualKeyOf(KeyPress{'C', false, false, true}), kVkC);
  EXPECT_EQ(VirtualKeyOf(KeyPress{'X', false, true}), kVkX);
  EXPECT_EQ(VirtualKeyOf(KeyPress{'Z', false, true, true}), kVkZ);
  EXPECT_EQ(VirtualKeyOf(KeyPress{'C', false, true}), kVkNone);
  EXPECT_EQ(VirtualKeyOf(KeyPress{'X', false, false, false, true}), kVkNone);
  EXPECT_EQ(VirtualKeyOf(Plain('V')), kVkNone);
  EXPECT_EQ(VirtualKeyOf(Plain(kKeyF4)), kVkF4);
  EXPECT_EQ(VirtualKeyOf(KeyPress{kKeyF5, false, true}), kVkF5);
}

// Content order (2): 5 folds either way, 6 goes to the reply, + only
// unfolds and - only folds.
TEST(KeyTable, FoldKeysInContentOrderTwo) {
  EXPECT_EQ(Cmd(Keypad('5'), Order(1)), PaneCommand::ToggleFold);
  EXPECT_EQ(Cmd(Keypad('5'), Order(1, true)), PaneCommand::ToggleFold);
  EXPECT_EQ(Cmd(Keypad('6'), Order(1)), PaneCommand::Comment);
  EXPECT_EQ(Cmd(Keypad(kKeyPlus), Order(1)), PaneCommand::Unfold);
  EXPECT_EQ(Cmd(Keypad(kKeyPlus), Order(1, true)), PaneCommand::None);
  EXPECT_EQ(Cmd(Keypad(kKeyMinus), Order(1, true)), PaneCommand::Fold);
  EXPECT_EQ(Cmd(Keypad(kKeyMinus), Order(1)), PaneCommand::None);
}

// In remark order and content order (1) the fold keys do nothing.
TEST(KeyTable, FoldKeysDoNothingInTheOtherOrders) {
  for (int order : {0, 2}) {
    for (int k : std::initializer_list<int>{'5', '6', kKeyPlus, kKeyMinus}) {
      EXPECT_EQ(Cmd(Keypad(k), Order(order, true)), PaneCommand::None) << order << " " << k;
    }
  }
}

// Keys of every order; 2 and 8 only while their tool buttons are enabled.
TEST(KeyTable, KeysOfEveryOrder) {
  for (int order : {0, 1, 2}) {
    PaneState s = Order(order);
    EXPECT_EQ(Cmd(Plain('C'), s), PaneCommand::MaximizeText);
    EXPECT_EQ(Cmd(Plain('X'), s), PaneCommand::SplitEven);
    EXPECT_EQ(Cmd(Plain('Z'), s), PaneCommand::MaximizeList);
    EXPECT_EQ(Cmd(Keypad('2'), s), PaneCommand::Next);
    EXPECT_EQ(Cmd(Keypad('8'), s), PaneCommand::Prev);
    EXPECT_EQ(Cmd(Plain(kKeyF4), s), PaneCommand::First);
    EXPECT_EQ(Cmd(Plain(kKeyF5), s), PaneCommand::Last);
    s.nextEnabled = false;
    EXPECT_EQ(Cmd(Keypad('2'), s), PaneCommand::None);
    EXPECT_EQ(Cmd(Keypad('8'), s), PaneCommand::Prev);
    s.prevEnabled = false;
    EXPECT_EQ(Cmd(Keypad('8'), s), PaneCommand::None);
  }
}

// Without a log only the layout keys act.
TEST(KeyTable, NoLogOnlyLayoutKeys) {
  PaneState s = Order(1);
  s.logOpen = false;
  s.hasSelection = false;
  EXPECT_EQ(Cmd(Plain('Z'), s), PaneCommand::MaximizeList);
  for (const KeyPress& k :
       {Keypad('5'), Keypad('6'), Keypad(kKeyPlus), Keypad('2'), Keypad('8'), Plain(kKeyF4), Plain(kKeyF5)}) {
    EXPECT_EQ(Cmd(k, s), PaneCommand::None) << k.key;
  }
  // A log without lines: the first and last line are nothing to go to, but
  // F4/F5 are still harmless.
  s.logOpen = true;
  EXPECT_EQ(Cmd(Keypad('5'), s), PaneCommand::None);
  EXPECT_EQ(Cmd(Plain(kKeyF5), s), PaneCommand::Last);
}

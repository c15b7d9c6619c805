#include "session/KeyTable.h"

#include "log/TitleLines.h"

namespace kest {

VirtualKey VirtualKeyOf(const KeyPress& press) {
  if (press.keypad) {
    switch (press.key) {
      case '2': return kVkNumpad2;
      case '5': return kVkNumpad5;
      case '6': return kVkNumpad6;
      case '8': return kVkNumpad8;
      case kKeyPlus: return kVkAdd;
      case kKeyMinus: return kVkSubtract;
      default: return kVkNone;  // other digits, and every key with Num Lock off
    }
  }
  switch (press.key) {
    case kKeyF4: return kVkF4;
    case kKeyF5: return kVkF5;
    default: break;
  }
  if (press.alt) return kVkNone;
  switch (press.key) {
    case 'C': return press.ctrl ? kVkNone : kVkC;
    case 'X': return kVkX;
    case 'Z': return kVkZ;
    default: return kVkNone;
  }
}

PaneCommand CommandForKey(VirtualKey key, const PaneState& s) {
  const bool onLine = s.logOpen && s.hasSelection;
  if (s.sortType == SortOrder::ContentFolded && onLine) {
    switch (key) {
      case kVkNumpad5: return PaneCommand::ToggleFold;
      case kVkNumpad6: return PaneCommand::Comment;
      case kVkAdd: return s.expanded ? PaneCommand::None : PaneCommand::Unfold;
      case kVkSubtract: return s.expanded ? PaneCommand::Fold : PaneCommand::None;
      default: break;
    }
  }
  switch (key) {
    case kVkC: return PaneCommand::MaximizeText;
    case kVkX: return PaneCommand::SplitEven;
    case kVkZ: return PaneCommand::MaximizeList;
    case kVkNumpad2: return onLine && s.nextEnabled ? PaneCommand::Next : PaneCommand::None;
    case kVkNumpad8: return onLine && s.prevEnabled ? PaneCommand::Prev : PaneCommand::None;
    case kVkF4: return s.logOpen ? PaneCommand::First : PaneCommand::None;
    case kVkF5: return s.logOpen ? PaneCommand::Last : PaneCommand::None;
    default: return PaneCommand::None;
  }
}

}  // namespace kest

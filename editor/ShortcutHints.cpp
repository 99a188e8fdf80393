#include "editor/ShortcutHints.h"

#include <utility>
#include <vector>

namespace {

struct KeyNames {
  std::vector<std::string> windows, mac;
};

// Command is Ctrl on Windows; the texts call option "Alt" on both systems.
KeyNames namesOf(gui::ShiftState s) {
  KeyNames n;
  if (s & gui::cCommandBit) n.windows.push_back("Ctrl"), n.mac.push_back("Command");
  if (s & gui::cControlBit) n.windows.push_back("Control"), n.mac.push_back("Control");
  if (s & gui::cOptionBit) n.windows.push_back("Alt"), n.mac.push_back("Alt");
  if (s & gui::cShiftBit) n.windows.push_back("Shift"), n.mac.push_back("Shift");
  return n;
}

std::string joined(const std::vector<std::string>& names, const char* between) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) out += (i ? between : "") + names[i];
  return out;
}

// "the Shift key", "the Alt and Shift keys", "the Ctrl key (Windows) or
// Command key (Mac)".
std::string keyPhrase(gui::ShiftState s) {
  const KeyNames n = namesOf(s);
  const char* noun = n.windows.size() > 1 ? " keys" : " key";
  const std::string windows = joined(n.windows, " and "), mac = joined(n.mac, " and ");
  if (windows == mac) return "the " + windows + noun;
  return "the " + windows + noun + " (Windows) or " + (n.windows.size() > 1 ? "the " : "") + mac + noun + " (Mac)";
}

// "Shift-click", "Ctrl-click (Command-click on Mac)".
std::string clickPhrase(gui::ShiftState s) {
  const KeyNames n = namesOf(s);
  const std::string windows = joined(n.windows, "-"), mac = joined(n.mac, "-");
  if (windows == mac) return windows + "-click";
  return windows + "-click (" + mac + "-click on Mac)";
}

} // namespace

std::string hintWithKeysInForce(const std::string& text, const gui::ShiftStateMapping& mapping) {
  if (mapping.isDefault()) return text;
  const gui::ShiftState reset = mapping.getShiftState(gui::cPurposeReset);
  const gui::ShiftState fine = mapping.getShiftState(gui::cPurposeFine);
  const gui::ShiftState linked = mapping.getShiftState(gui::cPurposeLinked);
  // The phrases of the texts, each with the gesture it names. The filter
  // display mirrors with the reset and link keys together, cycles the
  // response with the reset key and the slope with the fine key.
  const std::pair<const char*, std::string> phrases[] = {
      {"holding down the Alt key", "holding down " + keyPhrase(linked)},
      {"hold down the Ctrl key (Windows) or Command key (Mac) and click",
       "hold down " + keyPhrase(reset) + " and click"},
      {"Hold down the Ctrl and Alt keys (Windows) or the Command and Alt keys (Mac) and drag",
       "Hold down " + keyPhrase(reset | linked) + " and drag"},
      {"Shift-click the button", clickPhrase(fine) + " the button"},
      {"Ctrl-click (Command-click on Mac) the button", clickPhrase(reset) + " the button"},
  };
  // One pass over the original, so that a replacement is never replaced again.
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    for (const auto& [from, to] : phrases)
      if (text.compare(i, std::char_traits<char>::length(from), from) == 0) {
        out += to;
        i += std::char_traits<char>::length(from);
        replaced = true;
        break;
      }
    if (!replaced) out += text[i++];
  }
  return out;
}

#pragma once
// "Paste PDN": PDN move text from the clipboard added to the shown game's tree
// from its root (moves already there are found again; new ones become
// variations). A text whose move cannot be played is refused whole.
#include <string>

#include "games/gamerecord.h"

namespace quorlin {

// What a paste did.
enum class TPdnPaste {
  Added,    // the moves, comments and variations are in the game
  Nothing,  // the text holds nothing to read
  Refused,  // a move could not be read or played: `error` says which; game unchanged
};

// Characters below 32 count as blanks.
TPdnPaste PastePdn(TGame& game, const std::string& clipboard, std::string& error);

}  // namespace quorlin

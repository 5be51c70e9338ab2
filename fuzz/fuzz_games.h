#pragma once
// Game records for the targets of the games readers.
#include <string>

#include "games/gamerecord.h"
#include "rules/variants.h"

namespace quorlin::fuzz {

// An empty game of a built-in variant (slot 1..14) at its usual start.
TGame NewGame(int variant);

// A custom variant (10 x 10, International rules) for bodies of TypeOfGame 0.
const TGameParams& CustomParams();

}  // namespace quorlin::fuzz

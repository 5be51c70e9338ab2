#pragma once
// Ballot openings: databases of short opening lines in the folder "Ballots"
// beside the program, from which a new game may start at a random line.
#include <cstdint>
#include <functional>
#include <string>

#include "games/gamerecord.h"

namespace quorlin {

inline constexpr const char* kBallotFolder = "Ballots";

// File name of the ballot database of a variant (1..14) for a ballot kind
// (1 "2-moves", 2 "Full"); empty when the variant has none of that kind.
std::string BallotFileName(int variant, int ballotKind);

// Ballots are used only on boards of 32 squares.
bool BallotsApply(const TGameParams& params);

// Reads a random game of the ballot database `path` (read-only) into `game`
// with its tree in the linked form and DBGameNo 0. False, with `error` naming
// the file and what went wrong, when the database cannot be opened, holds no
// game or the game cannot be read.
bool LoadBallotGame(const std::string& path, const std::function<uint32_t(uint32_t)>& randomBelow,
                    TGame& game, std::string& error);

}  // namespace quorlin

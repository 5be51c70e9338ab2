#pragma once
// The user's rating per variant: an Elo-style change after each rated game
// against the engine, with the expected score taken from a fixed table of
// rating differences and a step that shrinks with the games played.
#include <cstdint>

#include "rules/board.h"

namespace quorlin {

constexpr int kDefaultRating = 2000;

// Expected score in percent (0..100) of a player `diff` rating points above
// the opponent (negative: below). Differences beyond the table count as its
// last entry (100 or 0).
int ExpectedScore(int diff);

// The user's score in percent for a game result code (Part of the game
// record: 1/4 side white won, 2 draw, 3/5 side black won) when the user
// played `userSide`; -1 for a game without result.
int UserScore(uint8_t result, TDColor userSide);

// Step factor: 210 - 10 per game played, at least 20.
int RatingFactor(int gamesPlayed);

// Rating change for a game with the user's score (percent) against an engine
// of `engineElo`: factor x (score - expected) / 100, truncated towards zero.
int RatingDelta(int userRating, int gamesPlayed, int engineElo, int score);

}  // namespace quorlin

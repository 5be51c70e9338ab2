#pragma once
// Problems proven by the endgame databases: positions where the side to move
// wins and, at every one of its turns along the solution, exactly one move
// keeps the win; the defender answers with the move that holds out longest.
// Each problem is a game marked as a problem, its main line the solution.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/endgamedb.h"
#include "games/gamerecord.h"

namespace quorlin {

struct TProblemOptions {
  int variant = 0;
  int count = 10;          // problems wanted
  int minWinnerMoves = 3;  // moves the solver has to find, at least
  int maxPlies = 31;       // longest solution
  uint64_t seed = 1;
  int attempts = 200000;   // random positions tried at most
};

// Outcome of the position for its side to move as the databases know it:
// plies to the end (wins even, losses odd, 0 a draw), or -1 when unknown.
int DatabaseDistance(const TEndgameDb& db, const TBoard& board, TDColor side, int variant);

// Problems made from random positions of up to the databases' piece count.
// Each game has its start position, the solution as main line, the problem
// mark and the result; `made` reports each as it is found.
std::vector<TGame> MakeProblems(const TEndgameDb& db, const TProblemOptions& options,
                                const std::function<void(int made)>& progress = {});

// True when the main line of `game` is a solution as MakeProblems makes them:
// each move of the winner is the only winning move, the defender's the
// longest resistance, and the line ends with the defender unable to move.
bool CheckProblem(const TEndgameDb& db, const TGame& game, std::string* why = nullptr);

}  // namespace quorlin

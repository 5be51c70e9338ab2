#pragma once
// The record through which an engine publishes its state (TAnalysisInfo), the
// texts it shows, and the order of its root moves. The display reads the record
// under its lock `Used` and never waits for the engine otherwise.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/book.h"
#include "engine/scores.h"
#include "rules/board.h"
#include "rules/move.h"

namespace quorlin {

// Bounds of a value: min and max (equal after a finished pass), v a shallow
// estimate used to break ties.
struct TEval {
  float min = 0;
  float max = 0;
  float v = 0;
};

// A line of moves: Mvs[1..Length].
struct TPV {
  uint8_t Length = 0;
  std::array<TMove, 101> Mvs{};
};

struct TRootMove {
  uint8_t depth = 0;  // target ply reached by the last finished pass
  std::string PVs;    // the move's line as text
  TEval Eval;         // min/max: value of the move for the engine's side; v: shallow estimate
  TEval CurEval;      // not written
  int16_t Guess = 0;
  TPV PV;                  // the move's line as moves
  bool analysing = false;  // a worker is deepening it
  bool skip = false;       // not searched: it repeats a position of the game
};

// What an engine publishes while it works. Every field is guarded by `Used`:
// writers and readers hold it while they touch any field, so no text is ever
// seen half-written.
struct TAnalysisInfo {
  std::string EngineNm;
  std::string DepthStr;    // average root depth, "5,6"
  std::string Speed;       // "1234kN/s@2"
  std::string PV;          // line of the chosen or best root move
  std::string Time;        // "3.07"
  std::string Edb;         // database, table and learning status
  std::string PonderMove;  // stays empty (no pondering)
  std::string Info;        // last information line
  std::string Details;     // cleared at each call
  std::string PrintInfo;   // written by the display, not by the engine
  int32_t Depth = 0;       // average root depth x 10
  int32_t CurrentGamePos = 0;
  TBoard CurrentPos;  // not written
  TEval Eval;         // evaluation of the best (or chosen) root move
  bool IsPonder = false;
  bool AnalyseAll = false;
  bool ComputeAlways = false;
  uint8_t TotalMoves = 0;
  int32_t fastplay = 0;
  TPV TempPV;                        // work area of BuildPV
  TMvs moves1{};                     // the root moves, 1..TotalMoves
  std::array<uint8_t, 256> Sort{};   // root-move indices, best first, 1..TotalMoves
  std::array<TRootMove, 256> Moves;  // per root move, 1..TotalMoves
  TOpenMoves Openmoves;              // opening-book moves, filled by the display
  bool Updated = false;              // something shown changed; the display clears it
  mutable std::mutex Used;
};

// The one record the application shows. An engine publishes here unless it
// was given a record of its own.
extern TAnalysisInfo AnalysisInfo;

// Evaluation texts: 0.25, -1.50; xN(10) for a database result (10 plies from
// kDatabaseWin); x15 for a win in 15 plies (from kFullWindow).
std::string FormatScore(float x);
// min/max as one text: the value when they agree, "~" + the lower bound otherwise.
std::string FormatEval(const TEval& eval);

// Status texts: average root depth x 10 as "5,6"; centiseconds as "3.07".
std::string DepthStrOf(int avg10);
std::string TimeTextOf(int64_t cs);

// Centiseconds of a steady clock (the engine's time base).
int64_t EngineClockCs();

// Ordering of root moves: true when A is better than B.
bool RootBetter(const TEval& a, uint8_t aDepth, const TEval& b, uint8_t bDepth);

// Number of root moves, best first in info.Sort, whose min lies within
// `compress` of the best one (at least 1); the engine picks one of them at
// random. The caller holds info.Used.
int NearEqualCount(const TAnalysisInfo& info, float compress);

}  // namespace quorlin

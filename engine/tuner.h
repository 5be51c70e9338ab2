#pragma once
// The weights tuner: fits the evaluation weights of every stage of an engine
// description to game results by logistic regression. Each position of the
// games is first resolved to its quiet leaf (pending captures played out), so
// that the static evaluation is fitted where the search uses it. The fit
// minimises the cross-entropy between the result and the logistic of the
// evaluation, with L2 regularisation, and reports the loss on a held-out
// share of the games. Bitboard engines get per-square men and empty-square
// weights, material, king value and placement, flank balance, side to move
// and a few multi-square patterns picked from candidates of nearby squares;
// array-board engines (Version 211) get per-square men and king weights.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/enginefile.h"
#include "rules/board.h"

namespace quorlin {

struct TTuneOptions {
  int variant = 0;
  std::vector<std::string> games;  // game databases
  std::string startEngine;         // description whose search settings and layout are kept
  std::string outFolder;           // where the description and weights files go
  std::string name = "Trained";    // engine name and file base name
  int stages = 2;                  // piece-count stages (1 or 2)
  int passes = 400;                // gradient passes per fit
  double l2 = 2e-4;                // regularisation of every weight but material
  double validationShare = 0.1;    // share of the games held out
  int skipPlies = 6;               // opening plies skipped in every game
  int maxPositions = 250000;       // positions kept at most (an even sample of all)
  int maxPatterns = 24;            // multi-square patterns tried per stage
  double minPatternValue = 0.01;   // patterns worth less than this (in men) are dropped
  uint64_t seed = 1;
  std::function<void(const std::string&)> log;  // progress lines
};

// One training position: the quiet leaf, seen from its side to move.
struct TTuneSample {
  TBoard board;
  TDColor side = TDColor::white;
  float target = 0.5f;  // 1 win, 0.5 draw, 0 loss for the side to move
  uint8_t pieces = 0;
  bool validation = false;
};

struct TTuneStageReport {
  int minPieces = 0, maxPieces = 0;
  int train = 0, validation = 0;
  double trainLoss = 0, validationLoss = 0;  // after the fit
  double startValidationLoss = 0;            // of the start engine's weights (scaled by the material fit)
  double materialValidationLoss = 0;         // of a material-only fit
  int patterns = 0;                          // multi-square patterns kept
};

struct TTuneResult {
  int gamesUsed = 0, gamesSkipped = 0;
  std::vector<TTuneStageReport> stages;
  std::string engineFile;  // the description written
};

// The position at the end of the capture sequence the side to move would
// choose by material (pending captures played out); `side` is updated to the
// side to move there.
TBoard QuietLeaf(const TBoard& board, TDColor& side, int variant);

// Reads the positions of the games of the variant (games without a result are
// skipped). Every tenth game or so (by the seed) is marked for validation.
std::vector<TTuneSample> LoadTuneSamples(const TTuneOptions& options, TTuneResult& result);

// Fits and writes the engine. Throws std::runtime_error when the start engine
// cannot be read, there are too few positions, or a file cannot be written.
TTuneResult RunTuner(const TTuneOptions& options);

// The piece-count ranges of the stages the tuner fits: two (opening and
// middle game, endgame) when `stages` asks for them and both have positions
// enough, one for the array-board search (it reads only the first stage).
// Exposed for tests.
std::vector<std::pair<int, int>> TuneStageRanges(const std::vector<TTuneSample>& samples, int variant,
                                                 int stages, bool arrayBoard);

// Fits the weights of one stage on the samples whose piece count lies in
// [minPieces, maxPieces] and stores them in `eval` (which keeps its other
// fields). The fit starts from the weights of `start` (when given) and the
// regularisation draws towards them, so that few games cannot undo what the
// start engine knew. Exposed for tests.
TTuneStageReport FitStage(const std::vector<TTuneSample>& samples, int minPieces, int maxPieces,
                          const TTuneOptions& options, bool arrayBoard, TEvalFuncStatic& eval,
                          const TEvalFuncStatic* start = nullptr);

// The evaluation of a sample by the tuner's linear model with the weights of
// `eval` (in men, before the engine's compression of large scores). The
// engine's evaluation of the same position is SoftClamp of this; tests hold
// the two together.
double LinearEvaluation(const TTuneSample& sample, int variant, bool arrayBoard, const TEvalFuncStatic& eval);

}  // namespace quorlin

// quorlin eval: the static evaluation of a position by an engine description,
// with the stage the engine would use for it.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "engine/enginefile.h"
#include "engine/evaluation.h"
#include "engine/textfile.h"
#include "rules/fen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

std::string SideName(const TGameParams& p, int side) {
  return (side == 0) == p.intface.WhiteStart ? "White" : "Black";
}

int Eval(const Args& words) {
  const TArgs args(words, {"--fen"});
  args.ExpectPositionals(2, 2, "a variant and an engine description");
  const std::vector<std::string>& positional = args.Positionals();
  const int variant = ParseVariantArg(positional[0]);
  const TGameParams& params = VariantTable[variant];

  TEvalFunc ef;
  TEngineLoadNotes notes;
  if (!LoadEngine(positional[1], ef, variant, &notes))
    throw std::runtime_error("engine description \"" + positional[1] + "\" not found");

  TBoard board;
  int side = 0;
  if (args.Has("--fen"))
    ReadFenArg(params, args.Text("--fen"), board, side);
  else
    board.b = StartPosition(params, false);
  int pieces = 0;
  for (int s = 1; s <= params.compute.BoardSize; ++s) pieces += board.b[s] != kEmpty;

  const bool arrayBoard = ef.Version == kArrayBoardVersion;
  std::printf("engine: %s (Version %d, %s evaluation)\n", ef.Name.c_str(), ef.Version,
              arrayBoard ? "array-board" : "bitboard");
  std::printf("position: %d pieces, %s to move\n", pieces, SideName(params, side).c_str());

  float value;
  int stage;
  if (arrayBoard) {
    // The array-board search evaluates every position with the first stage.
    stage = 0;
    value =
        count(side == 0 ? TDColor::white : TDColor::black, board, 0, ef.Giveaway, ef.Stages[0].Eval, params);
  } else {
    TBitBoard64 bb;
    BoardToBit64(board, bb, variant);
    stage = GetStageCnt(ef, pieces);
    if (side == 1) FlipBitBoard(bb, variant);
    if (variant == kTurkish) bb = CanonicalMirror64(bb);
    value = count64bit40(bb, 0, ef.Stages[stage].Eval, TEvalContext{variant, ef.Giveaway, nullptr});
  }
  const TEngineStage& s = ef.Stages[stage];
  std::string weights =
      notes.WeightsFile[stage].empty() ? "no weights file" : "weights " + notes.WeightsFile[stage];
  if (!notes.WeightsFile[stage].empty() && !notes.WeightsFound[stage])
    weights += " (missing: defaults in use)";
  if (s.Eval.UseNN) weights += " (network " + NetShapeText(s.Eval.Net) + ")";
  std::printf("stage: %d (pieces %d..%d, %s)\n", stage, s.MinDraughts, s.MaxDraughts, weights.c_str());
  std::printf("evaluation: %s (for the side to move, in men)\n", FormatSingle(value).c_str());
  return 0;
}

Command eval("eval", "eval VARIANT ENGINE.eng [--fen FEN]",
             "static evaluation of the start position or a FEN by an engine description", Eval);

}  // namespace
}  // namespace quorlin::cli

#include "app/analysisdisplay.h"

namespace quorlin {

uint32_t BookMoveColour(int col) {
  switch (col) {
    case 1:
      return kColourBookWeak;
    case 2:
      return kColourBookPlayable;
    case 3:
      return kColourBookGood;
    default:
      return kColourBookNone;
  }
}

std::string EngineStatusLine(const TAnalysisInfo& info) {
  if (!info.Info.empty()) return info.Info;
  if (info.DepthStr.empty()) return "";
  return info.EngineNm + ": " + info.DepthStr + ", " + info.Speed + ",  " + info.Time + ",  " + info.Edb +
         "\r";
}

std::vector<TDisplayRow> AnalysisRows(const TAnalysisInfo& info, const std::string& status) {
  std::vector<TDisplayRow> rows{{"", status, kColourText}};
  for (int i = 1; i <= info.TotalMoves; ++i) {
    const TRootMove& m = info.Moves[info.Sort[i]];
    std::string first = m.skip ? "x " : m.analysing ? "* " : "";
    first += FormatEval(m.Eval);
    std::string second = m.depth > 0 ? "[" + std::to_string(m.depth) + "] " + info.PonderMove + m.PVs : m.PVs;
    rows.push_back({first, second, kColourText});
  }
  return rows;
}

std::vector<TDisplayRow> BookRows(const TOpenMoves& moves) {
  std::vector<TDisplayRow> rows;
  for (int i = 1; i <= moves.Op_moves; ++i) {
    const TOpenMove& m = moves.openmoves[i];
    rows.push_back({m.move, m.stat, BookMoveColour(m.col)});
  }
  return rows;
}

bool BestScore(const TAnalysisInfo& info, float& score) {
  if (info.TotalMoves == 0) return false;
  const TRootMove& best = info.Moves[info.Sort[1]];
  if (best.Eval.min <= -2000 || best.Eval.max >= 2000) return false;  // no pass finished yet
  score = best.Eval.min;
  return true;
}

}  // namespace quorlin

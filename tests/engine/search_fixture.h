#pragma once
// Small engines and positions for the search and engine tests: a material and
// advancement engine written as .eng/.evf files, and games built from FEN.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/egdbgen.h"
#include "engine/engine.h"
#include "engine/evaluation.h"
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin::test {

struct TTestEngineOptions {
  int maxDepth = 0;
  int maxThreads = 0;
  int maxPos = 0;
  int edMaxDraughts = 0;
  bool giveaway = false;
  float compress = 0;
  float extMin = 5, extMax = 5;        // single-reply extension window (off by default)
  float reductMin = 5, reductMax = 5;  // reduced probes window (off by default)
  float range = 1;
  int version = kBitboardVersion;
};

inline std::string Hex16(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(v));
  return buf;
}

// Weights: 100 a man, kings by the board's default, 4 per row a man has
// advanced (single-square patterns for both sides).
inline std::string MaterialEvfText(int variant, float compress, int version) {
  const TGameParams& p = VariantTable[variant];
  std::string t =
      "[Version \"" + std::to_string(version) + "\"]\r\n[ManValue \"100\"]\r\n[SideToMove \"5\"]\r\n";
  char c[32];
  std::snprintf(c, sizeof c, "%g", static_cast<double>(compress));
  t += std::string("[Compress \"") + c + "\"]\r\n";
  for (int s = 1; s <= p.compute.BoardSize; ++s) {
    const int row = SquareRow(p, s);
    if (version == kArrayBoardVersion) {
      t += "[FieldsWS \"" + std::to_string(s) + " " + std::to_string(4 * row) + "\"]\r\n";
      t += "[FieldsBS \"" + std::to_string(s) + " " + std::to_string(4 * (p.BoardHeight - 1 - row)) +
           "\"]\r\n";
      continue;
    }
    TBoard one;
    one.b[s] = kWhiteMan;
    TBitBoard64 bb;
    BoardToBit64(one, bb, variant);
    if (bb.w == 0) continue;
    t += "[Mask \"" + Hex16(bb.w) + " " + Hex16(0) + " " + Hex16(0) + " " + std::to_string(4 * row) +
         "\"]\r\n";
    t += "[Mask \"" + Hex16(0) + " " + Hex16(bb.w) + " " + Hex16(0) + " " +
         std::to_string(-4 * (p.BoardHeight - 1 - row)) + "\"]\r\n";
  }
  return t;
}

inline std::filesystem::path WriteTestEngine(const std::filesystem::path& dir, int variant,
                                             const TTestEngineOptions& o = {}) {
  auto f = [](float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", static_cast<double>(v));
    return std::string(b);
  };
  WriteFile(dir / "t.evf", MaterialEvfText(variant, o.compress, o.version));
  std::string e = "[Name \"Test\"]\r\n[Version \"" + std::to_string(o.version) + "\"]\r\n";
  e += "[GiveAway \"" + std::string(o.giveaway ? "True" : "False") + "\"]\r\n";
  e += "[MaxDepth \"" + std::to_string(o.maxDepth) + "\"]\r\n";
  e += "[MaxThreads \"" + std::to_string(o.maxThreads) + "\"]\r\n";
  e += "[MaxPos \"" + std::to_string(o.maxPos) + "\"]\r\n";
  e += "[Stage \"0\"]\r\n[MinDraughts \"0\"]\r\n[MaxDraughts \"128\"]\r\n";
  e += "[EDMaxDraughts \"" + std::to_string(o.edMaxDraughts) + "\"]\r\n";
  e += "[ExtSelfMin \"" + f(o.extMin) + "\"]\r\n[ExtSelfMax \"" + f(o.extMax) + "\"]\r\n";
  e += "[ExtOppMin \"" + f(o.extMin) + "\"]\r\n[ExtOppMax \"" + f(o.extMax) + "\"]\r\n";
  e += "[ReductAlphaMin \"" + f(o.reductMin) + "\"]\r\n[ReductAlphaMax \"" + f(o.reductMax) + "\"]\r\n";
  e += "[ReductBetaMin \"" + f(o.reductMin) + "\"]\r\n[ReductBetaMax \"" + f(o.reductMax) + "\"]\r\n";
  e += "[RangeAlphaSelf \"" + f(o.range) + "\"]\r\n[RangeAlphaOpp \"" + f(o.range) + "\"]\r\n";
  e += "[RangeBetaSelf \"" + f(o.range) + "\"]\r\n[RangeBetaOpp \"" + f(o.range) + "\"]\r\n";
  e += "[EvalFNC \"t.evf\"]\r\n";
  WriteFile(dir / "t.eng", e);
  return dir / "t.eng";
}

// A game whose start and current position is `fen` ("" = the start position).
inline TGame GameFromFen(int variant, const std::string& fen) {
  const TGameParams& params = VariantTable[variant];
  TGame game;
  ClearGame(game);
  game.Params = params;
  game.Header.TypeOfGame = static_cast<uint8_t>(variant);
  int side = 0;
  if (fen.empty())
    game.CurBoard.b = StartPosition(params, false);
  else
    ParseFEN(params, fen, game.CurBoard.b, side);
  game.StartBoard = game.CurBoard.b;
  game.SideToMove = side == 0 ? TDColor::white : TDColor::black;
  game.Header.FirstMove = game.SideToMove;
  return game;
}

inline int Sq(int variant, const std::string& name) { return FindAlphaSquare(VariantTable[variant], name); }

// Position of a FEN as the search sees it: side to move in w.
inline TBitBoard64 Oriented(int variant, const std::string& fen) {
  const TGame g = GameFromFen(variant, fen);
  TBitBoard64 bb;
  BoardToBit64(g.CurBoard, bb, variant);
  if (g.SideToMove == TDColor::black) FlipBitBoard(bb, variant);
  return bb;
}

// An engine loaded from a test description, with a small table and its own
// published record and stop flag.
struct TTestEngine {
  TAnalysisInfo info;
  std::atomic<bool> stop{false};
  TEngine engine{&info, &stop, 4};

  TTestEngine(int variant, const TTestEngineOptions& o = {}, const std::string& hint = "engine") {
    const auto dir = FreshDir(hint);
    EXPECT_TRUE(engine.LoadFromFile(WriteTestEngine(dir, variant, o), variant));
  }
};

// --- Checks against generated endgame databases --------------------------------

struct TDbSample {
  TBitBoard64 bb;  // White (w) to move, won in `plies`
  int plies;
};

// Won positions of the 3-piece classes, at most `perDistance` for each
// distance up to `maxPlies`, taken evenly through each class.
inline std::vector<TDbSample> WonPositions(const TEgdbGenerator& gen, const TEgdbBuildResult& res,
                                           int maxPlies, int perDistance) {
  std::vector<TDbSample> out;
  std::map<int, int> taken;
  for (const TEgdbClassReport& r : res.classes) {
    if (r.cls.pieces() != 3) continue;
    const std::vector<uint16_t>* values = gen.Values(r.cls.id());
    if (!values) continue;
    const size_t step = std::max<size_t>(1, values->size() / 97);
    for (size_t i = 0; i < values->size(); i += step) {
      const int v = (*values)[i];
      if (v == 0 || v % 2 != 0 || v > maxPlies || taken[v] >= perDistance) continue;
      TBitBoard64 bb;
      if (!DecodePositionIndex(r.cls, i, gen.Geometry(), gen.MenLists(), bb)) continue;
      ++taken[v];
      out.push_back({bb, v});
    }
  }
  return out;
}

// True when Black, to move after White's move, is lost by the databases.
inline bool StillWon(const TEgdbGenerator& gen, int variant, const TBoard& before, const TMove& move) {
  TBoard after = before;
  ApplyMove(move, after, VariantTable[variant]);
  TBitBoard64 bb;
  BoardToBit64(after, bb, variant);
  FlipBitBoard(bb, variant);
  if (bb.w == 0) return true;  // nothing left to move
  TEdbClass cls;
  uint64_t index = 0;
  if (!gen.Masks().PositionIndex(bb, cls, index)) return false;
  const std::vector<uint16_t>* values = gen.Values(cls.id());
  if (!values || index >= values->size()) return false;
  const int v = (*values)[index];
  return v != 0 && v % 2 == 1;
}

inline TGame GameOfBitboard(int variant, const TBitBoard64& bb) {
  TGame game = GameFromFen(variant, "W:W:B");
  Bit64toBoard(bb, game.CurBoard.b, variant);
  game.StartBoard = game.CurBoard.b;
  game.SideToMove = TDColor::white;
  game.Header.FirstMove = TDColor::white;
  return game;
}

// Builds the 3-piece databases of a variant, then: without databases the
// search finds every win up to `maxPlies` and keeps it; with them loaded, a
// shallow search keeps every win, however long.
inline void CheckEndgameWins(int variant, int maxDepth, int maxPlies, int perDistance) {
  SCOPED_TRACE(VariantTable[variant].Name);
  const auto dir = FreshDir("egdb");
  TEgdbBuildOptions opt;
  opt.variant = variant;
  opt.maxPieces = 3;
  opt.type = ebMTW;
  opt.outFolder = dir.string();
  TEgdbGenerator gen(opt);
  const TEgdbBuildResult res = gen.Run();
  ASSERT_TRUE(res.ok) << res.error;
  const TGameParams& params = VariantTable[variant];
  {
    TTestEngineOptions o;
    o.maxDepth = maxDepth;
    TTestEngine t(variant, o, "nodb");
    const auto samples = WonPositions(gen, res, maxPlies, perDistance);
    EXPECT_GE(samples.size(), 3u);
    for (const TDbSample& s : samples) {
      const TGame game = GameOfBitboard(variant, s.bb);
      TMove best;
      ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0));
      EXPECT_TRUE(StillWon(gen, variant, game.CurBoard, best))
          << "win in " << s.plies << " let go by " << MoveText(best, params, 1, "x");
      std::lock_guard<std::mutex> g(t.info.Used);
      EXPECT_GT(t.info.Eval.min, 1000.0f) << "win in " << s.plies << " not seen: " << FormatEval(t.info.Eval);
    }
  }
  {
    TTestEngineOptions o;
    o.maxDepth = 5;
    o.edMaxDraughts = 8;
    TTestEngine t(variant, o, "withdb");
    t.engine.SetEDFolder(dir.string());
    const auto samples = WonPositions(gen, res, 255, 1);
    EXPECT_GE(samples.size(), 3u);
    for (const TDbSample& s : samples) {
      const TGame game = GameOfBitboard(variant, s.bb);
      TMove best;
      ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0));
      EXPECT_TRUE(StillWon(gen, variant, game.CurBoard, best))
          << "win in " << s.plies << " let go by " << MoveText(best, params, 1, "x");
      std::lock_guard<std::mutex> g(t.info.Used);
      EXPECT_GT(t.info.Eval.min, 1000.0f) << "win in " << s.plies << ": " << FormatEval(t.info.Eval);
    }
    EXPECT_GT(t.engine.GetEdb(), 0);
  }
}

}  // namespace quorlin::test

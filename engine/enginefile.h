#pragma once
// Engine descriptions (.eng): name, version, limits, and the stages with their
// search parameters and evaluation weights files.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/evalfile.h"
#include "engine/scores.h"

namespace quorlin {

struct TEngineStage {
  bool UseLearning = false;
  int32_t MinDraughts = 0;
  int32_t MaxDraughts = 0;
  int32_t EDMaxDraughts = 0;
  int32_t MovesCntTot = 0;
  int32_t MovesCntMin = 0;
  float ReductAlphaMin = 0, ReductAlphaMax = 0, ReductBetaMin = 0, ReductBetaMax = 0;
  float ExtSelfMin = 0, ExtSelfMax = 0, ExtOppMin = 0, ExtOppMax = 0;
  float RangeAlphaSelf = 0, RangeAlphaOpp = 0, RangeBetaSelf = 0, RangeBetaOpp = 0;
  TEvalFuncStatic Eval;
};

struct TEvalFunc {
  std::string Name;
  int32_t Version = 0;  // 211: array-board search and evaluation; anything else: bitboard
  int32_t ELO = 0;
  int32_t MaxThreads = 0;
  int32_t MaxDepth = 0;
  int32_t MaxPos = 0;
  bool Giveaway = false;
  bool UseBook = false;
  std::vector<TEngineStage> Stages = std::vector<TEngineStage>(1);  // at least one
};

// Highest stage number a description may use (stages cover piece counts,
// which never exceed 128).
constexpr int32_t kMaxStage = 127;

// What LoadEngine found besides the record: per stage the weights file named
// by its "EvalFNC" line (empty when none) and whether that file exists.
struct TEngineLoadNotes {
  std::vector<std::string> WeightsFile;
  std::vector<bool> WeightsFound;
};

// Reads an engine description. Returns false when the file does not exist;
// then only stage 0 is kept and nothing else changes. Throws TFileError for a
// bad value (naming the file, line and tag; a weights file's own errors name
// that file) and when a bitboard Version is given for a variant that has no
// bitboard search (Frisian, Canadian, custom); `ef` is then left as it was.
bool LoadEngine(const std::filesystem::path& path, TEvalFunc& ef, int typeofgame,
                TEngineLoadNotes* notes = nullptr);

// Writes the description and, beside it, one weights file per stage named
// after the description: Tests0.evf, Tests1.mynn, ... for Test.eng. Throws
// TFileError when a file cannot be written.
void SaveEngine(const std::filesystem::path& path, const TEvalFunc& ef);

// Empty when engines of this Version can play the variant, else why not.
std::string EngineVersionProblem(int32_t version, int typeofgame);

// Every keyword of the description format (tests check that none begins with
// another, so that the order of the tags never matters).
std::vector<std::string> EngineFileKeywords();

// Index of the first stage whose MinDraughts <= draughts <= MaxDraughts, else 0.
int GetStageCnt(const TEvalFunc& ef, int draughts);

}  // namespace quorlin

#pragma once
// Endgame database generator: exact results for every material class up to a
// number of pieces, by retrograde analysis over the variant's real move
// generator, written in the layout and naming the database reader loads.
//
// Classes are solved in dependency order: fewer pieces first (captures lead
// there), then fewer men (crowning leads there), then, within one material and
// its colour-swapped twin, the men configurations furthest advanced first (men
// moves lead there). Inside one slice only reversible moves remain (king moves,
// and the sideways men moves of orthogonal variants); these are solved by
// retrograde analysis in order of distance, with predecessors found by playing
// the reversible moves backwards with the same generator.
//
// Stored values: MTW the plies to the end, O, with wins even and losses odd: a
// side that cannot move (or has no pieces) loses in 1, a win in O is a move to
// a loss in O - 1, a loss in O has only wins, the longest being a win in O - 1;
// 0 is a draw. WDL: 0 draw, 1 loss, 2 win.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/endgamedb.h"
#include "rules/board.h"

namespace quorlin {

struct TEgdbBuildOptions {
  int variant = 0;
  int maxPieces = 2;
  TEbType type = ebMTW;   // MTW or WDL
  std::string outFolder;  // database folder: files go to outFolder/<variant>/<type>/
  bool writeFiles = true;
  std::function<void(const std::string&)> progress;  // one line per class
};

struct TEgdbClassReport {
  TEdbClass cls;
  uint64_t positions = 0;  // valid positions (slots where men overlap excluded)
  uint64_t wins = 0, losses = 0, draws = 0;
  int longest = 0;     // largest stored distance
  double seconds = 0;  // solving time of its slice, shared out by size
  uint64_t bytes = 0;  // file size
};

struct TEgdbBuildResult {
  bool ok = false;
  std::string error;
  std::vector<TEgdbClassReport> classes;
  double seconds = 0;
  uint64_t bytes = 0;
};

// Decodes position number `index` of a class into a bitboard (side to move in
// w). False for a slot where men of both sides would share a square. Needs the
// `menLists` from MenConfigurations.
using TMenLists = std::vector<std::vector<std::vector<uint64_t>>>;  // [count][temps] -> masks by num
// The lists hold the configurations of up to `maxMen` men per side.
TMenLists MenConfigurations(const TEdbGeometry& g, int maxMen = 7);
bool DecodePositionIndex(const TEdbClass& cls, uint64_t index, const TEdbGeometry& g,
                         const TMenLists& menLists, TBitBoard64& bb);

// The generator. Keeps every solved class in memory (values as plies, before
// any file coding) so that callers can compare files against them.
class TEgdbGenerator {
 public:
  explicit TEgdbGenerator(TEgdbBuildOptions options);
  TEgdbBuildResult Run();
  // Plies value of every position of a solved class (nullptr when unknown).
  const std::vector<uint16_t>* Values(int32_t classId) const;
  const TEdbGeometry& Geometry() const { return g_; }
  // The men configurations of the board (after Run).
  const TMaskTable& Masks() const { return *masks_; }
  const TMenLists& MenLists() const { return men_; }

 private:
  struct TSlice;
  bool SolveSlice(const TEdbClass& a, const TEdbClass& b, TEgdbBuildResult& result);
  bool Decode(const TSlice& slice, uint64_t p, TBitBoard64& bb) const;
  bool ForwardPass(TSlice& slice);
  bool BackwardPass(TSlice& slice);
  bool ReportSlice(const TSlice& slice, double seconds, TEgdbBuildResult& result);
  bool WriteClass(const TEdbClass& cls, const std::vector<uint16_t>& values, TEgdbClassReport& report);

  TEgdbBuildOptions opt_;
  TEdbGeometry g_;
  std::shared_ptr<const TMaskTable> masks_;
  TMenLists men_;
  std::unordered_map<int32_t, std::vector<uint16_t>> values_;
  std::string error_;
};

// Convenience: builds and writes the databases; the result lists every class.
TEgdbBuildResult BuildEndgameDatabases(const TEgdbBuildOptions& options);

// Stored value as the command prints it: "win N", "loss N", "win", "loss",
// "draw" (N only for MTW).
std::string EndgameValueText(uint8_t value, TEbType type);

}  // namespace quorlin

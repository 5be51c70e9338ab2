// quorlin variants / quorlin start: the variant table and start positions.
#include <cstdio>
#include <string>

#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

const char* kNotationKinds[] = {"alphanumeric", "numeric (International)", "numeric (English)",
                                "numeric (Italian)", "numeric (internal)"};

std::string RuleFlags(const TGameParams& p) {
  std::string s;
  auto add = [&](bool on, const char* name) {
    if (!on) return;
    if (!s.empty()) s += ",";
    s += name;
  };
  add(p.MenTakeBackWards, "MenTakeBackWards");
  add(p.FlyingKing, "FlyingKing");
  add(p.CrowningOnCapture, "CrowningOnCapture");
  add(p.TakeMax, "TakeMax");
  add(p.TakeKingsMax, "TakeKingsMax");
  add(p.MenTakeKings, "MenTakeKings");
  add(p.KingsTakeFirst, "KingsTakeFirst");
  add(p.KingEqualPriority, "KingEqualPriority");
  add(p.KingGoesBack, "KingGoesBack");
  add(p.TurkishCapture, "TurkishCapture");
  add(p.MustCapture, "MustCapture");
  add(p.ItalianCapture, "ItalianCapture");
  add(p.FrisianCapture, "FrisianCapture");
  if (p.FlyingKingStop) {
    if (!s.empty()) s += ",";
    s += "FlyingKingStop=" + std::to_string(p.FlyingKingStop);
  }
  return s;
}

int Variants(const Args& words) {
  TArgs(words, {}).ExpectPositionals(0, 0, "no arguments");
  std::printf("%-4s %-22s %-4s %-8s %-26s %s\n", "slot", "name", "pdn", "board", "notation", "rules");
  for (int slot = 1; slot <= kVariantCount; ++slot) {
    const TGameParams& p = VariantTable[slot];
    const std::string board = std::to_string(p.BoardWidth) + "x" + std::to_string(p.BoardHeight) +
                              "/" + std::to_string(p.compute.BoardSize);
    std::printf("%-4d %-22s %-4d %-8s %-26s %s\n", slot, p.Name.c_str(), p.PDNGameType, board.c_str(),
                (std::to_string(p.intface.Notation) + " " + kNotationKinds[p.intface.Notation]).c_str(),
                RuleFlags(p).c_str());
  }
  return 0;
}

// Text diagram with the last row on top, as White sees the board.
void PrintDiagram(const TGameParams& p, const TBrd& cells) {
  for (int row = p.BoardHeight - 1; row >= 0; --row) {
    std::printf("%3d ", row + 1);
    for (int col = 1; col <= p.BoardWidth; ++col) {
      const int s = SquareAt(p, row, col);
      char c = ' ';
      if (s) {
        switch (cells[s]) {
          case kWhiteMan: c = 'w'; break;
          case kWhiteKing: c = 'W'; break;
          case kBlackMan: c = 'b'; break;
          case kBlackKing: c = 'B'; break;
          default: c = '.';
        }
      }
      std::printf(" %c", c);
    }
    std::printf("\n");
  }
  std::printf("    ");
  static const char kFiles[] = "abcdefghikmnoprs";
  for (int col = 1; col <= p.BoardWidth; ++col) std::printf(" %c", kFiles[col - 1]);
  std::printf("\n");
}

int Start(const Args& words) {
  const TArgs args(words, {});
  args.ExpectPositionals(1, 1, "one variant");
  const int slot = ParseVariantArg(args.Positionals()[0]);
  const TGameParams& p = VariantTable[slot];
  std::printf("%s (slot %d): w = first-moving side's men (shown as %s), b = the other side's\n",
              p.Name.c_str(), slot, p.intface.WhiteStart ? "White" : "Black");
  PrintDiagram(p, StartPosition(p, false));
  return 0;
}

Command variants("variants", "variants", "list the fourteen built-in variants", Variants);
Command start("start", "start VARIANT", "print a variant's start position", Start);

}  // namespace
}  // namespace quorlin::cli

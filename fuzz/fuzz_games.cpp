#include "fuzz/fuzz_games.h"

#include "rules/variantdef.h"

namespace quorlin::fuzz {

TGame NewGame(int variant) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[variant];
  g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  g.StartBoard = StartPosition(g.Params, true);
  return g;
}

const TGameParams& CustomParams() {
  static const TGameParams params = [] {
    TGameParams p = VariantTable[kInternational];
    std::string error;
    std::string text;
    FormatVariantDefinition(p, "", text, error);
    ParseVariantDefinition(text, p, error);
    p.Name = "Custom";
    return p;
  }();
  return params;
}

}  // namespace quorlin::fuzz

// PDN move text as "Paste PDN" passes it (characters below 32 made blanks),
// read into a game of any variant. The tree must stay sound, and reading the
// same text again must add no node.
#include <string>

#include "fuzz/fuzz_games.h"
#include "fuzz/fuzz_support.h"
#include "games/bodycodec.h"
#include "games/pdnreader.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int variant = 1 + in.Pick(kVariantCount);
  std::string text(in.Rest());
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';

  TGame game = fuzz::NewGame(variant);
  std::string first = text;
  bool stop = false;
  ReadMoveText(first, game, stop);
  std::string error;
  FUZZ_CHECK(CheckGameTree(game, error), "broken tree: " + error);
  if (stop) return 0;

  const int32_t nodes = game.Header.LastMove;
  std::string second = text;
  bool stop2 = false;
  ReadMoveText(second, game, stop2);
  FUZZ_CHECK(!stop2, "the second reading stopped where the first did not");
  FUZZ_CHECK(game.Header.LastMove == nodes, "reading the same text twice added nodes");
  FUZZ_CHECK(CheckGameTree(game, error), "broken tree after the second reading: " + error);
  return 0;
}

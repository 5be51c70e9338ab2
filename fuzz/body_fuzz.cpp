// Game bodies of the games file in the three formats (20, 30, 38). A body
// that decodes is encoded again; that encoding must decode and encode to the
// same bytes.
#include <string>
#include <vector>

#include "fuzz/fuzz_games.h"
#include "fuzz/fuzz_support.h"
#include "games/bodycodec.h"

using namespace quorlin;

namespace {

TGame Blank(int typeOfGame, int32_t lastMove) {
  TGame g = typeOfGame ? fuzz::NewGame(typeOfGame) : fuzz::NewGame(kInternational);
  if (!typeOfGame) {
    g.Params = fuzz::CustomParams();
    g.Header.TypeOfGame = 0;
  }
  g.Header.LastMove = lastMove;
  return g;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int kVersions[] = {kBodyVersion20, kBodyVersion30, kBodyVersion38};
  fuzz::TInput in(data, size);
  const int version = kVersions[in.Pick(3)];
  const int typeOfGame = in.Pick(kVariantCount + 1);
  int32_t lastMove = in.Byte();
  lastMove = lastMove * 256 + in.Byte();
  lastMove %= 4096;  // the header's node count; larger trees only cost time
  const std::string_view body = in.Rest();

  TGame game = Blank(typeOfGame, lastMove);
  std::string error;
  if (!DecodeBody(reinterpret_cast<const uint8_t*>(body.data()), body.size(), game, version, error)) {
    FUZZ_CHECK(!error.empty(), "refused without saying why");
    return 0;
  }
  game.Version = version == kBodyVersion38 ? kBodyVersion38 : kBodyVersion30;
  FUZZ_CHECK(CheckGameTree(game, error), "decoded tree is not sound: " + error);

  // Format 20 is read only; such a game is stored as 38.
  const int out = version == kBodyVersion20 ? kBodyVersion38 : version;
  if (game.Version == kBodyVersion30 && out == kBodyVersion38) LinkTree(game);
  std::vector<uint8_t> first, second;
  if (!EncodeBody(game, out, first, error)) return 0;  // e.g. a capture too long to store
  TGame again = Blank(typeOfGame, game.Header.LastMove);
  FUZZ_CHECK(DecodeBody(first.data(), first.size(), again, out, error), "written body refused: " + error);
  again.Version = out;
  FUZZ_CHECK(EncodeBody(again, out, second, error), "body read back cannot be written: " + error);
  FUZZ_CHECK(first == second, "body read back encodes differently");
  return 0;
}

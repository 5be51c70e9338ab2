// Build step: writes the picture sets and the move sound the program ships.
//   mkpictures OUTDIR
// OUTDIR/Pictures/Boards/<set>/light.png, dark.png
// OUTDIR/Pictures/Pieces/<set>/White|Black/Man.png, King.png
// OUTDIR/move.wav and OUTDIR/quorlin-draughts.png (the icon)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/pictures.h"

namespace fs = std::filesystem;
using namespace quorlin;

namespace {

bool Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) std::fprintf(stderr, "mkpictures: cannot write %s\n", p.c_str());
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkpictures OUTDIR\n");
    return 2;
  }
  const fs::path out = argv[1];
  bool ok = true;
  const struct {
    const char* name;
    TBoardStyle style;
  } boards[] = {{"Wood", TBoardStyle::Wood}, {"Green", TBoardStyle::Green}};
  for (const auto& b : boards) {
    const fs::path dir = out / "Pictures" / "Boards" / b.name;
    ok &= Write(dir / "light.png", EncodePNG(DrawBoardTexture(b.style, false)));
    ok &= Write(dir / "dark.png", EncodePNG(DrawBoardTexture(b.style, true)));
  }
  const struct {
    const char* name;
    TPieceStyle style;
  } pieces[] = {{"Turned", TPieceStyle::Turned}, {"Flat", TPieceStyle::Flat}};
  for (const auto& p : pieces) {
    for (bool light : {true, false}) {
      const fs::path dir = out / "Pictures" / "Pieces" / p.name / (light ? "White" : "Black");
      ok &= Write(dir / "Man.png", EncodePNG(DrawPiece(p.style, light, false)));
      ok &= Write(dir / "King.png", EncodePNG(DrawPiece(p.style, light, true)));
    }
  }
  ok &= Write(out / "move.wav", SynthesizeMoveSound());
  ok &= Write(out / "quorlin-draughts.png", EncodePNG(DrawIcon(256)));
  return ok ? 0 : 1;
}

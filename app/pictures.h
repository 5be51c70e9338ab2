#pragma once
// The program's own pictures, drawn in code: board textures (wood or plain
// colours), men and kings (turned wood or flat discs, kings with a crown or a
// star), the last-move marker and the program icon; and PNG encoding so that a
// build step can ship them as picture sets.
#include <cstdint>
#include <string>
#include <vector>

namespace quorlin {

// 32-bit pixels 0xAARRGGBB, not premultiplied, rows top to bottom.
struct TImageRGBA {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  TImageRGBA() = default;
  TImageRGBA(int w, int h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * h, fill) {}
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
  uint32_t& At(int x, int y) { return pixels[size_t(y) * width + x]; }
};

enum class TBoardStyle { Wood, Green };
enum class TPieceStyle { Turned, Flat };

constexpr int kTextureSize = 920;
constexpr int kPiecePictureSize = 128;
constexpr int kMarkerSize = 128;

// A whole-board texture of the light or dark squares.
TImageRGBA DrawBoardTexture(TBoardStyle style, bool dark, int size = kTextureSize);
// A man or a king of the light (`light`) or dark side on a transparent background.
TImageRGBA DrawPiece(TPieceStyle style, bool light, bool king, int size = kPiecePictureSize);
// The last-move marker: a translucent frame stretched over a square.
TImageRGBA DrawMoveMarker(int size = kMarkerSize);
// The program icon: a corner of a board with a man and a king.
TImageRGBA DrawIcon(int size);

// Draws `top` over `bottom` at (x, y) (source-over blending).
void Composite(TImageRGBA& bottom, const TImageRGBA& top, int x, int y);

// The image as a PNG file (8-bit RGBA).
std::string EncodePNG(const TImageRGBA& image);

// "move.wav": a short wooden click, 16-bit mono PCM at 44.1 kHz.
std::string SynthesizeMoveSound();

}  // namespace quorlin

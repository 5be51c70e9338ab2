#include "app/pictures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/windowsettings.h"
#include "test_support.h"

namespace quorlin {
namespace {

uint32_t BigEndian32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
         uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

uint32_t LittleEndian(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(s[at + i]);
  return v;
}

int Alpha(uint32_t p) { return p >> 24; }

TEST(Pictures, PiecesAreDiscsOnATransparentGroundAndKingsCarryAMark) {
  for (TPieceStyle style : {TPieceStyle::Turned, TPieceStyle::Flat}) {
    for (bool light : {true, false}) {
      const TImageRGBA man = DrawPiece(style, light, false);
      const TImageRGBA king = DrawPiece(style, light, true);
      ASSERT_EQ(man.width, kPiecePictureSize);
      EXPECT_EQ(Alpha(man.At(0, 0)), 0) << "corners are transparent";
      EXPECT_EQ(Alpha(man.At(kPiecePictureSize / 2, kPiecePictureSize / 2)), 255);
      // The king mark changes the middle of the piece.
      int differing = 0;
      for (int y = 40; y < 88; ++y) {
        for (int x = 40; x < 88; ++x) differing += man.At(x, y) != king.At(x, y);
      }
      EXPECT_GT(differing, 400);
    }
  }
  // Light and dark men are told apart by brightness.
  const uint32_t lightMid = DrawPiece(TPieceStyle::Turned, true, false).At(64, 64);
  const uint32_t darkMid = DrawPiece(TPieceStyle::Turned, false, false).At(64, 64);
  EXPECT_GT((lightMid >> 8) & 255, ((darkMid >> 8) & 255) + 100);
}

TEST(Pictures, TexturesAreOpaqueAndDarkIsDarker) {
  for (TBoardStyle style : {TBoardStyle::Wood, TBoardStyle::Green}) {
    const TImageRGBA light = DrawBoardTexture(style, false, 64);
    const TImageRGBA dark = DrawBoardTexture(style, true, 64);
    long lightSum = 0, darkSum = 0;
    for (int i = 0; i < 64 * 64; ++i) {
      EXPECT_EQ(Alpha(light.pixels[i]), 255);
      lightSum += (light.pixels[i] >> 8) & 255;
      darkSum += (dark.pixels[i] >> 8) & 255;
    }
    EXPECT_GT(lightSum, darkSum + 64 * 64 * 40);
  }
}

TEST(Pictures, PngHasTheImageSizeAndChunks) {
  const TImageRGBA marker = DrawMoveMarker(32);
  const std::string png = EncodePNG(marker);
  ASSERT_GT(png.size(), 57u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(BigEndian32(png, 16), 32u);
  EXPECT_EQ(BigEndian32(png, 20), 32u);
  EXPECT_EQ(png[24], 8);  // bits per channel
  EXPECT_EQ(png[25], 6);  // RGBA
  EXPECT_NE(png.find("IDAT"), std::string::npos);
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

TEST(Pictures, MoveSoundIsAShortClick) {
  const std::string wav = SynthesizeMoveSound();
  ASSERT_GT(wav.size(), 44u);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(LittleEndian(wav, 22, 2), 1u);      // mono
  EXPECT_EQ(LittleEndian(wav, 24, 4), 44100u);  // sample rate
  EXPECT_EQ(LittleEndian(wav, 34, 2), 16u);     // bits
  const uint32_t bytes = LittleEndian(wav, 40, 4);
  EXPECT_EQ(bytes + 44, wav.size());
  const double seconds = bytes / 2 / 44100.0;
  EXPECT_GT(seconds, 0.02);
  EXPECT_LT(seconds, 0.2);
  int peak = 0;
  for (size_t i = 44; i + 1 < wav.size(); i += 2) {
    peak = std::max(peak, std::abs(int(int16_t(LittleEndian(wav, i, 2)))));
  }
  EXPECT_GT(peak, 8000) << "audible";
  const int last = std::abs(int(int16_t(LittleEndian(wav, wav.size() - 2, 2))));
  EXPECT_LT(last, 500) << "it dies away";
}

TEST(Pictures, TheBuildShipsTwoBoardSetsTwoPieceSetsAndTheSound) {
  namespace fs = std::filesystem;
  const fs::path dir = test::ProgramDir();
  for (const char* set : {"Wood", "Green"}) {
    for (const char* f : {"light.png", "dark.png"})
      EXPECT_TRUE(fs::exists(dir / "Pictures/Boards" / set / f));
  }
  for (const char* set : {"Turned", "Flat"}) {
    for (const char* side : {"White", "Black"}) {
      for (const char* f : {"Man.png", "King.png"}) {
        EXPECT_TRUE(fs::exists(dir / "Pictures/Pieces" / set / side / f)) << set << "/" << side << "/" << f;
      }
    }
  }
  EXPECT_TRUE(fs::exists(dir / "move.wav"));
  EXPECT_TRUE(fs::exists(dir / "quorlin-draughts.png"));
}

TEST(WindowSettings, GeometryIsStoredBesideTheOtherSettings) {
  const auto dir = test::FreshDir("window");
  const std::string path = (dir / "Quorlin Draughts.ini").string();
  EXPECT_FALSE(ReadWindowGeometry(path));
  test::WriteFile(path, "[Main]\r\nUserName=Ann\r\n");
  const TWindowGeometry g{10, 20, 900, 640, true};
  ASSERT_TRUE(WriteWindowGeometry(path, g));
  EXPECT_EQ(ReadWindowGeometry(path), g);
  EXPECT_NE(test::ReadFile(path).find(std::string("A\0n\0n", 5)), std::string::npos) << "other keys stay";
  ASSERT_TRUE(WriteWindowGeometry(path, {0, 0, 50, 50, false}));
  EXPECT_FALSE(ReadWindowGeometry(path)) << "a size too small to use is ignored";
}

}  // namespace
}  // namespace quorlin

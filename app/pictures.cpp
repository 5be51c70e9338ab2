#include "app/pictures.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace quorlin {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct TColour {
  double r, g, b, a = 1.0;
};

uint32_t Pack(const TColour& c) {
  auto byte = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
  return byte(c.a) << 24 | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

TColour Unpack(uint32_t p) {
  return {((p >> 16) & 255) / 255.0, ((p >> 8) & 255) / 255.0, (p & 255) / 255.0, (p >> 24) / 255.0};
}

TColour Rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0, 1.0}; }

TColour Mix(const TColour& a, const TColour& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

TColour Scale(const TColour& c, double f) { return {c.r * f, c.g * f, c.b * f, c.a}; }

double Smooth(double e0, double e1, double x) {
  const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Deterministic value noise in [0, 1).
double Hash(int x, int y, uint32_t seed) {
  uint32_t h =
      static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xFFFFFF) / double(0x1000000);
}

double Noise(double x, double y, uint32_t seed) {
  const int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
  const double fx = x - xi, fy = y - yi;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double a = Hash(xi, yi, seed), b = Hash(xi + 1, yi, seed);
  const double c = Hash(xi, yi + 1, seed), d = Hash(xi + 1, yi + 1, seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double Fbm(double x, double y, uint32_t seed, int octaves) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * Noise(x, y, seed + i * 17);
    norm += amp;
    x *= 2.03;
    y *= 2.01;
    amp *= 0.5;
  }
  return sum / norm;
}

// Source-over of one colour with coverage onto a pixel.
void Blend(uint32_t& dst, const TColour& src, double coverage) {
  const double sa = std::clamp(src.a * coverage, 0.0, 1.0);
  if (sa <= 0) return;
  const TColour d = Unpack(dst);
  const double oa = sa + d.a * (1 - sa);
  if (oa <= 0) {
    dst = 0;
    return;
  }
  const TColour o{(src.r * sa + d.r * d.a * (1 - sa)) / oa, (src.g * sa + d.g * d.a * (1 - sa)) / oa,
                  (src.b * sa + d.b * d.a * (1 - sa)) / oa, oa};
  dst = Pack(o);
}

// Coverage of a disc of radius r at distance d from its centre (1-pixel soft edge).
double DiscCoverage(double d, double r) { return std::clamp(r - d + 0.5, 0.0, 1.0); }

// Coverage of a polygon at pixel (x, y), 4x4 samples.
double PolygonCoverage(const std::vector<std::array<double, 2>>& poly, int x, int y) {
  int inside = 0;
  for (int sy = 0; sy < 4; ++sy) {
    for (int sx = 0; sx < 4; ++sx) {
      const double px = x + (sx + 0.5) / 4, py = y + (sy + 0.5) / 4;
      bool in = false;
      for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const auto& a = poly[i];
        const auto& b = poly[j];
        if ((a[1] > py) != (b[1] > py) && px < (b[0] - a[0]) * (py - a[1]) / (b[1] - a[1]) + a[0]) in = !in;
      }
      inside += in;
    }
  }
  return inside / 16.0;
}

void FillPolygon(TImageRGBA& img, const std::vector<std::array<double, 2>>& poly, const TColour& c) {
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (const auto& p : poly) {
    x0 = std::min(x0, p[0]);
    y0 = std::min(y0, p[1]);
    x1 = std::max(x1, p[0]);
    y1 = std::max(y1, p[1]);
  }
  for (int y = std::max(0, int(y0) - 1); y <= std::min(img.height - 1, int(y1) + 1); ++y) {
    for (int x = std::max(0, int(x0) - 1); x <= std::min(img.width - 1, int(x1) + 1); ++x) {
      const double cov = PolygonCoverage(poly, x, y);
      if (cov > 0) Blend(img.At(x, y), c, cov);
    }
  }
}

// Outline of a polygon: the polygon in `edge`, then the polygon shrunk towards
// its centre in `fill`.
void FillPolygonOutlined(TImageRGBA& img, const std::vector<std::array<double, 2>>& poly, const TColour& fill,
                         const TColour& edge, double cx, double cy, double shrink) {
  FillPolygon(img, poly, edge);
  std::vector<std::array<double, 2>> inner;
  for (const auto& p : poly) inner.push_back({cx + (p[0] - cx) * shrink, cy + (p[1] - cy) * shrink});
  FillPolygon(img, inner, fill);
}

std::vector<std::array<double, 2>> CrownShape(double cx, double cy, double w) {
  const double h = w * 0.72;
  const double top = cy - h / 2, bottom = cy + h / 2, l = cx - w / 2, r = cx + w / 2;
  return {{l, bottom},          {l - w * 0.04, top + h * 0.1},  {l + w * 0.22, top + h * 0.48},
          {cx, top - h * 0.05}, {r - w * 0.22, top + h * 0.48}, {r + w * 0.04, top + h * 0.1},
          {r, bottom}};
}

std::vector<std::array<double, 2>> StarShape(double cx, double cy, double outer) {
  std::vector<std::array<double, 2>> pts;
  const double inner = outer * 0.45;
  for (int i = 0; i < 10; ++i) {
    const double a = -kPi / 2 + i * kPi / 5;
    const double rad = i % 2 == 0 ? outer : inner;
    pts.push_back({cx + rad * std::cos(a), cy + rad * std::sin(a)});
  }
  return pts;
}

}  // namespace

TImageRGBA DrawBoardTexture(TBoardStyle style, bool dark, int size) {
  TImageRGBA img(size, size);
  if (style == TBoardStyle::Green) {
    const TColour base = dark ? Rgb(96, 138, 74) : Rgb(236, 233, 204);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const double n = Fbm(x / 90.0, y / 90.0, dark ? 7 : 3, 3) - 0.5;
        img.At(x, y) = Pack(Scale(base, 1.0 + n * 0.06));
      }
    }
    return img;
  }
  // Wood: long, slightly wavy growth rings along x, with fine pores.
  const TColour early = dark ? Rgb(132, 80, 44) : Rgb(238, 210, 166);
  const TColour late = dark ? Rgb(96, 56, 30) : Rgb(218, 180, 128);
  const uint32_t seed = dark ? 101 : 11;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double warp = Fbm(x / 260.0, y / 60.0, seed, 4);
      const double rings = y / 30.0 + warp * 4.0 + std::sin(x / 170.0) * 0.5;
      const double t = Smooth(0.6, 0.95, rings - std::floor(rings));
      const double pores = Fbm(x / 3.0, y / 1.2, seed + 5, 2);
      TColour c = Mix(early, late, t * 0.75);
      c = Scale(c, 0.96 + pores * 0.06 + (Fbm(x / 400.0, y / 400.0, seed + 9, 2) - 0.5) * 0.08);
      img.At(x, y) = Pack(c);
    }
  }
  return img;
}

TImageRGBA DrawPiece(TPieceStyle style, bool light, bool king, int size) {
  TImageRGBA img(size, size);
  const double c = size / 2.0;
  const double radius = size * 0.44;
  const TColour body = light ? Rgb(244, 236, 216) : Rgb(52, 44, 42);
  const TColour rim = light ? Rgb(170, 150, 120) : Rgb(18, 14, 14);

  // Soft shadow below and to the right.
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x + 0.5 - c - size * 0.03, y + 0.5 - c - size * 0.045);
      const double cov = Smooth(radius + size * 0.05, radius - size * 0.02, d);
      Blend(img.At(x, y), {0, 0, 0, 0.45}, cov);
    }
  }
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double dx = x + 0.5 - c, dy = y + 0.5 - c;
      const double d = std::hypot(dx, dy);
      const double cov = DiscCoverage(d, radius);
      if (cov <= 0) continue;
      TColour col;
      if (style == TPieceStyle::Turned) {
        // Light from the top-left; a bevelled rim and two turned grooves.
        const double lightDir = (-dx - dy) / (radius * 1.414);
        const double rimZone = Smooth(radius * 0.80, radius * 0.98, d);
        col = Scale(body, 0.9 + 0.18 * lightDir * (0.4 + rimZone));
        if (std::abs(d - radius * 0.80) < size * 0.012) col = Scale(col, 0.78);
        if (std::abs(d - radius * 0.55) < size * 0.010) col = Scale(col, 0.84);
        if (d > radius - size * 0.018) col = rim;
        // Gloss highlight.
        const double hl = std::hypot(dx + radius * 0.35, dy + radius * 0.4);
        col = Mix(col, Rgb(255, 255, 255), 0.22 * Smooth(radius * 0.35, 0.0, hl) * (light ? 0.6 : 1.0));
      } else {
        col = body;
        if (d > radius - size * 0.035) col = light ? Rgb(120, 120, 120) : Rgb(0, 0, 0);
        if (std::abs(d - radius * 0.72) < size * 0.014) col = light ? Rgb(190, 182, 165) : Rgb(95, 88, 85);
      }
      Blend(img.At(x, y), col, cov);
    }
  }
  if (king) {
    if (style == TPieceStyle::Turned) {
      const TColour gold = Rgb(226, 182, 48);
      const TColour edge = light ? Rgb(120, 80, 10) : Rgb(250, 226, 140);
      FillPolygonOutlined(img, CrownShape(c, c + size * 0.02, size * 0.44), gold, edge, c, c + size * 0.02,
                          0.86);
    } else {
      const TColour star = light ? Rgb(200, 30, 30) : Rgb(250, 210, 60);
      FillPolygonOutlined(img, StarShape(c, c + size * 0.01, size * 0.27), star, Rgb(40, 20, 10), c, c, 0.82);
    }
  }
  return img;
}

TImageRGBA DrawMoveMarker(int size) {
  TImageRGBA img(size, size);
  const double border = size * 0.07;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double edge = std::min({x + 0.5, y + 0.5, size - x - 0.5, size - y - 0.5});
      if (edge < border) {
        img.At(x, y) = Pack({1.0, 0.80, 0.10, 0.95});
      } else {
        img.At(x, y) = Pack({1.0, 0.85, 0.25, 0.22});
      }
    }
  }
  return img;
}

TImageRGBA DrawIcon(int size) {
  TImageRGBA img(size, size);
  const TImageRGBA lightTex = DrawBoardTexture(TBoardStyle::Wood, false, size);
  const TImageRGBA darkTex = DrawBoardTexture(TBoardStyle::Wood, true, size);
  const int cell = size / 2;
  const double corner = size * 0.12;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // Rounded corners.
      const double cx = std::clamp(x + 0.5, corner, size - corner),
                   cy = std::clamp(y + 0.5, corner, size - corner);
      const double cov = DiscCoverage(std::hypot(x + 0.5 - cx, y + 0.5 - cy), corner);
      const bool darkCell = (x / cell + y / cell) % 2 == 1;
      TColour col = Unpack(darkCell ? darkTex.At(x, y) : lightTex.At(x, y));
      col.a = cov;
      img.At(x, y) = Pack(col);
    }
  }
  const int piece = cell * 92 / 100;
  Composite(img, DrawPiece(TPieceStyle::Turned, true, false, piece), cell + (cell - piece) / 2,
            (cell - piece) / 2);
  Composite(img, DrawPiece(TPieceStyle::Turned, false, true, piece), (cell - piece) / 2,
            cell + (cell - piece) / 2);
  return img;
}

void Composite(TImageRGBA& bottom, const TImageRGBA& top, int x0, int y0) {
  for (int y = 0; y < top.height; ++y) {
    for (int x = 0; x < top.width; ++x) {
      const int bx = x0 + x, by = y0 + y;
      if (bx < 0 || by < 0 || bx >= bottom.width || by >= bottom.height) continue;
      const TColour c = Unpack(top.At(x, y));
      Blend(bottom.At(bx, by), {c.r, c.g, c.b, 1.0}, c.a);
    }
  }
}

namespace {

void PutU32BE(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out += static_cast<char>((v >> s) & 255);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
  PutU32BE(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutU32BE(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 255);
}

}  // namespace

std::string EncodePNG(const TImageRGBA& image) {
  // Each row with the "Sub" filter: the difference to the pixel on the left,
  // which makes smooth textures compress well.
  std::string raw;
  raw.reserve(size_t(image.height) * (1 + 4 * image.width));
  for (int y = 0; y < image.height; ++y) {
    raw += '\1';
    std::array<uint8_t, 4> prev{};
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p = image.At(x, y);
      const std::array<uint8_t, 4> rgba{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)};
      for (int k = 0; k < 4; ++k) raw += static_cast<char>(uint8_t(rgba[k] - prev[k]));
      prev = rgba;
    }
  }
  uLongf packedSize = compressBound(raw.size());
  std::string packed(packedSize, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
            raw.size(), 6);
  packed.resize(packedSize);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutU32BE(ihdr, image.width);
  PutU32BE(ihdr, image.height);
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter set, no interlace
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  return png;
}

std::string SynthesizeMoveSound() {
  constexpr int kRate = 44100;
  constexpr int kSamples = kRate * 70 / 1000;  // 70 ms
  std::string pcm;
  uint32_t rnd = 12345;
  double lowpass = 0;
  for (int i = 0; i < kSamples; ++i) {
    const double t = double(i) / kRate;
    rnd = rnd * 1664525u + 1013904223u;
    const double white = (rnd >> 8) / double(1 << 24) * 2 - 1;
    lowpass += (white - lowpass) * 0.35;  // a dull knock rather than a hiss
    const double knock = lowpass * std::exp(-t * 260);
    const double body = 0.8 * std::sin(2 * kPi * 900 * t) * std::exp(-t * 90) +
                        0.35 * std::sin(2 * kPi * 1870 * t) * std::exp(-t * 140);
    const double attack = std::min(1.0, t * kRate / 40.0);
    const double v = std::clamp((knock * 0.9 + body * 0.55) * attack * 0.8, -1.0, 1.0);
    PutLE(pcm, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32000))), 2);
  }
  std::string wav = "RIFF";
  PutLE(wav, 36 + pcm.size(), 4);
  wav += "WAVEfmt ";
  PutLE(wav, 16, 4);
  PutLE(wav, 1, 2);  // PCM
  PutLE(wav, 1, 2);  // mono
  PutLE(wav, kRate, 4);
  PutLE(wav, kRate * 2, 4);
  PutLE(wav, 2, 2);
  PutLE(wav, 16, 2);
  wav += "data";
  PutLE(wav, pcm.size(), 4);
  return wav + pcm;
}

}  // namespace quorlin

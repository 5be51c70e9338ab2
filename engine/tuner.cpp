#include "engine/tuner.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <stdexcept>

#include "engine/evaluation.h"
#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

int CountPieces(const TBrd& cells) {
  int n = 0;
  for (int8_t v : cells) n += v != 0;
  return n;
}

void Log(const TTuneOptions& o, const std::string& line) {
  if (o.log) o.log(line);
}

// --- Quiet leaves -------------------------------------------------------------------

constexpr int kLeafDepth = 8;     // captures followed at most this deep
constexpr float kKingMen = 3.0f;  // king in men, for choosing among captures

float Material(const TBoard& b, TDColor side, const TGameParams& p) {
  float own = 0, opp = 0;
  const int sign = side == TDColor::white ? 1 : -1;
  for (int s = 1; s <= p.compute.BoardSize; ++s) {
    const int v = b.b[s] * sign;
    if (v == 1) own += 1;
    if (v == 2) own += kKingMen;
    if (v == -1) opp += 1;
    if (v == -2) opp += kKingMen;
  }
  return own - opp;
}

float LeafSearch(const TBoard& b, TDColor side, int depth, const TGameParams& p, TBoard& leaf,
                 TDColor& leafSide) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(b, static_cast<int>(side), list, n, p, true);
  leaf = b;
  leafSide = side;
  if (n == 0) return -100.0f;
  if (list[1].lt == 0 || !p.MustCapture || depth == 0) return Material(b, side, p);
  float best = -1e9f;
  for (int i = 1; i <= n; ++i) {
    TBoard after = b;
    ApplyMove(list[i], after, p);
    TBoard l;
    TDColor ls;
    const float v = -LeafSearch(after, Other(side), depth - 1, p, l, ls);
    if (v > best) {
      best = v;
      leaf = l;
      leafSide = ls;
    }
  }
  return best;
}

// --- Features -------------------------------------------------------------------------
// The evaluation before its final scaling is linear in the weights; a
// position's features are the multipliers of each weight, from the side to
// move's point of view.

enum : int {
  kFMaterial = 0,
  kFKings,
  kFSideToMove,
  kFBalanceMain,
  kFBalanceExt,
  kFKingsMain,
  kFKingsDouble,
  kFKingsTriple,
  kFKingsTurAH,
  kFTur2nd4,
  kFTur2nd35,
  kFScalars,  // bitboard: own men fields (64), opponent men (64), empty (64), then patterns
};
constexpr int kFOwn = kFScalars, kFOpp = kFScalars + 64, kFEmpty = kFScalars + 128,
              kFPatterns = kFScalars + 192;
// Array board: the per-square tables after the first three scalars.
constexpr int kAWS = 3;

struct TFeature {
  uint16_t index;
  float value;
};

// A multi-square pattern candidate: up to three squares (bits of the
// oriented board) and the state asked of each (0 own man, 1 opponent man,
// 2 empty).
struct TShape {
  int size = 0;
  uint64_t bit[3] = {0, 0, 0};
};

struct TLayout {
  int variant = 0;
  const TGameParams* p = nullptr;
  bool arrayBoard = false;
  int squares = 0;
  uint64_t bitOfSquare[129] = {};
  std::vector<TShape> shapes;  // anchored shapes
  int features = 0;            // without patterns
};

constexpr int kStates = 27;  // 3^3 codes per shape (smaller shapes use fewer)

TLayout MakeLayout(int variant, bool arrayBoard) {
  TLayout L;
  L.variant = variant;
  L.p = &VariantTable[variant];
  L.arrayBoard = arrayBoard;
  L.squares = L.p->compute.BoardSize;
  L.features = arrayBoard ? kAWS + 4 * L.squares : kFPatterns;
  if (arrayBoard) return L;
  for (int s = 1; s <= L.squares; ++s) {
    TBoard b;
    b.b[s] = 1;
    TBitBoard64 bb;
    BoardToBit64(b, bb, variant);
    L.bitOfSquare[s] = bb.w;
  }
  struct TOffset {
    int dr, dc;
  };
  std::vector<std::vector<TOffset>> offsets;
  if (L.p->BoardCheckered)
    offsets = {{{0, 0}, {1, -1}},        {{0, 0}, {1, 1}},           {{0, 0}, {1, -1}, {1, 1}},
               {{0, 0}, {1, 1}, {2, 2}}, {{0, 0}, {1, -1}, {2, -2}}, {{0, 0}, {0, 2}},
               {{0, 0}, {0, 2}, {1, 1}}};
  else
    offsets = {{{0, 0}, {1, 0}},
               {{0, 0}, {0, 1}},
               {{0, 0}, {1, 0}, {2, 0}},
               {{0, 0}, {0, 1}, {0, 2}},
               {{0, 0}, {1, 0}, {0, 1}}};
  for (int s = 1; s <= L.squares; ++s) {
    const int row = SquareRow(*L.p, s), col = SquareColumn(*L.p, s);
    for (const auto& shape : offsets) {
      TShape t;
      for (const TOffset& o : shape) {
        const int q = SquareAt(*L.p, row + o.dr, col + o.dc);
        if (q == 0) break;
        t.bit[t.size++] = L.bitOfSquare[q];
      }
      if (t.size == static_cast<int>(shape.size())) L.shapes.push_back(t);
    }
  }
  return L;
}

TBitBoard64 Oriented(const TBoard& b, TDColor side, int variant) {
  TBitBoard64 bb;
  BoardToBit64(b, bb, variant);
  if (side == TDColor::black) FlipBitBoard(bb, variant);
  return bb;
}

// Flank term of both sides as the evaluation adds it, per unit of weight.
int FlankFeature(uint64_t wm, uint64_t bm, uint64_t x1, uint64_t x2, int squares) {
  int f = 0;
  int p = PopCount(wm & x1), q = PopCount(wm & x2);
  if (std::abs(p - q) >= 2)
    f += std::abs(p - q);
  else if (p - q == 1 && squares != 64)
    f += 1;
  p = PopCount(bm & x1), q = PopCount(bm & x2);
  if (std::abs(p - q) >= 2)
    f -= std::abs(p - q);
  else if (q - p == 1 && squares != 64)
    f -= 1;
  return f;
}

int KingTermsFeature(const TLayout& L, uint64_t kings, bool own, float* out) {
  // out: KingsMain, KingsDouble, KingsTriple, KingsTurAH multipliers.
  const TEvalBoardMasks& m = EvalBoardMasks(L.squares);
  if (L.squares == 32 || L.squares == 50) {
    out[0] = (kings & m.kingsMain) ? 1 : 0;
    out[1] = ((kings & m.kingsDouble1) ? 1 : 0) + ((kings & m.kingsDouble2) ? 1 : 0);
    out[2] = ((kings & m.kingsTriple1) ? 1 : 0) + ((kings & m.kingsTriple2) ? 1 : 0);
    out[3] = 0;
    return 1;
  }
  if (L.squares == 64) {
    out[0] = PopCount(kings & (own ? kRow0 : kRow7));
    out[1] = PopCount(kings & (own ? kRow7 : kRow0));
    out[2] = PopCount(kings & (own ? kRow1 : kRow6));
    out[3] = PopCount(kings & kFilesAH);
    return 1;
  }
  return 0;
}

// Features of a bitboard position (side to move in w) without patterns.
void BitboardFeatures(const TLayout& L, const TBitBoard64& bd, std::vector<TFeature>& f) {
  const uint64_t wm = bd.w & ~bd.k, wk = bd.w & bd.k, bm = bd.b & ~bd.k, bk = bd.b & bd.k;
  const uint64_t empty = L.p->BitBoardGood64 & ~(bd.w | bd.b);
  auto add = [&](int i, float v) {
    if (v != 0) f.push_back({static_cast<uint16_t>(i), v});
  };
  add(kFMaterial, static_cast<float>(PopCount(wm) - PopCount(bm)));
  add(kFKings, static_cast<float>(PopCount(wk) - PopCount(bk)));
  add(kFSideToMove, 1);
  const TEvalBoardMasks& m = EvalBoardMasks(L.squares);
  add(kFBalanceMain, static_cast<float>(FlankFeature(wm, bm, m.m1, m.m2, L.squares)));
  add(kFBalanceExt, static_cast<float>(FlankFeature(wm, bm, m.e1, m.e2, L.squares)));
  if (L.p->FlyingKing) {
    float own[4] = {0, 0, 0, 0}, opp[4] = {0, 0, 0, 0};
    if (wk) KingTermsFeature(L, wk, true, own);
    if (bk) KingTermsFeature(L, bk, false, opp);
    for (int i = 0; i < 4; ++i) add(kFKingsMain + i, own[i] - opp[i]);
  }
  if (L.variant == kTurkish && PopCount(bd.w | bd.b) == 32) {
    const int r = PopCount(bd.w & kRow1), r2 = PopCount(bd.b & kRow6);
    add(kFTur2nd4, (r == 4 ? 1.0f : 0.0f) - (r2 == 4 ? 1.0f : 0.0f));
    add(kFTur2nd35, (r == 3 || r == 5 ? 1.0f : 0.0f) - (r2 == 3 || r2 == 5 ? 1.0f : 0.0f));
  }
  for (uint64_t x = wm; x; x &= x - 1) add(kFOwn + __builtin_ctzll(x), 1);
  for (uint64_t x = bm; x; x &= x - 1) add(kFOpp + __builtin_ctzll(x), 1);
  for (uint64_t x = empty; x; x &= x - 1) add(kFEmpty + __builtin_ctzll(x), 1);
}

// Features of an array-board position: per-square weights count for White
// positively and for Black negatively, the whole turned to the side to move.
// A black piece counts with the white weight of the square it stands on in
// the colour-swapped board (s <-> S + 1 - s), so the fitted evaluation scores
// a position and its colour-swapped image alike; the black tables are written
// from the white ones.
void ArrayFeatures(const TLayout& L, const TBoard& b, TDColor side, std::vector<TFeature>& f) {
  const float sign = side == TDColor::white ? 1.0f : -1.0f;
  const int S = L.squares;
  int ownMen = 0, oppMen = 0, ownKings = 0, oppKings = 0;
  f.push_back({kFSideToMove, 1});
  for (int s = 1; s <= S; ++s) {
    const int v = b.b[s];
    if (v == 0) continue;
    const bool white = v > 0;
    const bool king = v == 2 || v == -2;
    const int table = king ? 2 : 0;  // the WS or WK table
    const int square = white ? s : S + 1 - s;
    f.push_back({static_cast<uint16_t>(kAWS + table * S + (square - 1)), white ? sign : -sign});
    const bool own = white == (side == TDColor::white);
    (king ? (own ? ownKings : oppKings) : (own ? ownMen : oppMen))++;
  }
  if (ownMen != oppMen) f.push_back({kFMaterial, static_cast<float>(ownMen - oppMen)});
  if (ownKings != oppKings) f.push_back({kFKings, static_cast<float>(ownKings - oppKings)});
}

// Index of the candidate pattern that shape `shape` matches in the position,
// or -1 (a king on one of its squares, or all squares empty).
int ShapeMatch(const TShape& t, uint64_t wm, uint64_t bm, uint64_t empty) {
  int code = 0, mul = 1;
  bool allEmpty = true;
  for (int i = 0; i < t.size; ++i, mul *= 3) {
    const uint64_t bit = t.bit[i];
    int state;
    if (wm & bit)
      state = 0;
    else if (bm & bit)
      state = 1;
    else if (empty & bit)
      state = 2;
    else
      return -1;
    if (state != 2) allEmpty = false;
    code += state * mul;
  }
  return allEmpty ? -1 : code;
}

TPattern CandidatePattern(const TShape& t, int code) {
  TPattern p;
  for (int i = 0; i < t.size; ++i, code /= 3) {
    const int state = code % 3;
    (state == 0 ? p.B.w : state == 1 ? p.B.b : p.B.k) |= t.bit[i];
  }
  return p;
}

// --- The fit ----------------------------------------------------------------------------

struct TDataset {
  std::vector<uint32_t> start;  // per sample, into feats; start[n] = feats.size()
  std::vector<TFeature> feats;
  std::vector<float> target;
  std::vector<bool> validation;
  std::vector<TBitBoard64> boards;  // oriented positions (bitboard engines)
  size_t size() const { return target.size(); }
};

double Sigmoid(double z) { return 1.0 / (1.0 + std::exp(-z)); }

double CrossEntropy(double p, double y) {
  const double e = 1e-12;
  return -(y * std::log(p + e) + (1 - y) * std::log(1 - p + e));
}

double Score(const TDataset& d, size_t i, const std::vector<double>& theta) {
  double z = 0;
  for (uint32_t k = d.start[i]; k < d.start[i + 1]; ++k) z += theta[d.feats[k].index] * d.feats[k].value;
  return z;
}

struct TLosses {
  double train = 0, validation = 0;
};

TLosses Losses(const TDataset& d, const std::vector<double>& theta) {
  double lt = 0, lv = 0;
  size_t nt = 0, nv = 0;
  for (size_t i = 0; i < d.size(); ++i) {
    const double l = CrossEntropy(Sigmoid(Score(d, i, theta)), d.target[i]);
    if (d.validation[i]) {
      lv += l;
      ++nv;
    } else {
      lt += l;
      ++nt;
    }
  }
  return {nt ? lt / nt : 0, nv ? lv / nv : 0};
}

// Full-batch Adam on the training samples. Only `active` weights move; each
// is drawn towards its `prior` (zero past the prior's end), material not at
// all.
void Fit(const TDataset& d, std::vector<double>& theta, const TTuneOptions& o, const std::string& what,
         const std::vector<bool>& active, const std::vector<double>& prior) {
  const size_t n = theta.size();
  std::vector<double> g(n), m(n, 0), v(n, 0);
  const double lr = 0.01, b1 = 0.9, b2 = 0.999, eps = 1e-8;
  size_t trainCount = 0;
  for (size_t i = 0; i < d.size(); ++i) trainCount += !d.validation[i];
  if (trainCount == 0) return;
  // Early stop: the weights with the lowest validation loss seen (checked
  // every few passes) are the result, so that a small set of games cannot
  // be fitted past what generalises.
  const bool haveValidation = trainCount < d.size();
  std::vector<double> bestTheta = theta;
  double bestValidation = haveValidation ? Losses(d, theta).validation : 0;
  int bestPass = 0;
  for (int pass = 1; pass <= o.passes; ++pass) {
    std::fill(g.begin(), g.end(), 0.0);
    double loss = 0;
    for (size_t i = 0; i < d.size(); ++i) {
      if (d.validation[i]) continue;
      const double p = Sigmoid(Score(d, i, theta));
      loss += CrossEntropy(p, d.target[i]);
      const double r = p - d.target[i];
      for (uint32_t k = d.start[i]; k < d.start[i + 1]; ++k) g[d.feats[k].index] += r * d.feats[k].value;
    }
    loss /= static_cast<double>(trainCount);
    double reg = 0;
    for (size_t j = 0; j < n; ++j) {
      if (!active[j]) continue;
      g[j] /= static_cast<double>(trainCount);
      if (j != kFMaterial) {
        const double delta = theta[j] - (j < prior.size() ? prior[j] : 0.0);
        g[j] += 2 * o.l2 * delta;
        reg += o.l2 * delta * delta;
      }
      m[j] = b1 * m[j] + (1 - b1) * g[j];
      v[j] = b2 * v[j] + (1 - b2) * g[j] * g[j];
      const double mh = m[j] / (1 - std::pow(b1, pass)), vh = v[j] / (1 - std::pow(b2, pass));
      theta[j] -= lr * mh / (std::sqrt(vh) + eps);
    }
    if (haveValidation && pass % 10 == 0) {
      const double v = Losses(d, theta).validation;
      if (v < bestValidation) {
        bestValidation = v;
        bestTheta = theta;
        bestPass = pass;
      }
    }
    if (pass == 1 || pass % 50 == 0 || pass == o.passes) {
      const TLosses l = Losses(d, theta);
      char line[200];
      std::snprintf(line, sizeof line, "%s pass %d: loss %.5f (+%.5f regularisation), validation %.5f",
                    what.c_str(), pass, loss, reg, l.validation);
      Log(o, line);
    }
  }
  if (haveValidation) {
    theta = bestTheta;
    Log(o, what + ": kept the weights of pass " + std::to_string(bestPass) + " (best validation)");
  }
}

// The weight of `eval` that multiplies feature i.
double FeatureWeight(const TLayout& L, const TEvalFuncStatic& e, int i) {
  const int S = L.squares;
  const bool arrayBoard = L.arrayBoard;
  {
    switch (i) {
      case kFMaterial:
        return e.ManValue;
      case kFKings:
        return e.KingValue;
      case kFSideToMove:
        return e.SideToMove;
    }
    if (arrayBoard) {
      const int table = (i - kAWS) / S, s = (i - kAWS) % S + 1;
      const TSquareWeights& t = table == 0   ? e.FieldsWS
                                : table == 1 ? e.FieldsBS
                                : table == 2 ? e.FieldsWK
                                             : e.FieldsBK;
      return t[static_cast<size_t>(s)];
    }
    switch (i) {
      case kFBalanceMain:
        return e.SideBalanceMain;
      case kFBalanceExt:
        return e.SideBalanceExt;
      case kFKingsMain:
        return e.KingsMain;
      case kFKingsDouble:
        return e.KingsDouble;
      case kFKingsTriple:
        return e.KingsTriple;
      case kFKingsTurAH:
        return e.KingsTurAH;
      case kFTur2nd4:
        return e.KingsTur2nd4;
      case kFTur2nd35:
        return e.KingsTur2nd35;
    }
    if (i < kFOpp) return e.WhiteFields[static_cast<size_t>(i - kFOwn)];
    if (i < kFEmpty) return e.BlackFields[static_cast<size_t>(i - kFOpp)];
    return e.ClearFields[static_cast<size_t>(i - kFEmpty)];
  }
}

int32_t ToWeight(double theta, double unit, int32_t manValue) {
  const double w = std::round(theta / unit * manValue);
  return static_cast<int32_t>(std::clamp(w, -1e8, 1e8));
}

constexpr int32_t kTunedManValue = 1000;
constexpr int kMinStageSamples = 3000;

}  // namespace

TBoard QuietLeaf(const TBoard& board, TDColor& side, int variant) {
  TBoard leaf;
  TDColor leafSide = side;
  LeafSearch(board, side, kLeafDepth, VariantTable[variant], leaf, leafSide);
  side = leafSide;
  return leaf;
}

std::vector<TTuneSample> LoadTuneSamples(const TTuneOptions& o, TTuneResult& result) {
  const TGameParams& p = VariantTable[o.variant];
  std::vector<TTuneSample> out;
  TRandom rng(o.seed);
  for (const std::string& path : o.games) {
    TQuorlinDB db;
    if (!OpenDatabase(path, db, true) || db.DBType == 0)
      throw std::runtime_error("cannot open the game database \"" + path + "\": " + db.LastError);
    const int count = IndexRecordCount(db);
    TGame g;
    for (int n = 1; n <= count; ++n) {
      if (!ReadGame(db, n, false, -1, g) || (g.Header.Flags & kHeaderFlagDeleted) ||
          g.Header.TypeOfGame != o.variant) {
        ++result.gamesSkipped;
        continue;
      }
      const double white = g.Header.Result == kResultWhiteWin || g.Header.Result == kResultWhiteWinTime ? 1.0
                           : g.Header.Result == kResultBlackWin || g.Header.Result == kResultBlackWinTime
                               ? 0.0
                           : g.Header.Result == kResultDraw ? 0.5
                                                            : -1.0;
      if (white < 0) {
        ++result.gamesSkipped;
        continue;
      }
      ++result.gamesUsed;
      const bool validation = rng.Below(1000) < static_cast<uint32_t>(o.validationShare * 1000);
      TBoard b;
      b.b = g.StartBoard;
      TDColor side = g.Header.FirstMove;
      TChildList children;
      int ply = 0;
      for (int node = 0;; ++ply) {
        if (ply >= o.skipPlies) {
          TTuneSample s;
          TDColor leafSide = side;
          s.board = QuietLeaf(b, leafSide, o.variant);
          s.side = leafSide;
          s.target = static_cast<float>(leafSide == TDColor::white ? white : 1.0 - white);
          s.pieces = static_cast<uint8_t>(CountPieces(s.board.b));
          s.validation = validation;
          out.push_back(s);
        }
        if (GetChildren(g, node, children) == 0) break;
        node = children[0];
        ApplyMove(g.Moves[node], b, p);
        side = Other(side);
      }
    }
    CloseDatabase(db);
  }
  // An even sample when there are more positions than the fit needs.
  if (o.maxPositions > 0 && static_cast<int64_t>(out.size()) > o.maxPositions) {
    std::vector<TTuneSample> kept;
    kept.reserve(static_cast<size_t>(o.maxPositions));
    const double step = static_cast<double>(out.size()) / o.maxPositions;
    for (int i = 0; i < o.maxPositions; ++i) kept.push_back(out[static_cast<size_t>(i * step)]);
    out.swap(kept);
  }
  return out;
}

TTuneStageReport FitStage(const std::vector<TTuneSample>& samples, int minPieces, int maxPieces,
                          const TTuneOptions& o, bool arrayBoard, TEvalFuncStatic& eval,
                          const TEvalFuncStatic* start) {
  const TLayout L = MakeLayout(o.variant, arrayBoard);
  TTuneStageReport report;
  report.minPieces = minPieces;
  report.maxPieces = maxPieces;

  TDataset d;
  std::vector<TFeature> f;
  d.start.push_back(0);
  for (const TTuneSample& s : samples) {
    if (s.pieces < minPieces || s.pieces > maxPieces) continue;
    f.clear();
    if (arrayBoard) {
      ArrayFeatures(L, s.board, s.side, f);
    } else {
      const TBitBoard64 bb = Oriented(s.board, s.side, o.variant);
      if (bb.w == 0) continue;
      BitboardFeatures(L, bb, f);
      d.boards.push_back(bb);
    }
    d.feats.insert(d.feats.end(), f.begin(), f.end());
    d.start.push_back(static_cast<uint32_t>(d.feats.size()));
    d.target.push_back(s.target);
    d.validation.push_back(s.validation);
    (s.validation ? report.validation : report.train)++;
  }
  const std::string stageName = "stage " + std::to_string(minPieces) + "-" + std::to_string(maxPieces);
  if (report.train == 0) throw std::runtime_error(stageName + ": no training position");

  // Material first (a comparison point and the starting point), then all.
  std::vector<double> theta(static_cast<size_t>(L.features), 0.0);
  theta[kFMaterial] = 0.5;
  std::vector<bool> active(theta.size(), false);
  active[kFMaterial] = active[kFKings] = active[kFSideToMove] = true;
  const std::vector<double> none;
  Fit(d, theta, o, stageName + " material", active, none);
  report.materialValidationLoss = Losses(d, theta).validation;
  const std::vector<double> materialTheta = theta;
  // The start engine's weights on the scale of the material fit: where to
  // begin, and what the regularisation draws towards (zero without one).
  std::vector<double> prior(theta.size(), 0.0);
  prior[kFMaterial] = theta[kFMaterial];
  if (start && start->ManValue != 0) {
    for (int i = 0; i < L.features; ++i)
      if (i != kFMaterial)
        prior[static_cast<size_t>(i)] = FeatureWeight(L, *start, i) / start->ManValue * theta[kFMaterial];
    theta = prior;
  }
  report.startValidationLoss = Losses(d, theta).validation;
  std::fill(active.begin(), active.end(), true);
  Fit(d, theta, o, stageName + " all terms", active, prior);
  // A start engine whose terms mislead here (drawn towards them, the fit ends
  // worse on the held-out positions than material alone) is let go: all
  // terms again from the material fit, drawn towards it instead.
  if (start && Losses(d, theta).validation > report.materialValidationLoss) {
    std::vector<double> fresh = materialTheta;
    Fit(d, fresh, o, stageName + " all terms from material", active, materialTheta);
    if (Losses(d, fresh).validation < Losses(d, theta).validation) {
      theta = fresh;
      prior = materialTheta;
      if (o.log) o.log(stageName + ": the start engine's terms dropped (material alone predicted better)");
    }
  }

  // Patterns: candidates scored by the loss a Newton step on each alone would
  // save; the best are added and refitted, those worth too little dropped.
  std::vector<TPattern> kept;
  if (!arrayBoard && o.maxPatterns > 0 && !L.shapes.empty()) {
    const size_t cands = L.shapes.size() * kStates;
    std::vector<double> grad(cands, 0), hess(cands, 0);
    std::vector<int> count(cands, 0);
    for (size_t i = 0; i < d.size(); ++i) {
      if (d.validation[i]) continue;
      const double p = Sigmoid(Score(d, i, theta));
      const double r = p - d.target[i], h = p * (1 - p);
      const TBitBoard64& bb = d.boards[i];
      const uint64_t wm = bb.w & ~bb.k, bm = bb.b & ~bb.k, empty = L.p->BitBoardGood64 & ~(bb.w | bb.b);
      for (size_t sh = 0; sh < L.shapes.size(); ++sh) {
        const int code = ShapeMatch(L.shapes[sh], wm, bm, empty);
        if (code < 0) continue;
        const size_t c = sh * kStates + static_cast<size_t>(code);
        grad[c] += r;
        hess[c] += h;
        ++count[c];
      }
    }
    const int minCount = std::max(30, report.train / 200);
    std::vector<std::pair<double, size_t>> ranked;
    for (size_t c = 0; c < cands; ++c)
      if (count[c] >= minCount) ranked.push_back({grad[c] * grad[c] / (hess[c] + 1.0), c});
    std::sort(ranked.begin(), ranked.end(), [](auto& a, auto& b) { return a.first > b.first; });
    std::vector<size_t> chosen;
    for (const auto& r : ranked) {
      if (static_cast<int>(chosen.size()) >= o.maxPatterns) break;
      chosen.push_back(r.second);
    }
    auto rebuild = [&](const std::vector<size_t>& pats) {
      // Pattern features go after the fixed ones; rebuild the sparse rows.
      TDataset nd;
      nd.target = d.target;
      nd.validation = d.validation;
      nd.boards = d.boards;
      nd.start.push_back(0);
      for (size_t i = 0; i < d.size(); ++i) {
        for (uint32_t k = d.start[i]; k < d.start[i + 1]; ++k)
          if (d.feats[k].index < kFPatterns) nd.feats.push_back(d.feats[k]);
        const TBitBoard64& bb = d.boards[i];
        const uint64_t wm = bb.w & ~bb.k, bm = bb.b & ~bb.k, empty = L.p->BitBoardGood64 & ~(bb.w | bb.b);
        for (size_t j = 0; j < pats.size(); ++j) {
          const size_t sh = pats[j] / kStates;
          if (ShapeMatch(L.shapes[sh], wm, bm, empty) == static_cast<int>(pats[j] % kStates))
            nd.feats.push_back({static_cast<uint16_t>(kFPatterns + j), 1});
        }
        nd.start.push_back(static_cast<uint32_t>(nd.feats.size()));
      }
      return nd;
    };
    if (!chosen.empty()) {
      TDataset pd = rebuild(chosen);
      std::vector<double> t2 = theta;
      t2.resize(static_cast<size_t>(kFPatterns) + chosen.size(), 0.0);
      std::vector<bool> act(t2.size(), true);
      Fit(pd, t2, o, stageName + " with " + std::to_string(chosen.size()) + " patterns", act, prior);
      std::vector<size_t> worth;
      for (size_t j = 0; j < chosen.size(); ++j)
        if (std::fabs(t2[kFPatterns + j] / t2[kFMaterial]) >= o.minPatternValue) worth.push_back(chosen[j]);
      if (worth.size() != chosen.size() && !worth.empty()) {
        pd = rebuild(worth);
        std::vector<double> t3(t2.begin(), t2.begin() + kFPatterns);
        for (size_t j = 0; j < chosen.size(); ++j)
          if (std::find(worth.begin(), worth.end(), chosen[j]) != worth.end())
            t3.push_back(t2[kFPatterns + j]);
        std::vector<bool> act3(t3.size(), true);
        Fit(pd, t3, o, stageName + " with " + std::to_string(worth.size()) + " patterns kept", act3, prior);
        t2 = t3;
      }
      if (!worth.empty() && Losses(pd, t2).validation <= Losses(d, theta).validation) {
        d = std::move(pd);
        theta = t2;
        for (size_t c : worth)
          kept.push_back(CandidatePattern(L.shapes[c / kStates], static_cast<int>(c % kStates)));
      }
    }
  }
  const TLosses final = Losses(d, theta);
  report.trainLoss = final.train;
  report.validationLoss = final.validation;
  report.patterns = static_cast<int>(kept.size());

  // The weights in the integer units of the file: one man is kTunedManValue.
  const double unit = theta[kFMaterial];
  if (!(unit > 1e-3))
    throw std::runtime_error(stageName + ": material came out without value; too few games?");
  auto W = [&](int i) { return ToWeight(theta[static_cast<size_t>(i)], unit, kTunedManValue); };
  eval.ManValue = kTunedManValue;
  eval.KingValue = W(kFKings);  // kings are not in the material term
  eval.SideToMove = W(kFSideToMove);
  eval.Squeeze = false;
  eval.QuantityType = 0;
  eval.QuantityBonus = 0;
  eval.Compress = 0;
  eval.Patt.clear();
  eval.Size = 0;
  eval.Turkish = false;
  if (arrayBoard) {
    const int S = L.squares;
    for (int s = 1; s <= 128; ++s) {
      const bool on = s <= S;
      eval.FieldsWS[s] = on ? W(kAWS + 0 * S + s - 1) : 0;
      eval.FieldsBS[s] = on ? W(kAWS + 0 * S + (S - s)) : 0;  // white weight of the swapped square
      eval.FieldsWK[s] = on ? W(kAWS + 2 * S + s - 1) : 0;
      eval.FieldsBK[s] = on ? W(kAWS + 2 * S + (S - s)) : 0;
      eval.FieldsClr[s] = 0;
    }
  } else {
    eval.SideBalanceMain = W(kFBalanceMain);
    eval.SideBalanceExt = W(kFBalanceExt);
    eval.KingsMain = W(kFKingsMain);
    eval.KingsDouble = W(kFKingsDouble);
    eval.KingsTriple = W(kFKingsTriple);
    eval.KingsTurAH = W(kFKingsTurAH);
    eval.KingsTur2nd4 = W(kFTur2nd4);
    eval.KingsTur2nd35 = W(kFTur2nd35);
    const uint64_t good = L.p->BitBoardGood64;
    for (int bit = 0; bit < 64; ++bit) {
      if (!(good >> bit & 1)) continue;
      const uint64_t b = uint64_t{1} << bit;
      AddPattern(eval, TPattern{TBitBoard64{b, 0, 0}, W(kFOwn + bit)});
      AddPattern(eval, TPattern{TBitBoard64{0, b, 0}, W(kFOpp + bit)});
      AddPattern(eval, TPattern{TBitBoard64{0, 0, b}, W(kFEmpty + bit)});
    }
    for (size_t j = 0; j < kept.size(); ++j) {
      TPattern pt = kept[j];
      pt.value = W(kFPatterns + static_cast<int>(j));
      if (pt.value != 0) AddPattern(eval, pt);
    }
  }
  CompileEvf(eval);
  return report;
}

double LinearEvaluation(const TTuneSample& sample, int variant, bool arrayBoard, const TEvalFuncStatic& e) {
  const TLayout L = MakeLayout(variant, arrayBoard);
  std::vector<TFeature> f;
  TBitBoard64 bb;
  if (arrayBoard) {
    ArrayFeatures(L, sample.board, sample.side, f);
  } else {
    bb = Oriented(sample.board, sample.side, variant);
    BitboardFeatures(L, bb, f);
  }
  double raw = 0;
  for (const TFeature& x : f) raw += FeatureWeight(L, e, x.index) * x.value;
  if (!arrayBoard) {
    const uint64_t wm = bb.w & ~bb.k, bm = bb.b & ~bb.k, empty = L.p->BitBoardGood64 & ~(bb.w | bb.b);
    for (int i = 0; i < e.RealSize; ++i) {
      const TPattern& p = e.RealPatt[static_cast<size_t>(i)];
      if (((p.B.w & ~wm) | (p.B.b & ~bm) | (p.B.k & ~empty)) == 0) raw += p.value;
    }
  }
  return raw / e.ManValue;
}

std::vector<std::pair<int, int>> TuneStageRanges(const std::vector<TTuneSample>& samples, int variant,
                                                 int stages, bool arrayBoard) {
  // The array-board search scores every leaf with the first stage's weights,
  // so there one stage must cover every piece count.
  if (arrayBoard || stages < 2) return {{1, 128}};
  // Otherwise the endgame below a third of the start material gets its own
  // stage when both parts have positions enough.
  const int startPieces = CountPieces(StartPosition(VariantTable[variant], false));
  const int split = std::max(4, startPieces / 3);
  int late = 0;
  for (const TTuneSample& s : samples) late += s.pieces <= split;
  if (late >= kMinStageSamples && static_cast<int>(samples.size()) - late >= kMinStageSamples)
    return {{split + 1, 128}, {1, split}};
  return {{1, 128}};
}

TTuneResult RunTuner(const TTuneOptions& o) {
  TEvalFunc start;
  if (!LoadEngine(o.startEngine, start, o.variant))
    throw std::runtime_error("engine description \"" + o.startEngine + "\" not found");
  const bool arrayBoard = start.Version == kArrayBoardVersion;

  TTuneResult result;
  const std::vector<TTuneSample> samples = LoadTuneSamples(o, result);
  Log(o, "games used " + std::to_string(result.gamesUsed) + ", skipped " +
             std::to_string(result.gamesSkipped) + ", positions " + std::to_string(samples.size()));
  if (samples.size() < 1000)
    throw std::runtime_error("too few positions to fit (" + std::to_string(samples.size()) + ")");

  const int startPieces = CountPieces(StartPosition(VariantTable[o.variant], false));
  const std::vector<std::pair<int, int>> ranges = TuneStageRanges(samples, o.variant, o.stages, arrayBoard);
  TEvalFunc ef = start;
  ef.Name = o.name;
  ef.ELO = 0;
  ef.UseBook = true;
  ef.Stages.clear();
  for (const auto& [lo, hi] : ranges) {
    TEngineStage st = start.Stages[0];
    st.MinDraughts = lo;
    st.MaxDraughts = hi;
    st.Eval = TEvalFuncStatic{};
    st.Eval.Version = static_cast<uint8_t>(start.Version & 0xFF);
    // The start engine's weights of the stage that covers the middle of the range.
    const TEvalFuncStatic& startEval =
        start.Stages[static_cast<size_t>(GetStageCnt(start, (lo + std::min(hi, startPieces)) / 2))].Eval;
    TTuneStageReport r = FitStage(samples, lo, hi, o, arrayBoard, st.Eval, &startEval);
    char line[240];
    std::snprintf(
        line, sizeof line,
        "stage %d-%d: %d training and %d validation positions, loss %.5f, validation %.5f (start engine "
        "%.5f, material only %.5f), %d patterns",
        lo, hi, r.train, r.validation, r.trainLoss, r.validationLoss, r.startValidationLoss,
        r.materialValidationLoss, r.patterns);
    Log(o, line);
    result.stages.push_back(r);
    ef.Stages.push_back(std::move(st));
  }
  std::filesystem::create_directories(o.outFolder);
  const std::filesystem::path engineFile = std::filesystem::path(o.outFolder) / (o.name + ".eng");
  SaveEngine(engineFile, ef);
  result.engineFile = engineFile.string();
  return result;
}

}  // namespace quorlin

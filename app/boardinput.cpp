#include "app/boardinput.h"

#include <algorithm>

#include "rules/movegen.h"

namespace quorlin {

bool MovePathContains(const TMove& move, int square) {
  if (square <= 0) return false;
  const int last = move.lt ? 2 * move.lt : 1;
  for (int i = 0; i <= last; ++i) {
    if (move.mv[i] == square) return true;
  }
  return false;
}

int TTapRing::Newest(int back) const {
  const int slot = ((pos_ - 1 - back) % kTapRingSize + 2 * kTapRingSize) % kTapRingSize;
  return ring_[slot];
}

void TTapRing::Clear() { ring_.fill(0); }

std::vector<int> TTapRing::Candidates(const TMvs& list, int count) const {
  std::vector<int> kept;
  for (int i = 1; i <= count; ++i) kept.push_back(i);
  // Newest tap first; an empty slot ends the taps of this move and keeps
  // nothing, so that taps that do not fit together leave no candidate.
  for (int back = 0; back < kTapRingSize && kept.size() > 1; ++back) {
    const int t = Newest(back);
    std::erase_if(kept, [&](int i) { return !MovePathContains(list[i], t); });
  }
  return kept;
}

namespace {

// The first legal move whose start and landing squares, in order, are the
// newest taps (a quiet move: its start and destination); 0 when none.
int SequenceMatch(const TTapRing& ring, const TMvs& list, int count) {
  for (int i = 1; i <= count; ++i) {
    const TMove& m = list[i];
    std::vector<int> seq{m.mv[0]};
    if (m.lt == 0) {
      seq.push_back(m.mv[1]);
    } else {
      for (int k = 1; k <= m.lt; ++k) seq.push_back(m.mv[2 * k]);
    }
    const int n = static_cast<int>(seq.size());
    if (n > kTapRingSize) continue;
    bool same = true;
    for (int j = 0; j < n && same; ++j) same = seq[j] == ring.Newest(n - 1 - j);
    if (same) return i;
  }
  return 0;
}

}  // namespace

std::optional<TMove> TTapRing::Tap(int square, const TMvs& list, int count) {
  ring_[pos_] = square;
  pos_ = (pos_ + 1) % kTapRingSize;
  std::vector<int> kept = Candidates(list, count);
  if (kept.size() != 1 && count > 0 && list[1].IsCapture()) {
    if (const int i = SequenceMatch(*this, list, count)) kept = {i};
  }
  if (kept.size() != 1) return std::nullopt;
  Clear();
  return list[kept.front()];
}

std::vector<int> TTapRing::Reachable(const TMvs& list, int count) const {
  std::vector<int> out;
  const int from = Newest(0);
  if (from == 0) return out;
  for (int i = 1; i <= count; ++i) {
    if (list[i].From() == from && std::find(out.begin(), out.end(), list[i].To()) == out.end()) {
      out.push_back(list[i].To());
    }
  }
  return out;
}

std::vector<TBoard> MoveSteps(const TBoard& board, const TMove& move, const TGameParams& params) {
  std::vector<TBoard> steps;
  if (move.lt > 1) {
    TBoard b = board;
    int8_t piece = b.b[move.mv[0]];
    const TDColor side = piece > 0 ? TDColor::white : TDColor::black;
    int prev = move.mv[0];
    for (int i = 1; i < move.lt; ++i) {
      const int to = move.mv[2 * i];
      b.b[prev] = kEmpty;
      b.b[to] = piece;
      if (!params.TurkishCapture) b.b[move.mv[2 * i - 1]] = kEmpty;
      if (params.CrowningOnCapture && (piece == kWhiteMan || piece == kBlackMan) &&
          IsPromotionSquare(params, to, side)) {
        piece = static_cast<int8_t>(piece * 2);
        b.b[to] = piece;
      }
      prev = to;
      steps.push_back(b);
    }
  }
  TBoard last = board;
  ApplyMove(move, last, params);
  steps.push_back(last);
  return steps;
}

}  // namespace quorlin

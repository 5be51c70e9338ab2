#include "games/gamerecord.h"

#include <algorithm>
#include <memory>

#include "rules/movegen.h"
#include "rules/notation.h"

namespace quorlin {

namespace {

int NodeCount(const TGame& game) { return static_cast<int>(game.Moves.size()); }

// Highest node index a parent-only scan looks at.
int ScanLimit(const TGame& game) { return std::min<int>(game.Header.LastMove, NodeCount(game) - 1); }

// Adds `child` to a list capped at 255 entries: later children replace the last.
inline void PushChild(TChildList& list, int& count, int child) {
  if (count < kMaxChildren) {
    list[count++] = child;
  } else {
    list[kMaxChildren - 1] = child;
  }
}

// Parent-only ordering: whenever an entry is marked main it is swapped to the front.
void MoveMainFirst(const TGame& game, TChildList& list, int count) {
  for (int i = 0; i < count; ++i) {
    if (game.Moves[list[i]].main) std::swap(list[i], list[0]);
  }
}

// Children of every node 0..LastMove of a parent-only tree, built in one pass so
// that whole-tree walks cost O(nodes) instead of a scan per node.
struct ParentOnlyIndex {
  std::vector<int32_t> start;  // children of p are items[start[p] .. start[p+1])
  std::vector<int32_t> items;  // in index order

  explicit ParentOnlyIndex(const TGame& game) {
    const int last = std::max(ScanLimit(game), 0);
    start.assign(last + 2, 0);
    for (int i = 1; i <= last; ++i) {
      const TMove& m = game.Moves[i];
      if (!m.free && m.parent >= 0 && m.parent <= last && m.parent != i) ++start[m.parent + 1];
    }
    for (int p = 0; p <= last; ++p) start[p + 1] += start[p];
    items.resize(start[last + 1]);
    std::vector<int32_t> fill(start.begin(), start.end() - 1);
    for (int i = 1; i <= last; ++i) {
      const TMove& m = game.Moves[i];
      if (!m.free && m.parent >= 0 && m.parent <= last && m.parent != i) items[fill[m.parent]++] = i;
    }
  }

  // Same list and order as GetChildren in the parent-only form.
  int Children(const TGame& game, int node, TChildList& list) const {
    int count = 0;
    if (node < 0 || node + 1 >= static_cast<int>(start.size())) return 0;
    for (int k = start[node]; k < start[node + 1]; ++k) PushChild(list, count, items[k]);
    MoveMainFirst(game, list, count);
    return count;
  }
};

// First child of `node` (0 when none), by the rules of the tree's form.
int FirstChild(const TGame& game, const ParentOnlyIndex* index, int node) {
  if (index) {
    TChildList list;
    return index->Children(game, node, list) ? list[0] : 0;
  }
  const int next = game.Moves[node].next;
  return next >= 1 && next < NodeCount(game) ? next : 0;
}

// Calls f(node) for every node of the main line after the root. The walk is
// bounded by the node count so that a damaged tree cannot make it loop.
template <class F>
void WalkMainLine(const TGame& game, F f) {
  if (game.Moves.empty()) return;
  std::unique_ptr<ParentOnlyIndex> index;
  if (game.Version != kTreeLinked) index = std::make_unique<ParentOnlyIndex>(game);
  int node = 0;
  for (int steps = 0; steps < NodeCount(game); ++steps) {
    node = FirstChild(game, index.get(), node);
    if (node == 0) break;
    f(node);
  }
}

TBrd TwelveMenStart() {
  TBrd b{};
  for (int s = 1; s <= 12; ++s) b[s] = kWhiteMan;
  for (int s = 21; s <= 32; ++s) b[s] = kBlackMan;
  return b;
}

// Full number of pieces a side has at the start, by board size; 0 when none is defined.
int FullSet(int boardSize) {
  switch (boardSize) {
    case 32:
      return 12;
    case 40:
      return 15;
    case 50:
      return 20;
    case 64:
      return 32;
    case 72:
      return 30;
    default:
      return 0;
  }
}

}  // namespace

const char* MoveMarkSymbol(int mark) {
  static const char* const kSymbols[] = {"", "!!", "!", "!?", "?!", "?", "??"};
  return mark >= 0 && mark < 7 ? kSymbols[mark] : "";
}

const char* PositionMarkSymbol(int mark) {
  static const char* const kSymbols[] = {"", "+-", "+=", "=", "=+", "-+", " x", "~"};
  return mark >= 0 && mark < 8 ? kSymbols[mark] : "";
}

const char* ResultText(int result) {
  static const char* const kTexts[kResultCount] = {"*", "2-0", "1-1", "0-2", "2-0t", "0-2t"};
  return result >= 0 && result < kResultCount ? kTexts[result] : kTexts[0];
}

void ClearGame(TGame& game) {
  game.DBGameNo = 0;
  game.DBName.clear();
  game.Modified = false;

  game.WhiteName.clear();
  game.BlackName.clear();
  game.AnnotatorName.clear();
  game.Tournament.clear();
  game.Site.clear();
  TGameHeader& h = game.Header;
  for (TPlayerRecord* p : {&h.White, &h.Black}) {
    p->Title = 0;
    p->Rating = 0;
    p->Country = 0;
  }

  h.AnnotatorIndex = h.TournamentIndex = h.SiteIndex = 0;
  h.Round = h.Subround = 0;
  h.Date = TDateRecord{};
  h.Opening = 0;
  h.Flags = 0;
  h.Medals = 0;
  h.ShowFrom = 0;
  h.FirstMove = TDColor::white;
  h.TypeOfGame = 0;
  h.Result = 0;
  h.Crc = 0;
  h.NumerationFrom = 0;
  h.LastMove = 0;

  game.StartBoard.fill(0);
  game.CurBoard.b.fill(0);
  game.CurBoard.nmpiece = {0, 0};

  if (game.Moves.empty()) game.Moves.resize(1);
  game.Comments.resize(game.Moves.size());
  for (int i = 0; i < NodeCount(game); ++i) FreeNode(game, i);
  game.Version = kTreeLinked;
  game.Moves[0].free = false;
  game.FreeSlotHint = 1;

  game.Closed = false;
  game.Selected = false;
  game.IsRated = false;
  game.RatedPlayer = TDColor::white;
}

int GetChildren(const TGame& game, int node, TChildList& list) {
  const int n = NodeCount(game);
  if (node < 0 || node >= n) return 0;
  int count = 0;
  if (game.Version == kTreeLinked) {
    // Bounded by the node count: a damaged chain cannot make this loop.
    int child = game.Moves[node].next;
    for (int steps = 0; child >= 1 && child < n && steps < n; ++steps) {
      PushChild(list, count, child);
      child = game.Moves[child].brother;
    }
    return count;
  }
  const int last = ScanLimit(game);
  for (int i = 1; i <= last; ++i) {
    const TMove& m = game.Moves[i];
    if (m.parent == node && !m.free && i != node) PushChild(list, count, i);
  }
  MoveMainFirst(game, list, count);
  return count;
}

int MainLineLength(const TGame& game) {
  int length = 0;
  WalkMainLine(game, [&](int) { ++length; });
  return length;
}

int AddMove(TGame& game, const TMove& move, int parent) {
  int n = NodeCount(game);
  if (parent < 0 || parent >= n || (parent != 0 && game.Moves[parent].free)) return 0;
  if (move.lt > kMaxCapturesPerMove) return 0;  // no such move fits a record

  TMove copy = move;
  copy.parent = parent;
  copy.next = 0;
  copy.brother = 0;
  copy.free = false;
  copy.main = true;

  TChildList children;
  const int count = GetChildren(game, parent, children);
  if (count > 0) {
    copy.main = false;
    for (int k = 0; k < count; ++k) {
      if (SameCapture(game.Moves[children[k]], move)) return children[k];
    }
  }

  int i = std::clamp<int>(game.FreeSlotHint, 1, n);
  while (i < n && !game.Moves[i].free) ++i;
  const int found = i;
  if (i >= n - 1) {
    if (n > kMaxGameNodes) return 0;
    game.Moves.emplace_back();
    game.Comments.emplace_back();
    ++n;
    FreeNode(game, n - 1);
    // The spare slot at the end stays free; the move goes just after the
    // highest node in use when that slot is free, else to the free slot found.
    const int after = game.Header.LastMove + 1;
    if (after >= 1 && after < n && game.Moves[after].free) i = after;
  }

  game.Header.LastMove = std::max<int32_t>(game.Header.LastMove, i);
  if (count == 0) {
    game.Moves[parent].next = i;
  } else {
    game.Moves[children[count - 1]].brother = i;
  }
  game.Moves[i] = copy;
  game.Comments[i] = TComment{};
  game.FreeSlotHint = i == found ? found + 1 : found;
  game.Modified = true;
  return i;
}

void FreeNode(TGame& game, int node) {
  if (node < 0 || node >= NodeCount(game)) return;
  TMove& m = game.Moves[node];
  m.free = true;
  m.parent = m.next = m.brother = 0;
  m.comm = 0;
  m.flags = 0;
  if (node < static_cast<int>(game.Comments.size())) game.Comments[node] = TComment{};
  if (node >= 1 && node < game.FreeSlotHint) game.FreeSlotHint = node;
}

void DeleteSubtree(TGame& game, int node) {
  const int n = NodeCount(game);
  if (node <= 0 || node >= n || game.Moves[node].free) return;

  // Collect the subtree first (the parent-only form finds children through the
  // parent fields, which freeing clears). Iterative, so a long line cannot
  // exhaust the stack; the visited marks stop a damaged tree from looping.
  std::vector<int32_t> subtree{node};
  std::vector<bool> seen(n, false);
  seen[node] = true;
  std::unique_ptr<ParentOnlyIndex> index;
  if (game.Version != kTreeLinked) index = std::make_unique<ParentOnlyIndex>(game);
  TChildList children;
  for (size_t k = 0; k < subtree.size(); ++k) {
    const int count =
        index ? index->Children(game, subtree[k], children) : GetChildren(game, subtree[k], children);
    for (int c = 0; c < count; ++c) {
      if (!seen[children[c]]) {
        seen[children[c]] = true;
        subtree.push_back(children[c]);
      }
    }
  }

  // Unlink the node from its parent's children.
  const int parent = game.Moves[node].parent;
  const int count = GetChildren(game, parent, children);
  for (int k = 0; k < count; ++k) {
    if (children[k] != node) continue;
    if (k == 0) {
      game.Moves[parent].next = game.Moves[node].brother;
    } else {
      game.Moves[children[k - 1]].brother = game.Moves[node].brother;
    }
    break;
  }

  for (int32_t s : subtree) FreeNode(game, s);

  int last = n - 1;
  while (last > 0 && game.Moves[last].free) --last;
  game.Header.LastMove = last;
  game.Modified = true;
}

void LinkTree(TGame& game) {
  if (game.Version == kTreeLinked) return;
  const ParentOnlyIndex index(game);
  // Links are rebuilt from the parent fields alone; whatever the record held in
  // them before means nothing in the parent-only form.
  for (TMove& m : game.Moves) m.next = m.brother = 0;
  const int last = std::max(ScanLimit(game), 0);
  TChildList list;
  for (int p = 0; p <= last; ++p) {
    if (game.Moves[p].free && p != 0) continue;
    const int count = index.Children(game, p, list);
    if (count == 0) continue;
    game.Moves[p].next = list[0];
    for (int k = 0; k < count; ++k) game.Moves[list[k]].brother = k + 1 < count ? list[k + 1] : 0;
  }
  game.Version = kTreeLinked;
}

void OpeningDesignation(TGame& game) {
  const int slot = game.Header.TypeOfGame;
  if (slot < 1 || slot > kVariantCount) return;
  const TGameParams& params = VariantTable[slot];
  if (params.compute.BoardSize != 32) return;
  const TBrd& b = game.StartBoard;
  if (b == TwelveMenStart()) return;

  int whiteMen = 0, blackMen = 0, kings = 0;
  for (int s = 1; s <= 32; ++s) {
    whiteMen += b[s] == kWhiteMan;
    blackMen += b[s] == kBlackMan;
    kings += b[s] == kWhiteKing || b[s] == kBlackKing;
  }
  if (whiteMen != 12 || blackMen != 12 || kings != 0) return;

  auto square = [&](int s) { return SquareText(s, params, kStyleFull, false); };

  std::string text;
  int home = 0;
  for (int s = 1; s <= 12; ++s) home += b[s] == kWhiteMan;
  if (home < 11) return;
  if (home == 12) {
    text = "---- ";
  } else {
    int from = 12;
    while (from >= 1 && b[from] == kWhiteMan) --from;
    int to = 13;
    while (to <= 28 && b[to] != kWhiteMan) ++to;
    text = square(from) + ">" + square(to) + " ";
  }

  home = 0;
  for (int s = 21; s <= 32; ++s) home += b[s] == kBlackMan;
  if (home < 11) return;
  if (home == 12) {
    text += "----";
  } else {
    int from = 32;
    while (from >= 21 && b[from] == kBlackMan) --from;
    int to = 1;
    while (to <= 20 && b[to] != kBlackMan) ++to;
    text += square(from) + ">" + square(to);
  }
  game.Comments[0].CommentBef = text;
}

void UpdateHeaderSummary(TGame& game, int version) {
  TGameHeader& h = game.Header;
  h.GameLength = static_cast<uint16_t>(std::min((MainLineLength(game) + 1) / 2, 999));
  uint8_t flags = h.Flags & kHeaderFlagDeleted;

  if (game.StartBoard != StartPosition(game.Params, true)) {
    int white = 0, black = 0;
    for (int s = 1; s <= kMaxSquares; ++s) {
      white += game.StartBoard[s] > 0;
      black += game.StartBoard[s] < 0;
    }
    const int full = FullSet(game.Params.compute.BoardSize);
    flags |= h.TypeOfGame != 0 && white == black && full != 0 && white == full ? kHeaderFlagStartFullSet
                                                                               : kHeaderFlagStartOther;
  }

  const int last = ScanLimit(game);
  int items = 0;
  size_t characters = 0;
  for (int i = 1; i <= last; ++i) {
    if (game.Moves[i].free) continue;
    const TComment& c = game.Comments[i];
    items += (game.Moves[i].comm != 0) + !c.CommentBef.empty() + !c.CommentAft.empty();
    characters += c.CommentBef.size() + c.CommentAft.size();
  }
  if (items > 5 || characters > 300) {
    flags |= kHeaderFlagManyComments;
  } else if (items > 0) {
    flags |= kHeaderFlagSomeComments;
  }

  WalkMainLine(game, [&](int node) { game.Moves[node].main = true; });

  int variations = 0;
  for (int i = 1; i <= last; ++i) {
    const TMove& m = game.Moves[i];
    if (m.free) continue;
    variations += version == kTreeParentOnly ? !m.main : m.brother != 0;
  }
  if (variations > 5) {
    flags |= kHeaderFlagManyVariations;
  } else if (variations > 0) {
    flags |= kHeaderFlagFewVariations;
  }
  h.Flags = flags;
}

bool ReplayGameLine(const TGame& game, int node, TBoard& board) {
  board = TBoard{};
  board.b = game.StartBoard;
  const int n = NodeCount(game);
  if (node < 0 || node >= n || (node != 0 && game.Moves[node].free)) return false;
  std::vector<int32_t> line;
  for (int at = node; at != 0; at = game.Moves[at].parent) {
    if (at < 0 || at >= n || game.Moves[at].free || static_cast<int>(line.size()) >= n) return false;
    line.push_back(at);
  }
  for (auto it = line.rbegin(); it != line.rend(); ++it) ApplyMove(game.Moves[*it], board, game.Params);
  return true;
}

}  // namespace quorlin

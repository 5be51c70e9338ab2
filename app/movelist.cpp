#include "app/movelist.h"

#include <algorithm>
#include <vector>

#include "common/text.h"
#include "rules/notation.h"

namespace quorlin {

std::string MoveNumberPrefix(const TGame& game, int ply, bool needNumber) {
  if (ply == 0) return "";
  const int k = ply + game.Header.NumerationFrom + 1 + (game.Header.FirstMove == TDColor::black ? 1 : 0);
  if (k % 2 == 0) return std::to_string(k / 2) + ".";
  return needNumber ? std::to_string(k / 2) + "..." : "";
}

namespace {

bool IsBreakChar(char c) {
  static const std::string kBreaks = " ,.;:-\"></|\\'";
  return kBreaks.find(c) != std::string::npos;
}

std::string TrimSpaces(const std::string& s) { return std::string(TrimView(s, " ")); }

// Byte length of the UTF-8 character starting at s[i].
size_t CharLength(const std::string& s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

class TLayout {
 public:
  TLayout(const TGame& game, int usableWidth, const TTextWidth& width)
      : game_(game), usable_(usableWidth), width_(width) {}

  TMoveList Build() {
    out_.ShowInit = game_.Header.ShowFrom;
    const TComment& root = game_.Comments[0];
    CommentWords(root.CommentBef, 0);
    Store("[#]", kAttribMainLine, 0, 0, 0);
    CommentWords(root.CommentAft, 0);
    AddLine(0, 0, kAttribMainLine, 1, true);
    Store(std::string(" ") + ResultText(game_.Header.Result), kAttribMainLine, 0, 0, 0);
    out_.Lines = line_ + 1;
    return std::move(out_);
  }

 private:
  int Width(const std::string& t, int attrib) const { return width_(t, attrib); }

  // Places one item, wrapping to a new line at `indent` when it does not fit.
  void Store(const std::string& text, int attrib, int node, uint8_t flags, int indent) {
    const int w = Width(text, attrib);
    if (x_ + w > usable_ && x_ > indent) {
      ++line_;
      x_ = indent;
    }
    Place(text, attrib, node, flags, w);
  }

  void Place(const std::string& text, int attrib, int node, uint8_t flags, int w) {
    out_.Items.push_back({text, x_, x_ + w, line_, node, static_cast<uint8_t>(attrib), flags});
    x_ += w + Width(" ", attrib);
  }

  void CommentWords(std::string c, int indent) {
    for (char& ch : c) {
      if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
    }
    c = TrimSpaces(c);
    while (!c.empty()) {
      const int room = usable_ - x_;
      // Longest start that fits, found by bisection over character boundaries.
      std::vector<size_t> ends;
      for (size_t i = 0; i < c.size(); i += CharLength(c, i)) ends.push_back(i + CharLength(c, i));
      size_t lo = 0, hi = ends.size();  // ends[0..lo) fit
      while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (Width(c.substr(0, ends[mid]), kAttribComment) <= room) {
          lo = mid + 1;
        } else {
          hi = mid;
        }
      }
      size_t take = lo == 0 ? 0 : ends[lo - 1];
      if (take == 0) {
        if (x_ > indent) {  // nothing fits in the rest of this line
          ++line_;
          x_ = indent;
          continue;
        }
        take = ends[0];  // a line too narrow for one character still shows it
      }
      if (take < c.size()) {
        for (size_t i = take; i > 0; --i) {
          if (IsBreakChar(c[i - 1])) {
            take = i;
            break;
          }
        }
      }
      const std::string word = TrimSpaces(c.substr(0, take));
      if (!word.empty()) Place(word, kAttribComment, kCommentNode, 0, Width(word, kAttribComment));
      c = TrimSpaces(c.substr(take));
      if (!c.empty()) {
        ++line_;
        x_ = indent;
      }
    }
  }

  std::string MoveTextOf(int node) const {
    const TMove& m = game_.Moves[node];
    std::string t;
    if (m.flags & kFlagFullPath) {
      MovePathText(m, game_.Params, kStyleExtended, t, false, "x");
    } else {
      MoveToText(m, game_.Params, kStyleExtended, t, false, "x");
    }
    return t;
  }

  void AddMoveItem(int node, int attrib, int indent, bool needNumber, int ply) {
    const TComment& cm = game_.Comments[node];
    const TMove& m = game_.Moves[node];
    CommentWords(cm.CommentBef, indent);
    const std::string text = MoveNumberPrefix(game_, ply, needNumber) + MoveTextOf(node) +
                             MoveMarkSymbol(m.comm & 0x0F) + PositionMarkSymbol((m.comm >> 4) & 0x0F);
    Store(text, attrib, node, m.flags, indent);
    CommentWords(cm.CommentAft, indent);
  }

  // A straight line: from `node` on, every node has at most one child.
  bool IsStraight(int node) const {
    TChildList kids;
    for (int n = node;;) {
      const int count = GetChildren(game_, n, kids);
      if (count == 0) return true;
      if (count > 1) return false;
      n = kids[0];
    }
  }

  // One line being laid out: where it has got to and, while one of its
  // branch points shows its variations as blocks, which block is open.
  struct TLineWalk {
    int node, indent, level, ply;
    bool needNumber;
    int branch = -1;  // node whose variations are open as blocks, -1 none
    int block = 0;    // index among that node's children of the open block
  };

  // Lays out the line after `node` with its variations. Variations nest as
  // deep as a stored game does, so the open lines are kept on a list of their
  // own rather than on the call stack.
  void AddLine(int node, int indent, int level, int ply, bool needNumber) {
    std::vector<TLineWalk> open{{node, indent, level, ply, needNumber}};
    TChildList kids;
    while (!open.empty()) {
      TLineWalk& w = open.back();
      if (w.branch >= 0) {
        if (!NextBlock(w, kids)) continue;
        const TLineWalk child = OpenBlock(w, kids);
        open.push_back(child);
        continue;
      }
      if (!StepLine(w, kids)) {
        open.pop_back();
        continue;
      }
      if (w.branch >= 0) open.push_back(OpenBlock(w, kids));
    }
  }

  // Places the next move of line `w` and its inline variations; at a branch
  // point whose variations need blocks, marks the first block open. False at
  // the end of the line.
  bool StepLine(TLineWalk& w, TChildList& kids) {
    const bool problem = (game_.Header.Medals & 1) != 0;
    if (problem && w.node == game_.CurMovPos) return false;
    const int count = GetChildren(game_, w.node, kids);
    if (count == 0) return false;
    const int first = kids[0];
    AddMoveItem(first, w.level, w.indent, w.needNumber, w.ply);
    if (count == 1) {
      w.needNumber = false;
      w.node = first;
      ++w.ply;
      return true;
    }
    bool allStraight = true;
    for (int j = 1; j < count && allStraight; ++j) allStraight = IsStraight(kids[j]);
    if (allStraight && w.level == kAttribVariation) {
      // Straight alternatives inside a variation stay on its line in
      // parentheses; being straight, they hold no variations themselves.
      Store("(", kAttribInline, 0, 0, w.indent);
      for (int j = 1; j < count; ++j) {
        if (j > 1) Store(";", kAttribInline, 0, 0, w.indent);
        AddMoveItem(kids[j], kAttribInline, w.indent, true, w.ply);
        AddStraightLine(kids[j], w.indent, w.ply + 1);
      }
      Store(")", kAttribInline, 0, 0, w.indent);
      w.needNumber = true;
      w.node = first;
      ++w.ply;
      return true;
    }
    ++line_;
    w.branch = w.node;
    w.block = 1;
    return true;
  }

  // Opens block `w.block` of the branch point: its bracket, its first move,
  // and the walk of the rest of it.
  TLineWalk OpenBlock(const TLineWalk& w, const TChildList& kids) {
    const int blockIndent = w.indent + kVariationIndent;
    const int start = kids[w.block];
    x_ = blockIndent;
    Store("[", kAttribVariation, 0, 0, blockIndent);
    AddMoveItem(start, kAttribVariation, blockIndent, true, w.ply);
    return {start, blockIndent, kAttribVariation, w.ply + 1, false};
  }

  // Closes the block just laid out; true with `kids` filled when the branch
  // point has another, else the line goes on after the branch point's main move.
  bool NextBlock(TLineWalk& w, TChildList& kids) {
    Store("]", kAttribVariation, 0, 0, w.indent + kVariationIndent);
    ++line_;
    x_ = w.indent;
    const int count = GetChildren(game_, w.branch, kids);
    if (++w.block < count) return true;
    w.needNumber = true;
    w.node = kids[0];
    ++w.ply;
    w.branch = -1;
    return false;
  }

  // A variation without branches, on the current line.
  void AddStraightLine(int node, int indent, int ply) {
    const bool problem = (game_.Header.Medals & 1) != 0;
    TChildList kids;
    for (; !(problem && node == game_.CurMovPos) && GetChildren(game_, node, kids) > 0; ++ply) {
      node = kids[0];
      AddMoveItem(node, kAttribInline, indent, false, ply);
    }
  }

  const TGame& game_;
  int usable_;
  const TTextWidth& width_;
  TMoveList out_;
  int line_ = 0;
  int x_ = 0;
};

}  // namespace

TMoveList BuildMoveList(const TGame& game, int usableWidth, const TTextWidth& width) {
  return TLayout(game, usableWidth, width).Build();
}

int ItemAt(const TMoveList& list, int line, double x) {
  for (const TMoveListItem& item : list.Items) {
    if (item.line == line && item.posstart <= x && x <= item.posend) return item.moverel;
  }
  return -1;
}

}  // namespace quorlin

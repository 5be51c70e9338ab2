#include "games/bodycodec.h"

#include <algorithm>

#include "common/text.h"
#include "rules/variants.h"

namespace quorlin {

namespace {

// Node record flag bits.
constexpr uint8_t kNodeMain = 0x80;
constexpr uint8_t kNodeFree = 0x40;
constexpr uint8_t kNodeAnnotated = 0x20;
constexpr uint8_t kNodeShortLinks = 0x10;
constexpr uint8_t kNodeShortCount = 0x08;
constexpr uint8_t kNodeCountMask = 0x07;

constexpr int kPackedBoardBuiltIn = 24;  // squares 1..72
constexpr int kPackedBoardCustom = 43;   // squares 1..129 (129 always empty)
constexpr int kPackedBoard20 = 17;       // squares 1..51 (51 ignored)

constexpr int kMaxSquareBytes = 2 * kMaxCapturesPerMove + 1;

// ---------------------------------------------------------------- texts ---

// Next code point of UTF-8 text at i; a byte that does not start a valid
// sequence is taken as the Latin-1 character of that code.
char32_t NextCodePoint(const std::string& s, size_t& i) {
  const size_t at = i;
  char32_t cp;
  if (DecodeUtf8(s, i, cp)) return cp;
  return static_cast<unsigned char>(s[at]);
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ------------------------------------------------------------- positions ---

// Start position a body omits, chosen by the board size of the variant slot.
TBrd TemplateStart(int typeOfGame) {
  const int size =
      typeOfGame >= 1 && typeOfGame <= kVariantCount ? VariantTable[typeOfGame].compute.BoardSize : 0;
  int slot = kRussian;
  switch (size) {
    case 40:
      slot = kSpantsiretti;
      break;
    case 50:
      slot = kInternational;
      break;
    case 64:
      slot = kTurkish;
      break;
    case 72:
      slot = kCanadian;
      break;
    default:
      break;
  }
  return StartPosition(VariantTable[slot], true);
}

// ----------------------------------------------------------------- reader ---

// Takes bytes of a body in order and never past its end. On failure it records
// what was being read and where.
class Reader {
 public:
  Reader(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

  size_t Pos() const { return pos_; }
  size_t Remaining() const { return length_ - pos_; }
  const std::string& Error() const { return error_; }
  void SetNode(int node) { node_ = node; }

  bool Byte(uint8_t& v, const char* what) {
    if (pos_ >= length_) return Ends(what);
    v = bytes_[pos_++];
    return true;
  }
  bool Word(uint16_t& v, const char* what) {
    if (Remaining() < 2) return Ends(what);
    v = static_cast<uint16_t>(bytes_[pos_] << 8 | bytes_[pos_ + 1]);
    pos_ += 2;
    return true;
  }
  bool Int32(int32_t& v, const char* what) {
    if (Remaining() < 4) return Ends(what);
    const uint32_t u = uint32_t{bytes_[pos_]} << 24 | uint32_t{bytes_[pos_ + 1]} << 16 |
                       uint32_t{bytes_[pos_ + 2]} << 8 | uint32_t{bytes_[pos_ + 3]};
    v = static_cast<int32_t>(u);
    pos_ += 4;
    return true;
  }
  // A link: 1 byte in the short form, else `wide` bytes (4 signed or 2 unsigned).
  bool Link(int32_t& v, bool shortForm, int wide, const char* what) {
    if (shortForm) {
      uint8_t b = 0;
      if (!Byte(b, what)) return false;
      v = b;
      return true;
    }
    if (wide == 4) return Int32(v, what);
    uint16_t w = 0;
    if (!Word(w, what)) return false;
    v = w;
    return true;
  }
  bool Text(std::string& out, bool wide, const char* what) {
    uint16_t units = 0;
    if (!Word(units, what)) return false;
    const size_t bytes = size_t{units} * (wide ? 2 : 1);
    if (Remaining() < bytes) return Ends(what);
    const uint8_t* p = bytes_ + pos_;
    out.clear();
    if (wide) {
      std::u16string u(units, u'\0');
      for (size_t k = 0; k < units; ++k) u[k] = static_cast<char16_t>(p[2 * k] << 8 | p[2 * k + 1]);
      out = Utf16ToUtf8(u);
    } else {
      for (size_t k = 0; k < units; ++k) AppendUtf8(out, p[k]);
    }
    pos_ += bytes;
    return true;
  }
  bool Fail(const std::string& what, size_t at) {
    error_ = "damaged game body: " + what + Where() + " at byte " + std::to_string(at);
    return false;
  }

 private:
  std::string Where() const { return node_ >= 0 ? " (node " + std::to_string(node_) + ")" : ""; }
  bool Ends(const char* what) {
    error_ =
        "damaged game body: it ends at byte " + std::to_string(length_) + " while reading " + what + Where();
    return false;
  }

  const uint8_t* bytes_;
  size_t length_;
  size_t pos_ = 0;
  int node_ = -1;
  std::string error_;
};

// Packed board of `count` bytes into cells 1..lastSquare (the values of further
// squares in the last byte are ignored). `strict`: a value outside -2..2
// empties the board and fails; otherwise `emptyAllOnBad` empties the whole
// board, or just that cell.
bool ReadPackedBoard(Reader& in, int count, int lastSquare, TBrd& cells, bool strict, bool emptyAllOnBad) {
  cells.fill(0);
  bool bad = false;
  for (int k = 0; k < count; ++k) {
    uint8_t byte = 0;
    const size_t at = in.Pos();
    if (!in.Byte(byte, "the start position")) {
      cells.fill(0);
      return false;
    }
    const int values[3] = {byte % 5 - 2, byte / 5 % 5 - 2, byte / 25 - 2};
    for (int j = 0; j < 3; ++j) {
      const int square = 3 * k + 1 + j;
      const bool ok = values[j] >= -2 && values[j] <= 2;
      if (!ok) {
        if (strict) {
          cells.fill(0);
          return in.Fail("packed start position value " + std::to_string(byte) + " is not three cells", at);
        }
        bad = true;
      }
      if (square <= lastSquare) cells[square] = ok ? static_cast<int8_t>(values[j]) : 0;
    }
  }
  if (bad && emptyAllOnBad) cells.fill(0);
  return true;
}

// ------------------------------------------------------------ tree check ---

// Where a node's record starts, for error texts; empty when checking a game in memory.
using RecordOffsets = std::vector<size_t>;

std::string NodeWhere(int node, const RecordOffsets* offsets) {
  std::string s = "node " + std::to_string(node);
  if (offsets && node >= 0 && static_cast<size_t>(node) < offsets->size() && (*offsets)[node] != SIZE_MAX) {
    s += " (byte " + std::to_string((*offsets)[node]) + ")";
  }
  return s;
}

bool CheckTree(const TGame& game, bool linked, const RecordOffsets* offsets, std::string& error) {
  const int n = static_cast<int>(game.Moves.size());
  if (n < 1 || game.Comments.size() != game.Moves.size()) {
    error = "the move and comment arrays differ in length";
    return false;
  }
  const int last = game.Header.LastMove;
  if (last < 0 || last >= n) {
    error = "LastMove " + std::to_string(last) + " is outside the " + std::to_string(n) + " nodes";
    return false;
  }
  for (int j = last + 1; j < n; ++j) {
    if (!game.Moves[j].free) {
      error = NodeWhere(j, offsets) + " is in use above LastMove " + std::to_string(last);
      return false;
    }
  }
  const TMove& root = game.Moves[0];
  if (root.parent != 0 || (linked && root.brother != 0)) {
    error = "the root has a parent or a sibling";
    return false;
  }
  auto inRange = [&](int32_t v) { return v >= 0 && v <= last; };
  for (int j = 0; j <= last; ++j) {
    const TMove& m = game.Moves[j];
    const std::pair<const char*, int32_t> links[3] = {
        {"parent", m.parent}, {"first child", m.next}, {"next sibling", m.brother}};
    for (int k = 0; k < (linked ? 3 : 1); ++k) {
      if (!inRange(links[k].second)) {
        error = NodeWhere(j, offsets) + ": " + links[k].first + " " + std::to_string(links[k].second) +
                " is outside nodes 0.." + std::to_string(last);
        return false;
      }
    }
    if (m.lt > kMaxCapturesPerMove) {
      error = NodeWhere(j, offsets) + ": " + std::to_string(m.lt) + " captures, at most " +
              std::to_string(kMaxCapturesPerMove) + " fit";
      return false;
    }
  }

  // Every parent chain must reach the root: 0 unknown, 1 on the chain being
  // followed, 2 known to reach the root.
  std::vector<uint8_t> state(last + 1, 0);
  std::vector<int32_t> chain;
  state[0] = 2;
  for (int j = 1; j <= last; ++j) {
    chain.clear();
    int at = j;
    while (state[at] == 0) {
      state[at] = 1;
      chain.push_back(at);
      at = game.Moves[at].parent;
    }
    if (state[at] == 1) {
      error = NodeWhere(at, offsets) + " is its own ancestor (the parent links form a cycle)";
      return false;
    }
    for (int32_t c : chain) state[c] = 2;
  }

  if (!linked) return true;
  // Linked form: each node is reached by at most one first-child or sibling
  // link, and following the links from the nodes nobody links to reaches every
  // node, so that there is no cycle.
  std::vector<uint8_t> incoming(last + 1, 0);
  for (int j = 0; j <= last; ++j) {
    for (int32_t target : {game.Moves[j].next, game.Moves[j].brother}) {
      if (target == 0) continue;
      if (target == j || ++incoming[target] > 1) {
        error = NodeWhere(target, offsets) + " is linked from more than one place or from itself";
        return false;
      }
    }
  }
  std::vector<int32_t> stack;
  std::vector<bool> seen(last + 1, false);
  for (int j = 0; j <= last; ++j) {
    if (incoming[j] != 0) continue;
    stack.push_back(j);
    while (!stack.empty()) {
      const int at = stack.back();
      stack.pop_back();
      seen[at] = true;
      if (game.Moves[at].next) stack.push_back(game.Moves[at].next);
      if (game.Moves[at].brother) stack.push_back(game.Moves[at].brother);
    }
  }
  for (int j = 1; j <= last; ++j) {
    if (!seen[j]) {
      error = NodeWhere(j, offsets) + " is its own ancestor (the child links form a cycle)";
      return false;
    }
  }
  return true;
}

// --------------------------------------------------------------- writer ---

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
  void Byte(uint8_t v) { out_.push_back(v); }
  void Word(uint16_t v) {
    Byte(static_cast<uint8_t>(v >> 8));
    Byte(static_cast<uint8_t>(v));
  }
  void Int32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int shift = 24; shift >= 0; shift -= 8) Byte(static_cast<uint8_t>(u >> shift));
  }
  void Link(int32_t v, bool shortForm) {
    if (shortForm) {
      Byte(static_cast<uint8_t>(v));
    } else {
      Int32(v);
    }
  }

 private:
  std::vector<uint8_t>& out_;
};

const char* CommentName(int which) {
  static const char* const kNames[3] = {"comment before the move", "comment after the move",
                                        "additional text"};
  return kNames[which];
}

// Writes one text; false with `error` when it is too long for the 2-byte length.
bool WriteText(Writer& w, const std::string& text, bool wide, int node, int which, std::string& error) {
  size_t units;
  if (wide) {
    if (IsAscii(text)) {
      units = text.size();
      if (units <= kMaxBodyText) {
        w.Word(static_cast<uint16_t>(units));
        for (char c : text) w.Word(static_cast<uint8_t>(c));
        return true;
      }
    } else {
      const std::u16string u = Utf8ToUtf16(text);
      units = u.size();
      if (units <= kMaxBodyText) {
        w.Word(static_cast<uint16_t>(units));
        for (char16_t c : u) w.Word(c);
        return true;
      }
    }
  } else {
    const std::string latin = IsAscii(text) ? text : Utf8ToLatin1(text);
    units = latin.size();
    if (units <= kMaxBodyText) {
      w.Word(static_cast<uint16_t>(units));
      for (char c : latin) w.Byte(static_cast<uint8_t>(c));
      return true;
    }
  }
  error = "the " + std::string(CommentName(which)) + " of node " + std::to_string(node) + " has " +
          std::to_string(units) + " characters; a game can store at most " + std::to_string(kMaxBodyText);
  return false;
}

bool Encode(const TGame& game, int version, std::vector<uint8_t>& body, std::string& error) {
  const bool v38 = version == kBodyVersion38;
  if (!CheckTree(game, v38, nullptr, error)) return false;

  Writer w(body);
  const bool custom = game.Header.TypeOfGame == 0;
  const int lastCell = custom ? kMaxSquares : 3 * kPackedBoardBuiltIn;
  for (int s = 1; s <= kMaxSquares; ++s) {
    const int v = game.StartBoard[s];
    if (v < -2 || v > 2 || (v != 0 && s > lastCell)) {
      error = "the start position holds " + std::to_string(v) + " on square " + std::to_string(s) +
              ", which cannot be stored";
      return false;
    }
  }
  if (!custom && game.StartBoard == TemplateStart(game.Header.TypeOfGame)) {
    w.Byte(0);
  } else {
    w.Byte(1);
    const int count = custom ? kPackedBoardCustom : kPackedBoardBuiltIn;
    for (int k = 0; k < count; ++k) {
      int byte = 0;
      for (int j = 2; j >= 0; --j) {
        const int square = 3 * k + 1 + j;
        byte = byte * 5 + (square <= kMaxSquares ? game.StartBoard[square] : 0) + 2;
      }
      w.Byte(static_cast<uint8_t>(byte));
    }
  }

  if (!v38 && !WriteText(w, game.Comments[0].CommentAft, false, 0, 1, error)) return false;

  // Version 30 keeps only the parent links; the child flagged main is the first
  // child when read back. For a linked tree that flag is written on exactly the
  // first children, so the stored main line is the one shown now.
  const bool mainFromLinks = !v38 && game.Version == kTreeLinked;
  std::vector<bool> firstChild;
  if (mainFromLinks) {
    firstChild.assign(game.Header.LastMove + 1, false);
    for (int j = 0; j <= game.Header.LastMove; ++j) {
      const int32_t next = game.Moves[j].next;
      if (!game.Moves[j].free && next > 0 && next <= game.Header.LastMove) firstChild[next] = true;
    }
  }

  for (int j = v38 ? 0 : 1; j <= game.Header.LastMove; ++j) {
    const TMove& m = game.Moves[j];
    const TComment& c = game.Comments[j];
    const bool annotated =
        m.comm != 0 || !c.CommentBef.empty() || !c.CommentAft.empty() || !c.CommentAdd.empty();
    const auto small = [](int32_t v) { return v >= 0 && v < 256; };
    const bool shortLinks = small(m.parent) && (!v38 || (small(m.next) && small(m.brother)));
    const bool main = mainFromLinks ? firstChild[j] : m.main;
    uint8_t flag = (main ? kNodeMain : 0) | (m.free ? kNodeFree : 0) | (annotated ? kNodeAnnotated : 0) |
                   (shortLinks ? kNodeShortLinks : 0);
    if (m.lt < 8) flag |= kNodeShortCount | m.lt;
    w.Byte(flag);
    if (annotated) {
      w.Word(m.comm);
      if (!WriteText(w, c.CommentBef, v38, j, 0, error) || !WriteText(w, c.CommentAft, v38, j, 1, error) ||
          (v38 && !WriteText(w, c.CommentAdd, v38, j, 2, error))) {
        return false;
      }
    }
    w.Link(m.parent, shortLinks);
    if (v38) {
      w.Link(m.next, shortLinks);
      w.Link(m.brother, shortLinks);
    }
    if (m.lt >= 8) w.Byte(m.lt);
    w.Byte(m.flags);
    const int squares = m.lt == 0 ? 2 : 2 * m.lt + 1;
    for (int k = 0; k < squares; ++k) w.Byte(m.mv[k]);
  }
  return true;
}

// ---------------------------------------------------------------- decoder ---

bool Decode(Reader& in, TGame& game, int version, std::string& error) {
  const bool v38 = version == kBodyVersion38;
  const bool v20 = version == kBodyVersion20;
  const int64_t last = game.Header.LastMove;
  if (last < 0) {
    error = "damaged game body: the header's LastMove is " + std::to_string(last);
    return false;
  }
  // Smallest node record: flag, a 1-byte parent (and two links in version 38),
  // the flags byte (not in version 20), two squares.
  const int64_t minRecord = v38 ? 7 : v20 ? 4 : 5;
  const int64_t records = v38 ? last + 1 : last;
  if (records * minRecord > static_cast<int64_t>(in.Remaining())) {
    error = "damaged game body: " + std::to_string(records) + " nodes need at least " +
            std::to_string(records * minRecord) + " bytes but the body has " + std::to_string(in.Remaining());
    return false;
  }

  // Start position.
  uint8_t kind = 0;
  if (!in.Byte(kind, "the start position")) return false;
  const int type = game.Header.TypeOfGame;
  if (v20) {
    const int size = type >= 1 && type <= kVariantCount ? VariantTable[type].compute.BoardSize : 0;
    if (kind == 0) {
      const bool known = size == 32 || size == 40 || size == 50 || size == 64 || size == 72;
      if (known) {
        game.StartBoard = TemplateStart(type);
      } else {
        game.StartBoard.fill(0);
      }
    } else if (!ReadPackedBoard(in, size == 72 ? kPackedBoardBuiltIn : kPackedBoard20, size == 72 ? 72 : 50,
                                game.StartBoard, false, size == 72)) {
      return false;
    }
  } else if (kind == 0) {
    game.StartBoard = TemplateStart(type);
  } else if (!ReadPackedBoard(in, type == 0 ? kPackedBoardCustom : kPackedBoardBuiltIn,
                              type == 0 ? kMaxSquares : 3 * kPackedBoardBuiltIn, game.StartBoard, true,
                              true)) {
    return false;
  }

  const size_t size = static_cast<size_t>(last) + 1;
  if (game.Moves.size() < size) game.Moves.resize(size);
  game.Comments.resize(game.Moves.size());
  for (size_t j = size; j < game.Moves.size(); ++j) {
    if (!game.Moves[j].free) FreeNode(game, static_cast<int>(j));
  }

  // The root: version 38 stores it as a node; otherwise it is a bare root with
  // at most the comment before the first move.
  if (!v38) {
    game.Moves[0] = TMove{};
    game.Comments[0] = TComment{};
    if (!v20 && !in.Text(game.Comments[0].CommentAft, false, "the root comment")) return false;
  }

  RecordOffsets offsets(size, SIZE_MAX);
  for (size_t j = v38 ? 0 : 1; j < size; ++j) {
    in.SetNode(static_cast<int>(j));
    offsets[j] = in.Pos();
    TMove m{};
    TComment c;
    uint8_t flag = 0;
    if (!in.Byte(flag, "the flag byte")) return false;
    m.main = flag & kNodeMain;
    m.free = flag & kNodeFree;
    if (flag & kNodeAnnotated) {
      if (!in.Word(m.comm, "the annotation") || !in.Text(c.CommentBef, v38, "the comment before the move") ||
          !in.Text(c.CommentAft, v38, "the comment after the move") ||
          (v38 && !in.Text(c.CommentAdd, true, "the additional text"))) {
        return false;
      }
    }
    const bool shortLinks = flag & kNodeShortLinks;
    if (!in.Link(m.parent, shortLinks, v20 ? 2 : 4, "the parent link")) return false;
    if (v38 && (!in.Link(m.next, shortLinks, 4, "the first-child link") ||
                !in.Link(m.brother, shortLinks, 4, "the sibling link"))) {
      return false;
    }
    if (flag & kNodeShortCount) {
      m.lt = flag & kNodeCountMask;
    } else {
      const size_t at = in.Pos();
      if (!in.Byte(m.lt, "the capture count")) return false;
      if (m.lt > kMaxCapturesPerMove) {
        return in.Fail(
            "capture count " + std::to_string(m.lt) + " exceeds " + std::to_string(kMaxCapturesPerMove), at);
      }
    }
    if (!v20 && !in.Byte(m.flags, "the notation flags")) return false;
    const int squares = m.lt == 0 ? 2 : std::min(2 * m.lt + 1, kMaxSquareBytes);
    for (int k = 0; k < squares; ++k) {
      if (!in.Byte(m.mv[k], "the squares of the move")) return false;
    }
    game.Moves[j] = m;
    game.Comments[j] = std::move(c);
  }
  in.SetNode(-1);
  game.Moves[0].free = false;
  game.FreeSlotHint = 1;

  std::string fault;
  if (!CheckTree(game, v38, &offsets, fault)) {
    error = "damaged game body: " + fault;
    return false;
  }
  return true;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    AppendUtf16(out, NextCodePoint(text, i));
  }
  return out;
}

std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
  }
  return out;
}

std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

bool CheckGameTree(const TGame& game, std::string& error) {
  return CheckTree(game, game.Version == kTreeLinked, nullptr, error);
}

bool EncodeBody(const TGame& game, int version, std::vector<uint8_t>& body, std::string& error) {
  body.clear();
  if (version != kBodyVersion30 && version != kBodyVersion38) {
    error = "game bodies are written in versions 30 and 38 only, not " + std::to_string(version);
    return false;
  }
  bool ok;
  std::string fault;
  if (version == kBodyVersion38 && game.Version != kTreeLinked) {
    // A version-38 body stores the child links, which a parent-only tree does not keep.
    TGame linked = game;
    LinkTree(linked);
    ok = Encode(linked, version, body, fault);
  } else {
    ok = Encode(game, version, body, fault);
  }
  if (!ok) {
    body.clear();
    error = "The game cannot be saved: " + fault + ".";
  }
  return ok;
}

bool DecodeBody(const uint8_t* bytes, size_t length, TGame& game, int version, std::string& error) {
  if (version != kBodyVersion20 && version != kBodyVersion30 && version != kBodyVersion38) {
    error = "unknown game body version " + std::to_string(version);
    ClearGame(game);
    return false;
  }
  Reader in(bytes, bytes ? length : 0);
  std::string fault;
  if (!Decode(in, game, version, fault)) {
    error = fault.empty() ? in.Error() : fault;
    ClearGame(game);
    return false;
  }
  return true;
}

}  // namespace quorlin

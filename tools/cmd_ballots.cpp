// quorlin ballots build: the ballot databases of the play mode's new games,
// from ballot lists in JSON (label -> FEN of the position after the ballot's
// moves). Each ballot becomes a game whose main line reaches the ballot
// position from the start position; a position that no line of the label's
// moves reaches (eleven-man ballots start with men removed) is stored as the
// game's set-up position. Variants without a list get every pair of opening
// moves.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

namespace fs = std::filesystem;

// --- A small reader for the lists: objects of strings and arrays of strings ---

struct TJsonReader {
  std::string text;
  size_t pos = 0;
  std::string file;

  [[noreturn]] void Fail(const std::string& expected) const {
    const size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(std::min(pos, text.size())), '\n'));
    throw std::runtime_error(file + ":" + std::to_string(line) + ": expected " + expected);
  }
  void Skip() {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  }
  bool Take(char c) {
    Skip();
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  std::string String() {
    if (!Take('"')) Fail("a string");
    std::string s;
    while (pos < text.size() && text[pos] != '"') {
      char c = text[pos++];
      if (c == '\\' && pos < text.size()) {
        const char e = text[pos++];
        c = e == 'n' ? '\n' : e == 't' ? '\t' : e;
      }
      s += c;
    }
    if (pos >= text.size()) Fail("the end of a string");
    ++pos;
    return s;
  }
};

// The "all" map and, when present, the "standard" list of a ballot file.
struct TBallotList {
  std::vector<std::pair<std::string, std::string>> all;  // label, FEN, in file order
  std::vector<std::string> standard;
};

TBallotList ReadBallotList(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read \"" + path.string() + "\"");
  std::stringstream ss;
  ss << in.rdbuf();
  TJsonReader r{ss.str(), 0, path.string()};
  TBallotList list;
  if (!r.Take('{')) r.Fail("\"{\"");
  do {
    const std::string group = r.String();
    if (!r.Take(':')) r.Fail("\":\"");
    if (r.Take('{')) {
      if (!r.Take('}')) {
        do {
          std::string label = r.String();
          if (!r.Take(':')) r.Fail("\":\"");
          std::string fen = r.String();
          if (group == "all") list.all.emplace_back(std::move(label), std::move(fen));
        } while (r.Take(','));
        if (!r.Take('}')) r.Fail("\"}\"");
      }
    } else if (r.Take('[')) {
      if (!r.Take(']')) {
        do {
          std::string label = r.String();
          if (group == "standard") list.standard.push_back(std::move(label));
        } while (r.Take(','));
        if (!r.Take(']')) r.Fail("\"]\"");
      }
    } else {
      r.Fail("an object or a list after \"" + group + "\"");
    }
  } while (r.Take(','));
  if (!r.Take('}')) r.Fail("\"}\"");
  return list;
}

// --- From a label to a line of moves -------------------------------------------

std::string NormalizeMoveText(const std::string& t) {
  // Lower case, capture marks as "-", no leading zeros in square numbers.
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t[i])));
    if (c == 'x' || c == ':') c = '-';
    const bool startsNumber = std::isdigit(static_cast<unsigned char>(c)) &&
                              (out.empty() || !std::isalnum(static_cast<unsigned char>(out.back())));
    if (startsNumber && c == '0' && i + 1 < t.size() && std::isdigit(static_cast<unsigned char>(t[i + 1])))
      continue;
    out += c;
  }
  return out;
}

// Move tokens of a label ("01 9-13 21-17", "I-2: ab4 ba5"): the words after
// the ballot number that look like moves.
std::vector<std::string> LabelMoves(const std::string& label) {
  std::vector<std::string> words;
  std::istringstream in(label);
  std::string w;
  while (in >> w) words.push_back(w);
  std::vector<std::string> moves;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& t = words[i];
    const bool hasDigit = std::any_of(t.begin(), t.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    const bool plain = std::all_of(t.begin(), t.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == 'x' || c == ':';
    });
    if (hasDigit && plain && t.back() != ':' && t.back() != '.') moves.push_back(t);
  }
  return moves;
}

bool MoveMatches(const TMove& m, const TGameParams& p, const std::string& token) {
  // Short captures may be written without a separator ("bd6" for b4:d6).
  auto bare = [](std::string t) {
    t.erase(std::remove(t.begin(), t.end(), '-'), t.end());
    return t;
  };
  const std::string want = NormalizeMoveText(token);
  for (int style = 0; style <= 3; ++style)
    for (bool alpha : {false, true}) {
      const std::string text = NormalizeMoveText(MoveText(m, p, style, "x", alpha));
      if (text == want || (m.lt > 0 && bare(text) == bare(want))) return true;
    }
  return false;
}

// Depth-first over the legal moves matching the tokens; true with `line` set
// when the position and side reached equal the target.
bool FindLine(const TBoard& b, int side, const std::vector<std::string>& tokens, size_t at, const TGameParams& p,
              const TBrd& target, int targetSide, std::vector<TMove>& line) {
  if (at == tokens.size()) return b.b == target && side == targetSide;
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(b, side, list, n, p, true);
  for (int i = 1; i <= n; ++i) {
    if (!MoveMatches(list[i], p, tokens[at])) continue;
    TBoard after = b;
    ApplyMove(list[i], after, p);
    line.push_back(list[i]);
    if (FindLine(after, 1 - side, tokens, at + 1, p, target, targetSide, line)) return true;
    line.pop_back();
  }
  return false;
}

// Depth-first over every legal move, for labels whose moves are not readable.
bool SearchLine(const TBoard& b, int side, int depth, const TGameParams& p, const TBrd& target, int targetSide,
                std::vector<TMove>& line) {
  if (b.b == target && side == targetSide) return true;
  if (depth == 0) return false;
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(b, side, list, n, p, true);
  for (int i = 1; i <= n; ++i) {
    TBoard after = b;
    ApplyMove(list[i], after, p);
    line.push_back(list[i]);
    if (SearchLine(after, 1 - side, depth - 1, p, target, targetSide, line)) return true;
    line.pop_back();
  }
  return false;
}

// --- Writing -----------------------------------------------------------------------

struct TBallotDb {
  TQuorlinDB db;
  std::string path;
  int games = 0, setups = 0;
};

void OpenBallotDb(TBallotDb& out, const fs::path& path) {
  out.path = path.string();
  if (!CreateDatabase(out.path, out.db, kDBVersion38, true))
    throw std::runtime_error("cannot create \"" + out.path + "\": " + out.db.LastError);
}

void AddBallot(TBallotDb& out, int variant, const std::string& label, const TBrd& start, int firstSide,
               const std::vector<TMove>& line) {
  const TGameParams& p = VariantTable[variant];
  TGame g;
  ClearGame(g);
  g.Params = p;
  g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  g.Header.FirstMove = firstSide == 0 ? TDColor::white : TDColor::black;
  g.StartBoard = start;
  g.CurBoard = TBoard{};
  g.CurBoard.b = start;
  g.SideToMove = g.Header.FirstMove;
  g.Tournament = "Ballot " + label;
  int node = 0;
  for (const TMove& m : line) {
    node = AddMove(g, m, node);
    if (node == 0) throw std::runtime_error("ballot \"" + label + "\": no room for its moves");
    ApplyMove(g.Moves[node], g.CurBoard, p);
  }
  g.CurMovPos = node;
  if (!WriteGame(g, 0, out.db, false))
    throw std::runtime_error("cannot write ballot \"" + label + "\" to \"" + out.path + "\": " + out.db.LastError);
  ++out.games;
  if (line.empty()) ++out.setups;
}

void CloseBallotDb(TBallotDb& out) {
  if (!CloseDatabase(out.db)) throw std::runtime_error("cannot close \"" + out.path + "\": " + out.db.LastError);
  std::printf("%s: %d ballots (%d as set-up positions)\n", out.path.c_str(), out.games, out.setups);
}

// Adds the ballots of a list (its "standard" ones when it has such a group),
// each position once.
void AddList(TBallotDb& out, int variant, const fs::path& file, std::map<TBrd, bool>& seen) {
  const TBallotList list = ReadBallotList(file);
  std::vector<std::string> wanted = list.standard;
  const TGameParams& p = VariantTable[variant];
  const TBrd start = StartPosition(p, false);
  int unreached = 0;
  for (const auto& [label, fen] : list.all) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), label) == wanted.end()) continue;
    TBrd cells{};
    int side = 0;
    ParseFEN(p, fen, cells, side);
    const TBrd key = [&] {
      TBrd k = cells;
      k[0] = static_cast<int8_t>(side);
      return k;
    }();
    if (seen.count(key)) continue;
    seen[key] = true;
    TBoard b;
    b.b = start;
    std::vector<TMove> line;
    const std::vector<std::string> tokens = LabelMoves(label);
    bool found = !tokens.empty() && FindLine(b, 0, tokens, 0, p, cells, side, line);
    if (!found) {
      line.clear();
      found = SearchLine(b, 0, 4, p, cells, side, line);
    }
    if (found) {
      AddBallot(out, variant, label, start, 0, line);
    } else {
      if (++unreached <= 3) std::printf("  not reached by its moves: %s\n", label.c_str());
      AddBallot(out, variant, label, cells, side, {});
    }
  }
  std::printf("%s: %zu ballots listed, %d not reached by moves\n", file.filename().string().c_str(),
              wanted.empty() ? list.all.size() : wanted.size(), unreached);
}

// Every pair of opening moves of a variant.
void AddAllOpeningPairs(TBallotDb& out, int variant) {
  const TGameParams& p = VariantTable[variant];
  TBoard b;
  b.b = StartPosition(p, false);
  TMvs first, second;
  uint8_t n1 = 0, n2 = 0;
  GenerateMoves(b, 0, first, n1, p, true);
  for (int i = 1; i <= n1; ++i) {
    TBoard a = b;
    ApplyMove(first[i], a, p);
    GenerateMoves(a, 1, second, n2, p, true);
    for (int j = 1; j <= n2; ++j) {
      const std::string label = MoveText(first[i], p, 1, "x") + " " + MoveText(second[j], p, 1, "x");
      AddBallot(out, variant, label, b.b, 0, {first[i], second[j]});
    }
  }
}

int Build(const Args& words) {
  const TArgs args(words, {"--out"}, {}, 1);
  args.ExpectPositionals(1, 1, "the folder of the ballot lists");
  if (!args.Has("--out")) throw UsageError{"missing --out FOLDER"};
  const std::string corpus = args.Positionals()[0], outFolder = args.Text("--out");
  if (!fs::is_directory(corpus)) throw std::runtime_error("no folder of ballot lists \"" + corpus + "\"");
  fs::create_directories(outFolder);
  const fs::path in(corpus), out(outFolder);
  // A database whose lists are all missing is not built.
  auto build = [&](const char* name, const std::function<void(TBallotDb&)>& fill,
                   std::vector<const char*> lists = {}) {
    for (const char* l : lists)
      if (!fs::exists(in / l)) {
        std::printf("%s: skipped (no %s)\n", (out / name).string().c_str(), l);
        return;
      }
    TBallotDb db;
    OpenBallotDb(db, out / name);
    fill(db);
    CloseBallotDb(db);
  };
  build("2move.abd", [&](TBallotDb& db) {
    std::map<TBrd, bool> seen;
    AddList(db, kEnglish, in / "2move_english.json", seen);
  }, {"2move_english.json"});
  build("3move.abd", [&](TBallotDb& db) {
    std::map<TBrd, bool> seen;
    AddList(db, kEnglish, in / "3move_english.json", seen);
  }, {"3move_english.json"});
  build("fly.abd", [&](TBallotDb& db) {
    std::map<TBrd, bool> seen;
    AddList(db, kRussian, in / "russian.json", seen);
    AddList(db, kRussian, in / "150russian_and_brazilian.json", seen);
  }, {"russian.json", "150russian_and_brazilian.json"});
  build("italianA.abd", [&](TBallotDb& db) { AddAllOpeningPairs(db, kItalian); });
  build("italianB.abd", [&](TBallotDb& db) {
    std::map<TBrd, bool> seen;
    AddList(db, kItalian, in / "11_italian.json", seen);
  }, {"11_italian.json"});
  build("2thai.abd", [&](TBallotDb& db) { AddAllOpeningPairs(db, kThai); });
  return 0;
}

int Ballots(const Args& args) {
  if (args.empty() || args[0] != "build") throw UsageError{"expected \"build\""};
  return Build(args);
}

Command ballots("ballots", "ballots build BALLOT-LISTS-FOLDER --out FOLDER",
                "builds the ballot databases (2move, 3move, fly, italianA, italianB, 2thai) from ballot lists in "
                "JSON",
                Ballots);

}  // namespace
}  // namespace quorlin::cli

// quorlin book: builds an opening book from a game database and shows the book
// moves of a position.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/book.h"
#include "engine/bookbuild.h"
#include "engine/bookexpand.h"
#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/variants.h"
#include "app/engineplayer.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

bool ReadBookGames(const std::string& dbPath, int variant, long long maxPly, long long minGames,
                   std::map<TBookKey, TBookRecord>& records, int64_t& used, int64_t& skipped, int& otherVariant,
                   int& unreadable);

int Build(const Args& args) {
  std::string dbPath, outPath;
  int variant = 0;
  long long maxPly = 20, minGames = 1;
  TBookExpandOptions expand;
  expand.positions = 0;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&]() -> const std::string& {
      if (k + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++k];
    };
    if (a == "--variant")
      variant = ParseVariantArg(value());
    else if (a == "--out")
      outPath = value();
    else if (a == "--max-ply")
      maxPly = ParseCount(value(), "ply", 1000);
    else if (a == "--min-games")
      minGames = ParseCount(value(), "game count", 1000000000);
    else if (a == "--expand")
      expand.positions = static_cast<int>(ParseCount(value(), "--expand", 1000000));
    else if (a == "--engine")
      expand.engine = value();
    else if (a == "--nodes")
      expand.nodes = static_cast<int>(ParseCount(value(), "--nodes", 2000000000));
    else if (a == "--expand-ply")
      expand.maxPly = static_cast<int>(ParseCount(value(), "--expand-ply", 200));
    else if (!a.empty() && a[0] == '-')
      throw UsageError{"unknown option \"" + a + "\""};
    else if (dbPath.empty())
      dbPath = a;
    else
      throw UsageError{"unexpected argument \"" + a + "\""};
  }
  if (dbPath.empty() && expand.positions == 0) throw UsageError{"missing database (or --expand N)"};
  if (variant == 0) throw UsageError{"missing --variant V"};
  if (outPath.empty()) throw UsageError{"missing --out BOOK.cbk"};
  if (expand.positions > 0 && expand.engine.empty()) throw UsageError{"--expand needs --engine ENGINE.eng"};
  if (expand.nodes < 1) throw UsageError{"bad --nodes: at least 1"};
  std::map<TBookKey, TBookRecord> records;
  int64_t used = 0, skipped = 0;
  int otherVariant = 0, unreadable = 0;
  if (!dbPath.empty() && !ReadBookGames(dbPath, variant, maxPly, minGames, records, used, skipped, otherVariant,
                                        unreadable))
    return 1;
  if (expand.positions > 0) {
    expand.variant = variant;
    expand.engine = ResolveEngineFile(expand.engine, variant).string();
    const size_t before = records.size();
    expand.progress = [](int done, int total) {
      if (done % 10 == 0 || done == total) {
        std::printf("expanded %d/%d\n", done, total);
        std::fflush(stdout);
      }
    };
    ExpandBookBySearch(expand, records);
    std::printf("search expanded %d positions: %zu new book positions\n", expand.positions,
                records.size() - before);
  }
  std::vector<TBookRecord> list;
  list.reserve(records.size());
  for (const auto& [key, r] : records) list.push_back(r);
  std::string error;
  if (!WriteBook(outPath, list, error)) {
    std::fprintf(stderr, "book build: %s\n", error.c_str());
    return 1;
  }
  std::printf(
      "%lld games used, %lld without result, %d of other variants, %d unreadable; %zu positions written "
      "to %s\n",
      static_cast<long long>(used), static_cast<long long>(skipped), otherVariant, unreadable, list.size(),
      outPath.c_str());
  return 0;
}

// The positions of the database's games of the variant, into `records`.
bool ReadBookGames(const std::string& dbPath, int variant, long long maxPly, long long minGames,
                   std::map<TBookKey, TBookRecord>& records, int64_t& used, int64_t& skipped, int& otherVariant,
                   int& unreadable) {
  TQuorlinDB db;
  if (!OpenDatabase(dbPath, db, true) || db.DBType == 0) {
    std::fprintf(stderr, "book build: %s\n",
                 db.LastError.empty() ? ("cannot open " + dbPath).c_str() : db.LastError.c_str());
    return false;
  }
  const int count = IndexRecordCount(db);
  TBookBuilder builder(VariantTable[variant], static_cast<int>(maxPly));
  TGame game;
  for (int n = 1; n <= count; ++n) {
    if (!ReadGame(db, n, false, -1, game)) {
      ++unreadable;
      continue;
    }
    if (game.Header.Flags & kDeletedFlag) continue;
    if (game.Header.TypeOfGame != variant) {
      ++otherVariant;
      continue;
    }
    TBookGame bg;
    bg.start.b = game.StartBoard;
    bg.firstSide = game.Header.FirstMove == TDColor::white ? 0 : 1;
    bg.result = game.Header.Result;
    TChildList children;
    int node = 0;
    while (static_cast<long long>(bg.moves.size()) < maxPly && GetChildren(game, node, children) > 0) {
      node = children[0];
      bg.moves.push_back(game.Moves[node]);
    }
    builder.AddGame(bg);
  }
  CloseDatabase(db);
  for (const TBookRecord& r : builder.Records(static_cast<int>(minGames))) records[r.key] = r;
  used = builder.GamesUsed();
  skipped = builder.GamesSkipped();
  return true;
}

int Show(const Args& args) {
  std::string bookPath, variantArg, fen;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--fen") {
      if (k + 1 >= args.size()) throw UsageError{"--fen needs a value"};
      fen = args[++k];
    } else if (bookPath.empty()) {
      bookPath = a;
    } else if (variantArg.empty()) {
      variantArg = a;
    } else {
      throw UsageError{"unexpected argument \"" + a + "\""};
    }
  }
  if (bookPath.empty() || variantArg.empty()) throw UsageError{"expected BOOK.cbk VARIANT"};
  const int variant = ParseVariantArg(variantArg);
  const TGameParams& params = VariantTable[variant];
  TBoard board;
  int side = 0;
  if (fen.empty()) {
    board.b = StartPosition(params, false);
  } else {
    ReadFenArg(params, fen, board, side);
  }
  TOpeningBook book;
  if (!book.Ini(bookPath)) std::fprintf(stderr, "book show: cannot open %s\n", bookPath.c_str());
  TOpenMoves moves;
  book.Lookup(params, moves, board, side);
  if (!moves.openposcomm.empty()) std::printf("%s\n", moves.openposcomm.c_str());
  for (int i = 1; i <= moves.Op_moves; ++i) {
    const TOpenMove& e = moves.openmoves[i];
    std::printf("%-12s %-18s class %d  games %d  freq %3d%%  score %3d%%  eval %g\n", e.move.c_str(),
                e.stat.c_str(), e.col, e.wh + e.bl + e.dr, e.freq, e.qual, e.eval);
  }
  return 0;
}

int Book(const Args& args) {
  if (args.empty()) throw UsageError{"expected build or show"};
  if (args[0] == "build") return Build(args);
  if (args[0] == "show") return Show(args);
  throw UsageError{"unknown subcommand \"" + args[0] + "\": expected build or show"};
}

Command book("book",
             "book build [DB.abd] --variant V --out BOOK.cbk [--max-ply N] [--min-games K] [--expand N --engine "
             "ENGINE.eng [--nodes K] [--expand-ply P]] | "
             "book show BOOK.cbk VARIANT [--fen FEN]",
             "build an opening book from a game database and/or by expanding the best lines with searches, or list "
             "the book moves of a position", Book);

}  // namespace
}  // namespace quorlin::cli

// quorlin book: builds an opening book from a game database and shows the book
// moves of a position.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/book.h"
#include "engine/bookbuild.h"
#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/variants.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Build(const Args& args) {
  std::string dbPath, outPath;
  int variant = 0;
  long long maxPly = 20, minGames = 1;
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
    else if (!a.empty() && a[0] == '-')
      throw UsageError{"unknown option \"" + a + "\""};
    else if (dbPath.empty())
      dbPath = a;
    else
      throw UsageError{"unexpected argument \"" + a + "\""};
  }
  if (dbPath.empty()) throw UsageError{"missing database"};
  if (variant == 0) throw UsageError{"missing --variant V"};
  if (outPath.empty()) throw UsageError{"missing --out BOOK.cbk"};

  TQuorlinDB db;
  if (!OpenDatabase(dbPath, db, true) || db.DBType == 0) {
    std::fprintf(stderr, "book build: %s\n",
                 db.LastError.empty() ? ("cannot open " + dbPath).c_str() : db.LastError.c_str());
    return 1;
  }
  const int count = IndexRecordCount(db);
  TBookBuilder builder(VariantTable[variant], static_cast<int>(maxPly));
  int otherVariant = 0, unreadable = 0;
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
  const std::vector<TBookRecord> records = builder.Records(static_cast<int>(minGames));
  std::string error;
  if (!WriteBook(outPath, records, error)) {
    std::fprintf(stderr, "book build: %s\n", error.c_str());
    return 1;
  }
  std::printf(
      "%lld games used, %lld without result, %d of other variants, %d unreadable; %zu positions written "
      "to %s\n",
      static_cast<long long>(builder.GamesUsed()), static_cast<long long>(builder.GamesSkipped()),
      otherVariant, unreadable, records.size(), outPath.c_str());
  return 0;
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
             "book build DB.abd --variant V --out BOOK.cbk [--max-ply N] [--min-games K] | "
             "book show BOOK.cbk VARIANT [--fen FEN]",
             "build an opening book from a game database, or list the book moves of a position", Book);

}  // namespace
}  // namespace quorlin::cli

// quorlin book: builds an opening book from a game database and shows the book
// moves of a position.
#include <cstdio>
#include <map>
#include <stdexcept>
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
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

bool ReadBookGames(const std::string& dbPath, int variant, long long maxPly, long long minGames,
                   std::map<TBookKey, TBookRecord>& records, int64_t& used, int64_t& skipped, int& otherVariant,
                   int& unreadable);

int Build(const Args& words) {
  const TArgs args(words, {"--variant", "--out", "--max-ply", "--min-games", "--expand", "--engine", "--nodes",
                           "--expand-ply"},
                   {}, 1);
  args.ExpectPositionals(0, 1, "a game database");
  TBookExpandOptions expand;
  expand.positions = static_cast<int>(args.Count("--expand", 0, 0, 1000000));
  expand.engine = args.Text("--engine");
  expand.nodes = static_cast<int>(args.Count("--nodes", expand.nodes, 1, 2000000000));
  expand.maxPly = static_cast<int>(args.Count("--expand-ply", expand.maxPly, 0, 200));
  const std::string dbPath = args.Positionals().empty() ? std::string() : args.Positionals()[0];
  if (dbPath.empty() && expand.positions == 0) throw UsageError{"missing database (or --expand N)"};
  if (!args.Has("--variant")) throw UsageError{"missing --variant V"};
  if (!args.Has("--out")) throw UsageError{"missing --out BOOK.cbk"};
  if (expand.positions > 0 && expand.engine.empty()) throw UsageError{"--expand needs --engine ENGINE.eng"};
  const int variant = args.Variant("--variant", 0);
  const std::string outPath = args.Text("--out");
  const long long maxPly = args.Count("--max-ply", 20, 0, 1000);
  const long long minGames = args.Count("--min-games", 1, 0, 1000000000);
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
    PrintError("book", error);
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
    PrintError("book", db.LastError.empty() ? "cannot open " + dbPath : db.LastError);
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

int Show(const Args& words) {
  const TArgs args(words, {"--fen"}, {}, 1);
  args.ExpectPositionals(2, 2, "BOOK.cbk VARIANT");
  const std::string bookPath = args.Positionals()[0];
  const int variant = ParseVariantArg(args.Positionals()[1]);
  const TGameParams& params = VariantTable[variant];
  TBoard board;
  int side = 0;
  if (args.Has("--fen"))
    ReadFenArg(params, args.Text("--fen"), board, side);
  else
    board.b = StartPosition(params, false);
  TOpeningBook book;
  if (!book.Ini(bookPath)) throw std::runtime_error("cannot open the opening book \"" + bookPath + "\"");
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

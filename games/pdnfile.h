#pragma once
// Whole PDN files: any number of games with tag pairs, move text, comments,
// variations, numeric annotations, move-strength marks and results, read into
// game records (and a game database), and games written back as PDN.
//
// Reading never gives up on a file: a game whose move text cannot be read keeps
// the moves read before the fault, its root comment says where reading stopped,
// and the reader goes on with the next game.
#include <functional>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"

namespace quorlin {

// One game whose reading stopped before its end.
struct TPdnStop {
  int game = 0;       // 1-based number of the game in the file
  int line = 0;       // 1-based line of the token
  std::string token;  // the token (or tag) that could not be read
  std::string reason;
};

struct TPdnReadReport {
  int gamesWhole = 0;    // games read to their end
  int gamesStopped = 0;  // games cut short (listed in `stops`)
  int gamesStored = 0;   // games the sink accepted
  std::vector<TPdnStop> stops;
  // ImportPdnFile: games the database held before, and the warning opening it
  // gave (a database that a crash left incomplete).
  int gamesBefore = 0;
  std::string databaseWarning;
};

// Receives each game as it is read (with its 1-based number in the file);
// returns false when it could not keep the game (the reader records a stop).
using TPdnGameSink = std::function<bool(TGame& game, int number, std::string& error)>;
// Called every `kPdnProgressEvery` games.
using TPdnProgress = std::function<void(int gamesRead, int line)>;
constexpr int kPdnProgressEvery = 1000;
// Asked after every game (games read, line reached): reading stops there,
// keeping what was read, when it returns false.
using TPdnKeepGoing = std::function<bool(int gamesRead, int line)>;

// Reads every game of a PDN text. `defaultVariant` (VariantTable slot) is used
// for games without a GameType tag.
void ReadPdnText(const std::string& text, int defaultVariant, const TPdnGameSink& sink,
                 TPdnReadReport& report, const TPdnProgress& progress = {},
                 const TPdnKeepGoing& keepGoing = {});

// Reads a PDN file into a database, appending to it when it exists (also when a
// crash left it incomplete) and creating it (version 38) when it does not.
// Games are written in batches (BeginBatch): a crash loses at most the last
// batch and leaves a database that opens with every stored game's names. False
// (with `error`) when the file cannot be read or the database cannot be opened
// or closed; games that fail to be stored are stops.
bool ImportPdnFile(const std::string& pdnPath, const std::string& dbPath, int defaultVariant,
                   TPdnReadReport& report, std::string& error, const TPdnProgress& progress = {},
                   const TPdnKeepGoing& keepGoing = {});

// The import into an open database (appended, `batchGames` per batch), which
// stays open. False (with `error`) when the games cannot all be written out.
bool ImportPdnText(const std::string& text, TQuorlinDB& db, int defaultVariant, TPdnReadReport& report,
                   std::string& error, const TPdnProgress& progress = {}, int batchGames = kImportBatchGames,
                   const TPdnKeepGoing& keepGoing = {});

// Variant slot of a GameType tag value ("20", "20,W,10,10,N1,0"); 0 when the
// number names no variant this program plays.
int VariantOfGameType(const std::string& value);

// Makes a FEN as files write it readable by ParseFEN: ranges ("W31-50") are
// expanded, blanks and trailing "." dropped, an unknown side ("?") read as "W".
// False with `error` when a square cannot be read for the variant.
bool NormalizeFEN(const TGameParams& params, const std::string& fen, std::string& out, std::string& error);

// One game as PDN: tag pairs, move text with move numbers, comments, variations,
// annotations and the result, ending with a blank line.
std::string GameToPdn(const TGame& game);

// How move text writes a move's annotation codes: as numeric annotations ("$1",
// PDN) or as the symbols the move list shows ("!", "+-").
enum class TMarkForm : uint8_t { nags, symbols };

// The move text of a game (root comment, moves in the variant's notation with
// numbers, comments, annotations and variations), without result, in lines of
// at most 79 characters where possible.
std::string GameMoveText(const TGame& game, TMarkForm marks);

// Text of the move of node `node` that reads back as exactly that move in the
// position before it (board, side to move).
std::string PdnMoveText(const TGame& game, const TMove& move, const TBoard& board, TDColor side);

// What PDN carries of two games, compared: header texts and numbers, start
// position, side to move, root comment and the move trees (moves, order of
// alternatives, annotation codes, comments). Empty when equal, else the first
// difference found.
std::string GameDifference(const TGame& a, const TGame& b);

}  // namespace quorlin

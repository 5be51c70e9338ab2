#pragma once
// Setting up a position by hand: the board of the shown game becomes an
// editor whose taps cycle a square through the pieces, with buttons that clear
// the board, restore the start position, read a FEN from the clipboard and
// finish; finishing makes the edited position the start of a new, empty game.
// Also the FEN of the shown position for the clipboard.
#include <string>
#include <utility>

#include "games/gamerecord.h"

namespace quorlin {

// Mouse buttons of a setup tap.
constexpr int kSetupPrimary = 0;    // next piece: empty, man, king, other king, other man
constexpr int kSetupSecondary = 1;  // the same cycle backwards
constexpr int kSetupMiddle = 2;     // empties the square

// Opening the editor: the game keeps its variant and shown board; the rest of
// it (moves, header, comments) is cleared and the board is edited in CurBoard.
void BeginSetup(TGame& game);

// One tap on `square`. A man never stays on the row where its side crowns: the
// cycle steps over it.
void SetupTap(TGame& game, int square, int button);

// "Clean": every square empty. "Initial": the variant's start position.
void SetupClean(TGame& game);
void SetupInitial(TGame& game);

// What a FEN import did.
enum class TFenImport {
  Read,     // the board and the side to move were set
  Ignored,  // a tag line of another name: nothing happens (no message)
  Error,    // not a readable FEN: `error` says why; nothing changed
};

// "ImportFEN": reads the clipboard text. A tag line named "FEN" or "Posizione"
// (in any line of the text) or a bare FEN ("W:W21,22:B1,2") is read strictly
// for the game's variant; on success the board cells and SideToMove are set.
TFenImport SetupImportFEN(TGame& game, const std::string& clipboard, std::string& error);

// The tag line `[FEN "..."]` of the board and side to move, as ImportFEN reads it.
std::string FenTagLine(const TGameParams& params, const TBrd& cells, TDColor sideToMove);

// Radio button texts, first and second: the first always means the side that
// moves first (internal side white), named "White" or "Black" as the variant
// shows it.
std::pair<std::string, std::string> SetupSideTexts(const TGameParams& params);

// "SetupDone": the edited board becomes the start position of the game, with
// `firstMove` to move and no moves.
void FinishSetup(TGame& game, TDColor firstMove);

}  // namespace quorlin

#include "app/positionsetup.h"

#include <sstream>

#include "app/translations.h"
#include "common/text.h"
#include "rules/fen.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin {

namespace {

bool IsFenTagName(const std::string& name) { return name == "FEN" || name == "Posizione"; }

// A bare FEN starts with the side to move and a colon.
bool LooksLikeFen(const std::string& text) {
  return text.size() >= 2 && (text[0] == 'W' || text[0] == 'B' || text[0] == 'w' || text[0] == 'b') &&
         text[1] == ':';
}

}  // namespace

void BeginSetup(TGame& game) {
  const TBoard board = game.CurBoard;
  const int variant = game.Header.TypeOfGame;
  const TGameParams params = game.Params;
  ClearGame(game);
  game.Header.TypeOfGame = static_cast<uint8_t>(variant);
  // A custom variant keeps the rules it carries.
  game.Params = variant >= 1 && variant <= kVariantCount ? VariantTable[variant] : params;
  game.CurBoard = board;
  game.CurMovPos = 0;
}

void SetupTap(TGame& game, int square, int button) {
  const TGameParams& p = game.Params;
  if (square < 1 || square > p.compute.BoardSize) return;
  int8_t& cell = game.CurBoard.b[square];
  // At most one full turn of the cycle (five values).
  for (int guard = 0; guard < 5; ++guard) {
    int v = cell;
    if (button == kSetupPrimary) {
      ++v;
    } else if (button == kSetupSecondary) {
      --v;
    } else {
      v = 0;
    }
    if (v > 2) v = -2;
    if (v < -2) v = 2;
    cell = static_cast<int8_t>(v);
    const bool blackManOnFirstRow = v == -1 && square <= p.compute.BoardWidthReal;
    const bool whiteManOnLastRow = v == 1 && square > p.compute.BoardSize - p.compute.BoardWidthReal;
    if (!blackManOnFirstRow && !whiteManOnLastRow) break;
  }
}

void SetupClean(TGame& game) { game.CurBoard.b.fill(0); }

void SetupInitial(TGame& game) {
  game.CurBoard.b = StartPosition(game.Params, false);
  game.CurBoard.nmpiece = {0, 0};
  game.CurBoard.nmcount = {0, 0};
}

TFenImport SetupImportFEN(TGame& game, const std::string& clipboard, std::string& error) {
  std::string fen;
  bool tagLines = false;
  std::istringstream lines(clipboard);
  for (std::string line; std::getline(lines, line) && fen.empty();) {
    line = std::string(TrimView(line, " \t\r\n"));
    if (line.empty() || line[0] != '[') continue;
    tagLines = true;
    std::string name, value;
    SplitTagLine(line, name, value);
    if (IsFenTagName(name)) {
      fen = value;
      if (fen.empty()) {
        error = "The " + name + " tag holds no position.";
        return TFenImport::Error;
      }
    }
  }
  if (fen.empty()) {
    if (tagLines) return TFenImport::Ignored;
    const std::string text(TrimView(clipboard, " \t\r\n"));
    if (!LooksLikeFen(text)) {
      error = "The clipboard holds no FEN position (a line such as [FEN \"W:W21,22:B1,2\"]).";
      return TFenImport::Error;
    }
    fen = text;
  }
  TBrd cells{};
  int side = 0;
  std::string why;
  if (!ReadFEN(game.Params, fen, cells, side, why)) {
    error = "FEN \"" + fen + "\": " + why;
    return TFenImport::Error;
  }
  game.CurBoard.b = cells;
  game.CurBoard.nmpiece = {0, 0};
  game.CurBoard.nmcount = {0, 0};
  game.SideToMove = side == 0 ? TDColor::white : TDColor::black;
  return TFenImport::Read;
}

std::string FenTagLine(const TGameParams& params, const TBrd& cells, TDColor sideToMove) {
  return "[FEN \"" + WriteFEN(params, cells, static_cast<int>(sideToMove)) + "\"]";
}

std::pair<std::string, std::string> SetupSideTexts(const TGameParams& params) {
  const std::string white = Translate("White"), black = Translate("Black");
  return params.intface.WhiteStart ? std::make_pair(white, black) : std::make_pair(black, white);
}

void FinishSetup(TGame& game, TDColor firstMove) {
  game.Header.FirstMove = firstMove;
  game.Header.NumerationFrom = 0;
  game.CurBoard.nmpiece = {0, 0};
  game.CurBoard.nmcount = {0, 0};
  game.StartBoard = game.CurBoard.b;
  game.SideToMove = firstMove;
  game.CurMovPos = 0;
  game.Modified = true;
}

}  // namespace quorlin

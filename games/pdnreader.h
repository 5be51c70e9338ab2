#pragma once
// Reading PDN move text (moves, move numbers, comments, numeric annotations,
// variations, results) into a game's move tree, as the "Paste PDN" command
// passes it. Tags are not known here: a text that starts with a tag stops at
// its first token. Every move is found by comparing the token with the texts
// the notation writes for each legal move of the position, in many spellings.
#include <cstddef>
#include <string>

#include "games/gamerecord.h"
#include "rules/board.h"
#include "rules/move.h"

namespace quorlin {

// Reads the whole text into `game`, starting at its root with its StartBoard and
// Header.FirstMove. The game is not cleared: moves already in the tree are found
// again. `stopFlag` is set when a token cannot be read; that token and the rest
// of the text are then appended to the CommentAft of the node reached ("* " +
// token + " " + rest). The text is consumed.
//
// Choices where the text gives no position to work from:
// - "(" before any move of the current line opens a variation from the line's
//   own starting position (its moves become siblings of the line's first move).
// - An opening prefix with a square name that is not recognised changes nothing:
//   its tokens are read as ordinary tokens, so reading stops at the first one
//   and the user sees it in the comment.
// - When the tree has no room for a move, reading stops at that move exactly as
//   at an unreadable token (the move is not in the tree; the text is kept in the
//   comment).
void ReadMoveText(std::string& text, TGame& game, bool& stopFlag);

// The steps of ReadMoveText, exposed for the file reader and for tests. Each
// consumes its part from the front of `text`.
namespace pdn {

// Token from the front of the text: "(" alone when the text starts with it,
// else the characters before the first blank (the whole text when it has none).
std::string NextToken(std::string& text);

// True for a token made only of digits and "." (and for an empty one). Otherwise
// a token holding "." is cut to the part after its first run of "." and the
// result is false (12.c3-d4 and 12...c3-d4 become c3-d4).
bool IsMoveNumber(std::string& token);

// The result spellings the reader skips ("1-0", "2-0", "1/2-1/2", "0-2t", "*", ...).
bool IsResultToken(const std::string& token);

// c3xe5xg7 -> c3-g7: the part before the first separator ("-", "x", ":") + "-" +
// the part after the last one. Unchanged without a separator.
std::string ShortenCapture(const std::string& token);

// Comments in braces at the front of the text, joined; braces nest; a comment
// without its closing brace runs to the end of the text.
std::string ReadComments(std::string& text);

// Numeric annotations ("$1" ...) at the front of the text as a TMove::comm code.
uint16_t ReadNAGs(std::string& text);

// Square 1..32 whose Russian style-0 name is `name` (any letter case), or 0.
int SquareByName(const std::string& name);

// An opening prefix such as "c3>d4 f6>g5" (one half per side, "-" for none):
// applied to `board` and stored as the game's StartBoard. Anything else is put
// back and the board is unchanged.
void ApplyOpeningPrefix(std::string& text, TGame& game, TBoard& board);

// Position (1..count) in `list` of the move the token names, or 0. `list` holds
// the legal moves of the position as GenerateMoveList gives them without
// dropping equal captures; texts are written for variant slot `typeOfGame`
// (game.Params for a custom variant), and a Pool game also tries Russian texts.
int MatchMoveInList(const std::string& token, int typeOfGame, const TGameParams& gameParams, const TMvs& list,
                    int count);

// Generates the legal moves of (board, side) with the game's rules into `list`
// and matches the token; returns the list position or 0.
int MatchMove(const std::string& token, const TGame& game, const TBoard& board, TDColor side, TMvs& list,
              uint8_t& count);

// Sets the move-mark or position-mark bits of `comm` for numeric annotation n;
// other numbers leave it unchanged. Returns false for a number with no meaning.
bool ApplyNAG(int n, uint16_t& comm);

}  // namespace pdn
}  // namespace quorlin

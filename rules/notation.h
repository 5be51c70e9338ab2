#pragma once
// Squares and moves as text in the variant's notation kind and display style.
#include <atomic>
#include <string>

#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// Display styles.
constexpr int kStyleExtended = 0;
constexpr int kStyleFull = 1;
constexpr int kStyleShort = 2;
constexpr int kStyleExtraShort = 3;

// Setting: write Brazilian squares by their Philippine names. Set by the
// application's settings; read by the notation routines on any thread.
extern std::atomic<bool> ForcePhilippinesNotation;

void SquareToText(int square, const TGameParams& params, int style, std::string& text, bool forceAlpha);
void MoveToText(const TMove& move, const TGameParams& params, int style, std::string& text, bool forceAlpha,
                const std::string& separator);
void MovePathText(const TMove& move, const TGameParams& params, int style, std::string& text, bool forceAlpha,
                  const std::string& separator);
void MoveCaptureListText(const TMove& move, const TGameParams& params, std::string& text, bool forceAlpha);
void MoveNumberText(int ply, int offset, bool sideFlag, std::string& text, bool showDots);
void SplitTagLine(const std::string& line, std::string& name, std::string& value);

// Number of a square in a numeric notation kind (1..4; above 4 behaves as 4),
// computed in 8-bit arithmetic as the notation tables do. 0 for a square that
// is not on the board.
int NotationNumber(const TGameParams& params, int square, int kind);

// Square whose alphanumeric name (style 0, forceAlpha) is exactly `name`; 0 when
// no square of the board has that name.
int FindAlphaSquare(const TGameParams& params, const std::string& name);

// Convenience forms returning the text.
std::string SquareText(int square, const TGameParams& params, int style, bool forceAlpha = false);
std::string MoveText(const TMove& move, const TGameParams& params, int style, const std::string& separator,
                     bool forceAlpha = false);

}  // namespace quorlin

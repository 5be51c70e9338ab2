#pragma once
// A custom variant's rule record as text: 24 "Key=Value" lines, kept by the game
// database as one string joined with "#", or saved as a file with one line per key.
#include <string>
#include <vector>

#include "rules/variants.h"

namespace quorlin {

// Number of keys a definition holds.
constexpr int kVariantDefinitionKeys = 24;

// Clears `lines` and adds the 24 "Key=Value" lines in their fixed order.
void WriteVariantDefinition(const TGameParams& params, std::vector<std::string>& lines);

// WriteVariantDefinition, then `text` := the lines joined with "#". When
// `fileName` is not empty the lines are also saved there, one per line (UTF-8).
// Returns false with `error` set, `text` empty and no file written when a value
// cannot be stored: a "#" (the joined form would split there) or a line break
// in Name or FEN. Also false when the file cannot be written.
bool FormatVariantDefinition(const TGameParams& params, const std::string& fileName, std::string& text,
                             std::string& error);

// Reads every key by name (the first line whose text before "=" matches it,
// letter case ignored; a trailing CR is dropped), normalises the geometry and
// computes BoardSize and BoardWidthReal. The record becomes a custom variant:
// TypeOfGame 0 and no 64-bit form.
// A value that is not a valid integer or Boolean, a missing key for either, or
// a number outside its field's range fails with `error` naming the key; `params`
// is then left exactly as it was.
bool ReadVariantDefinition(TGameParams& params, const std::vector<std::string>& lines, std::string& error);

// Splits `text` at every "#" and reads the lines with ReadVariantDefinition.
bool ParseVariantDefinition(const std::string& text, TGameParams& params, std::string& error);

// Reads a definition saved by FormatVariantDefinition (one line per key).
bool LoadVariantDefinitionFile(const std::string& fileName, TGameParams& params, std::string& error);

// Width and height each within 4..16; an odd width of a checkered board reduced
// by 1; height reduced until the board has at most 128 playing squares; then
// ComputeBoardGeometry.
void NormaliseBoardGeometry(TGameParams& params);

}  // namespace quorlin

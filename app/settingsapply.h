#pragma once
// What each control of the settings window changes, taking effect at once in
// memory (the settings file is written when the window is left). The changes
// to the variant table's presentation fields must wait until no engine call
// runs (an engine copies its variant's record when a call starts): the window
// stops the engines first and applies them once EnginesIdle() holds.
#include <string>
#include <vector>

#include "app/application.h"

namespace quorlin {

// Range of the board-size track bar, in percent of the window's shorter side.
constexpr int kMinBoardSize = 70;
constexpr int kMaxBoardSize = 100;
constexpr int kMaxThreads = 255;

// No engine turn or analysis of the application is queued or running.
bool EnginesIdle(const TApplication& app);

// "Game": the variant of list item `item` (0-based) becomes current; a new
// game starts when the board shape changes.
void ApplyGameType(TApplication& app, int item);

// The Spanish board on the dark squares: the Spanish slot's PlayOnWhite is the
// opposite, and a Spanish game shown takes it over.
void ApplySpanishBlack(TApplication& app, bool on);
// Pool board style 0 "Classic", 1 "Jamaican", 2 "Unified".
void ApplyPoolStyle(TApplication& app, int style);
// The Brazilian board drawn mirrored.
void ApplyFlipBoard(TApplication& app, bool on);
// Brazilian squares written by their Philippine names.
void ApplyPhilippineNotation(TApplication& app, bool on);

// Board size in percent, clamped into its range; returns the value kept.
int ApplyBoardSize(int percent);
// Most search threads (0 = no limit), clamped into 0..255.
int ApplyThreadsCount(int threads);

// Names of the subfolders of `folder`, sorted; empty when it does not exist.
std::vector<std::string> SubFolderNames(const std::string& folder);

// Picture sets of a kind ("Boards" or "Pieces") in the "Pictures" folders
// `roots` (each ending with "/"): "Default" (the program's own pictures)
// first, then every subfolder found, each name once, in the order of the roots.
std::vector<std::string> PictureSetNames(const std::vector<std::string>& roots, const std::string& kind);
// The subfolders of piece set `set` (the sides' pictures: "White", "Black",
// ...) in the first root that holds the set.
std::vector<std::string> PieceSideNames(const std::vector<std::string>& roots, const std::string& set);

}  // namespace quorlin

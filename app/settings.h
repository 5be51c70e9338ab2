#pragma once
// The program's settings, kept in "Quorlin Draughts.ini" in DataFolder: read
// once at start, written when the settings window is left, after every rated
// game and at shutdown.
//
// Scalar values are atomics because engine and game threads read some of them
// (ThreadsCount, the book values, the ratings) while the user interface may
// change them. Texts belong to the user-interface thread.
//
// Two settings are kept where they take effect rather than here:
// `FlipBoard` is VariantTable[kBrazilian].intface.BoardMirrored, and
// `ForcePhilippinesNotation` is quorlin::ForcePhilippinesNotation
// (rules/notation.h).
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "app/inifile.h"
#include "rules/variants.h"

namespace quorlin {

// The two download servers offered by the download window, without a trailing
// "/": the first is the one selected.
inline constexpr const char* kDefaultDownloadServer1 = "https://download.quorlindraughts.org";
inline constexpr const char* kDefaultDownloadServer2 = "http://mirror.quorlindraughts.org";

struct TSettings {
  // Section "Main", in the order the file is read.
  std::string UserName = "User";
  std::string BoardName = "Default";
  std::string PiecesName = "Default";
  std::string WhitePiecesName = "White";
  std::string BlackPiecesName = "Black";
  std::string Database;  // default: DataFolder + "Bases/Example.abd"
  std::atomic<int> DBShowFrom{0};
  std::atomic<int> DBCurPos{1};
  std::atomic<int> DefTypeOfGame{kRussian};  // 1..14
  std::atomic<int> GameTime{0};              // 0 minutes per game, 1 seconds per move
  std::atomic<bool> Highlightmoves{true};
  std::atomic<int> BrdSize{100};  // percent, 70..100
  std::atomic<bool> AutoCapture{true};
  std::atomic<bool> TurkOneColor{false};
  std::atomic<bool> AlquerqueBoard{false};
  std::atomic<int> ThreadsCount{0};  // 0..255, 0 = no limit
  std::atomic<bool> Showcoords{false};
  std::atomic<bool> SoundOn{true};
  std::atomic<int> TimeControlMin{3};
  std::atomic<int> PoolStyle{0};  // 0 Classic, 1 Jamaican, 2 Unified
  std::atomic<bool> SpanishBlack{false};
  std::atomic<bool> Mode{false};  // true = analysis mode

  // The download window's servers; an empty value in the file gives the default.
  std::string DownloadServer1 = kDefaultDownloadServer1;
  std::string DownloadServer2 = kDefaultDownloadServer2;

  // Fixed values, not stored in the file.
  std::atomic<int> HashSizeMB{128};    // transposition table
  std::atomic<int> EDMemoryMB{1200};   // endgame databases
  std::atomic<int> HashFileSizeMB{8};  // stored hash table of self-learning (kept off)
  std::atomic<int> BookLevel{1};       // opening-book choice level
  std::atomic<int> BookMaxMoveNo{15};  // last move number the book is asked for
  std::atomic<int> BookMinPieces{12};  // fewest pieces on the board for a book move
  std::string CaptureSeparator = "x";  // between the squares of a capture in move texts
};

extern TSettings Settings;

// Per variant slot 0..14, indexed like VariantTable.
struct TEngineOpt {
  std::string Book;        // opening book: DataFolder + "Books/" + variant name + ".cbk"
  std::string EngineName;  // engine description file, "Analytic.eng"
  std::atomic<bool> UseBook{true};
  std::atomic<int> UserRating{2000};
  std::atomic<int> GamesPlayed{0};
};

extern std::array<TEngineOpt, kVariantCount + 1> EngineOpts;

// DataFolder + "Quorlin Draughts.ini".
std::string SettingsFilePath();

// Sets every setting and engine option to its default (as with no file).
void ResetSettings();

// Reads the settings file (a missing file or key gives the default), applies
// the variant settings to VariantTable and fills EngineOpts. `afterDatabase`
// runs right after `Database` is read, where the start-up opens the database.
// Values out of range are replaced: ThreadsCount and BrdSize are clamped into
// their range; PoolStyle, DefTypeOfGame, GameTime, TimeControlMin < 1, and
// negative DBShowFrom, DBCurPos, GamesPlayed take their default.
// Problems found in a damaged file are logged and returned; a damaged file is
// first copied to "Quorlin Draughts.ini.bad" so that the next SaveSettings
// does not destroy what was in it. The file itself is not created here.
std::vector<TIniWarning> LoadSettings(const std::function<void()>& afterDatabase = {});

// Writes every setting and both rating keys of all 15 slots into the settings
// file object and replaces the file on disk atomically. Keys the program does
// not know stay. Returns false (and logs why) when the file could not be
// written; the previous file is then untouched. Safe to call from any thread;
// calls are serialised.
bool SaveSettings();

// Pool (from PoolStyle), Spanish (from SpanishBlack) into VariantTable; the
// Brazilian slot already holds FlipBoard. Then runs the hook below.
void ApplyVariantSettings();

// Runs at the end of ApplyVariantSettings, so that the shown game can copy the
// changed slot into its own record.
void SetVariantSettingsHook(std::function<void()> hook);

// Runs at the start of SaveSettings (on the caller's thread), so that the
// windows can put their current state (DBShowFrom, DBCurPos, Mode) into
// Settings first.
void SetSaveSettingsHook(std::function<void()> hook);

}  // namespace quorlin

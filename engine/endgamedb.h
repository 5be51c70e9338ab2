#pragma once
// Endgame databases: exact results for positions with few pieces, one file per
// material class, read into memory when the engine is set up for a variant and
// probed by the search.
//
// State is global and shared by every engine: the men-configuration table
// (MaskTable), the loaded files (FileTable) and the load counters. Loading
// (InitED) runs before worker threads start; probes come from many threads at
// once and only read the tables, apart from statistics kept in atomics and the
// `opened` flag of a file found damaged.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rules/board.h"

namespace quorlin {

enum TEbType : uint8_t { ebMTW = 0, ebWDL = 1, ebWD6 = 2 };
constexpr int kEbTypeCount = 3;

// One configuration of one side's men.
struct EDBMaskRec {
  uint64_t Mask = 0;          // the men as a bitboard; 0 = free slot
  uint8_t draughtscount = 0;  // number of men
  uint8_t temps = 0;          // sum of the men's rows (1 = first row of men squares)
  int32_t num = 0;            // 0-based number among configurations of equal count and temps
  int32_t totalmasks = 0;     // configurations with that count and temps
};

// One loaded database file.
struct EDBFileRec {
  int32_t fMask = 0;             // class number; 0 = free slot
  std::string fName;             // type folder, "/", file name
  int64_t size = 0;              // bytes of both sections
  std::atomic<int64_t> time{0};  // successful probes, counted up to 255
  TEbType ebtype = ebMTW;
  std::atomic<bool> notexists[kEbTypeCount] = {false, false, false};
  std::atomic<bool> opened{false};
  bool current = false;    // not used
  uint8_t ask = 0;         // not used
  std::vector<uint8_t> c;  // data section
  std::vector<int32_t> i;  // block offsets
};

struct TEDPos {
  int32_t p1 = 0;
  int32_t p2 = 0;
};

// Geometry of the databases of one board size.
struct TEdbGeometry {
  int boardSize = 0;       // playing squares
  int menSquares = 0;      // squares a man of the side to move can stand on (N)
  int rowLength = 0;       // men squares per row
  int maxPerSide = 0;      // most pieces per side
  int firstMenSquare = 1;  // square number of men square 0
  int revShift = 0;        // BitBoardRevShift of the layout
  bool valid() const { return boardSize != 0; }
};

// Geometry for a board size (32, 40, 50, 64); invalid for any other.
TEdbGeometry EdbGeometry(int boardSize);
// Geometry of a built-in variant; invalid for Canadian and custom variants.
TEdbGeometry EdbGeometryOfVariant(int variant);

// Layout bit of a square (1-based) of the geometry; square of a bit (0 = none).
int EdbSquareToBit(const TEdbGeometry& g, int square);
int EdbBitToSquare(const TEdbGeometry& g, int bit);

// Sizes of the two global tables.
constexpr int kMaskTableSize = 3366000;
constexpr int kFileTableSize = 200000;
// Fixed memory limit of the loaded files, in bytes.
constexpr int64_t kEdbMemoryLimit = int64_t{1200} * 1024 * 1024;

// Positions per block of each coding.
constexpr int kMtwBlock = 2048;
constexpr int kWdlBlock = 8192;
constexpr int kWd6Block = 4096;
int EbBlockSize(TEbType t);

// Enumerates every set of `count` men squares (0-based, s1 > s2 > ... > sj) in
// the database order; `fn` receives the squares (highest first).
void EnumerateMenSets(int menSquares, int count, const std::function<void(const int* squares)>& fn);

// Builds MaskTable for the variant's board and empties FileTable. Returns false
// (tables emptied) for a variant without databases.
bool BuildMaskTable(int variant);
// Board size MaskTable was last built for (0 = none).
int MaskTableBoardSize();
// The record of a men mask; nullptr when the mask is not in the table. Mask 0
// gives the record of the configuration without men.
const EDBMaskRec* FindMask(uint64_t mask);
// Number of men configurations with `count` men and the given temps (0 when
// none), from the built table.
int32_t TotalMasks(int count, int temps);

// Class number from its six parts.
constexpr int32_t MakeClassId(int ownMen, int oppMen, int ownKings, int oppKings, int tW, int tB) {
  return ownMen * 10000000 + oppMen * 1000000 + ownKings * 100000 + oppKings * 10000 + tW * 100 + tB;
}
struct TEdbClass {
  int ownMen = 0, oppMen = 0, ownKings = 0, oppKings = 0, tW = 0, tB = 0;
  int32_t id() const { return MakeClassId(ownMen, oppMen, ownKings, oppKings, tW, tB); }
  int pieces() const { return ownMen + oppMen + ownKings + oppKings; }
};
TEdbClass SplitClassId(int32_t id);

// Class number of a position from the side in w (own) against b; 0 when a side
// has more pieces than the board allows or a man is not on a men square.
// Needs MaskTable built for the board.
int32_t ClassId(const TBitBoard64& bb, const TEdbGeometry& g);
// The engine's index pair of a square-list position: p1 with White as own side,
// p2 with Black; 0 for a side with too many pieces or a variant without databases.
TEDPos EDPosOfBoard(const TBoard& board, int variant);

// Number of positions of a class (including slots where men of both sides
// overlap, which no position uses).
uint64_t ClassPositionCount(const TEdbClass& cls, const TEdbGeometry& g);

// Class and position number of a position (side to move in w). False when the
// position has no database class (too many pieces, a side without pieces, a man
// on its promotion row, or masks missing from MaskTable).
bool EdbPositionIndex(const TBitBoard64& bb, const TEdbGeometry& g, TEdbClass& cls, uint64_t& index);

// File name of a class ("4-2011-3-1"), the archive entry ("MTW/" + name) and
// the folder path (edFolder + variant name + "/MTW/" + name).
std::string EndgameFileName(const TEdbClass& cls);
std::string EndgameEntryName(const TEdbClass& cls, TEbType type);
std::string EndgameFilePath(const std::string& edFolder, const std::string& variantName, const TEdbClass& cls,
                            TEbType type);
// Variant name as used for folders and archives: Name, plus "GA" for giveaway.
std::string EndgameVariantName(int variant, bool giveaway);
const char* EbTypeFolder(TEbType t);
// Class from a file name; false when the name is not a class file name.
bool ParseEndgameFileName(const std::string& fileName, TEdbClass& cls);

// --- Value codings ------------------------------------------------------------
// Value of position p (0-based within its block) of one block; false when the
// block does not decode (damaged stream, run beyond the data, p beyond it).
bool DecodeMtwBlock(const uint8_t* data, size_t size, int p, uint8_t& value);
bool DecodeWdlBlock(const uint8_t* data, size_t size, int p, uint8_t& value);
bool DecodeWd6Block(const uint8_t* data, size_t size, int p, uint8_t& value);

// Encodes values (one per position, already in the type's value range) into a
// whole file image: N1, N2, offsets, data.
std::vector<uint8_t> EncodeEndgameFile(TEbType type, const uint8_t* values, uint64_t count);

// --- Loading and probing ----------------------------------------------------------

struct TEdbCallbacks {
  std::function<void(const std::string&)> info;                 // progress / information line
  std::function<void(const std::string&, bool blankLine)> log;  // the program log
};

struct TEdbLoadResult {
  int64_t filesLoaded = 0;
  int64_t bytesLoaded = 0;
  int64_t candidates = 0;
  bool fromArchive = false;
  std::string lastInfo;  // the final information line
};

// Loads the databases of a variant from edFolder (archive first, else folders).
// Builds MaskTable first when it is not built for the variant's board.
// `memoryLimit` is kEdbMemoryLimit in the program; tests pass smaller ones.
TEdbLoadResult InitED(int variant, bool giveaway, const std::string& edFolder, const TEdbCallbacks& callbacks,
                      int64_t memoryLimit = kEdbMemoryLimit);

// Drops every loaded file.
void ClearED();

// Statistics a probe updates for its engine.
struct TEdbProbeStats {
  std::atomic<int64_t> fGetEdb{0};
  std::atomic<int> MaxEB{0};
};

// Value of a position with the side to move in w: true with ev set when found.
// Wins and losses are ±(2001 - plies) for distance files and ±1500 for WDL/WD6
// files (which are not used inside the classes in ED).
bool GetEBevalPlay(const TBitBoard64& brd, int typeofgame, bool ga, const TEDPos& ED, float& ev,
                   TEdbProbeStats* stats = nullptr);

// Raw stored value of a position (MTW: plies coding, WDL: 0/1/2, WD6: 0..5) and
// the type of the file it came from; false when not found or undecodable.
bool ProbeRaw(const TBitBoard64& brd, int variant, uint8_t& value, TEbType& type);

// Loaded-state figures.
int64_t EdbFilesLoaded();
int64_t EdbBytesLoaded();
bool EdbReady();
// The file record of a class, or nullptr.
const EDBFileRec* FindFileRec(int32_t classId);

}  // namespace quorlin

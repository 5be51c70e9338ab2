#pragma once
// Endgame databases: exact results for positions with few pieces, one file per
// material class, read into memory when an engine is set up for a variant and
// probed by the search.
//
// Nothing here is process-wide: the men-configuration table of a board size
// (TMaskTable) and the loaded files of a variant (TEndgameDb) are objects that
// are complete before anyone reads them and never change afterwards, so that
// engines can hold them through shared pointers and probe them from any number
// of threads, and a new load never disturbs a running probe.
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

// Slots of the men-configuration table (the same for every board size) and
// the most slots a file table may have.
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

// Every configuration of one side's men on one board size, numbered the way
// the database files count positions. Built once and never changed, so any
// number of threads and engines may read one table.
class TMaskTable {
 public:
  explicit TMaskTable(const TEdbGeometry& g);
  TMaskTable(const TMaskTable&) = delete;
  TMaskTable& operator=(const TMaskTable&) = delete;

  // The table of a board size, shared by everyone who holds it and built again
  // only when nobody does; null for a geometry without databases.
  static std::shared_ptr<const TMaskTable> ForGeometry(const TEdbGeometry& g);
  static std::shared_ptr<const TMaskTable> ForVariant(int variant);

  const TEdbGeometry& Geometry() const { return g_; }
  // The record of a men mask; nullptr when the mask is not a configuration.
  // Mask 0 gives the record of the configuration without men.
  const EDBMaskRec* Find(uint64_t mask) const;
  // Configurations with `count` men and the given temps (0 when none).
  int32_t TotalMasks(int count, int temps) const;
  // Class number of a position from the side in w (own) against b; 0 when a
  // side has more pieces than the board allows or a man is not on a men square.
  int32_t ClassId(const TBitBoard64& bb) const;
  // Number of positions of a class (including slots where men of both sides
  // overlap, which no position uses).
  uint64_t ClassPositionCount(const TEdbClass& cls) const;
  // Class and position number of a position (side to move in w). False when
  // the position has no class (too many pieces, a side without pieces, a man
  // on its promotion row).
  bool PositionIndex(const TBitBoard64& bb, TEdbClass& cls, uint64_t& index) const;

 private:
  static constexpr int kMaxTemps = 64;
  TEdbGeometry g_;
  std::vector<EDBMaskRec> slots_;
  int32_t totals_[8][kMaxTemps] = {};
};

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

// Statistics a probe updates for its engine, and where a probe reports a file
// it finds damaged (the engine's log; may be empty).
struct TEdbProbeStats {
  std::atomic<int64_t> fGetEdb{0};
  std::atomic<int> MaxEB{0};
  std::function<void(const std::string&, bool blankLine)> log;
};

// The endgame databases of one variant, read into memory. A set is complete
// before anyone can probe it and is never changed afterwards, apart from
// probe counts and the marks of a file found damaged (atomics): engines hold
// sets through shared pointers, a new load makes a new set, and a running
// probe keeps the set it started with alive.
class TEndgameDb {
 public:
  // Reads the variant's databases from edFolder (archive first, else the
  // folders). `memoryLimit` is kEdbMemoryLimit in the program; tests pass
  // smaller ones. Load-time problems go to `callbacks`; they are not kept.
  static std::shared_ptr<const TEndgameDb> Load(int variant, bool giveaway, const std::string& edFolder,
                                                const TEdbCallbacks& callbacks,
                                                int64_t memoryLimit = kEdbMemoryLimit);
  // The set of the same variant, goal, folder and limit that another holder
  // already loaded, or a new load. Two engines of one variant share one set.
  static std::shared_ptr<const TEndgameDb> Shared(int variant, bool giveaway, const std::string& edFolder,
                                                  const TEdbCallbacks& callbacks,
                                                  int64_t memoryLimit = kEdbMemoryLimit);

  TEndgameDb(const TEndgameDb&) = delete;
  TEndgameDb& operator=(const TEndgameDb&) = delete;
  ~TEndgameDb();

  // Value of a position with the side to move in w: true with ev set when
  // found. Wins and losses are the distance scores of the search for MTW
  // files and the database win score for WDL/WD6 files (which are not used
  // inside the classes in ED).
  bool GetEBevalPlay(const TBitBoard64& brd, bool giveaway, const TEDPos& ED, float& ev,
                     TEdbProbeStats* stats = nullptr) const;
  // Raw stored value of a position (MTW: plies coding, WDL: 0/1/2, WD6: 0..5)
  // and the type of the file it came from; false when not found or undecodable.
  bool ProbeRaw(const TBitBoard64& brd, uint8_t& value, TEbType& type, TEdbProbeStats* stats = nullptr) const;
  // The engine's index pair of a square-list position: p1 with White as own
  // side, p2 with Black; 0 for a side with too many pieces.
  TEDPos EDPosOfBoard(const TBoard& board) const;

  int Variant() const { return variant_; }
  bool Giveaway() const { return giveaway_; }
  const TEdbLoadResult& LoadResult() const { return result_; }
  int64_t FilesLoaded() const { return result_.filesLoaded; }
  int64_t BytesLoaded() const { return result_.bytesLoaded; }
  // The file record of a class, or nullptr.
  const EDBFileRec* FindFileRec(int32_t classId) const;
  // Null for a variant without databases and for a folder without files of
  // the variant.
  const TMaskTable* Masks() const { return masks_.get(); }

 private:
  TEndgameDb() = default;
  EDBFileRec* FindSlot(int32_t id) const;
  EDBFileRec* ClaimSlot(int32_t id);
  bool LookupValue(const TBitBoard64& brd, bool capturesMatter, TEdbClass& cls, uint8_t& value, TEbType& type,
                   TEdbProbeStats* stats) const;

  int variant_ = 0;
  bool giveaway_ = false;
  TEdbGeometry g_;
  std::shared_ptr<const TMaskTable> masks_;
  std::unique_ptr<EDBFileRec[]> files_;
  size_t fileSlots_ = 0;
  uint64_t id_ = 0;  // unique per set, never reused: tells cached blocks apart
  TEdbLoadResult result_;
};

}  // namespace quorlin

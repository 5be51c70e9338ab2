#include "engine/endgamedb.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <random>
#include <string>
#include <vector>

#include "engine/egdbgen.h"
#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/tables.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

// Own king against opponent king on the 32-square board.
const TEdbClass kKingKing{0, 0, 1, 1, 0, 0};

TBitBoard64 Kings32(int ownSquare, int oppSquare) {
  const uint64_t w = uint64_t{1} << SquareToBit32[ownSquare], b = uint64_t{1} << SquareToBit32[oppSquare];
  return TBitBoard64{w, b, w | b};
}

void WriteClass(const fs::path& edFolder, const std::string& variantName, TEbType type, const TEdbClass& cls,
                uint8_t value, int variant = kRussian) {
  const uint64_t n = TMaskTable::ForVariant(variant)->ClassPositionCount(cls);
  const std::vector<uint8_t> values(n, value);
  const std::vector<uint8_t> file = EncodeEndgameFile(type, values.data(), n);
  const fs::path path = EndgameFilePath(edFolder.string(), variantName, cls, type);
  fs::create_directories(path.parent_path());
  test::WriteFile(path, std::string(file.begin(), file.end()));
}

using TDb = std::shared_ptr<const TEndgameDb>;

TDb LoadRussian(const fs::path& dir, const TEdbCallbacks& cb = {}, int64_t limit = kEdbMemoryLimit) {
  return TEndgameDb::Load(kRussian, false, dir.string(), cb, limit);
}

struct LogLines {
  std::vector<std::string> lines;
  TEdbCallbacks Callbacks() {
    TEdbCallbacks cb;
    cb.log = [this](const std::string& t, bool blank) {
      lines.push_back(t);
      if (blank) lines.push_back("");
    };
    return cb;
  }
};

TEST(EndgameMasks, CountsAndNumbersFollowTheEnumeration) {
  struct Case {
    int variant, menSquares, most;
  };
  for (const Case c : {Case{kRussian, 28, 7}, Case{kInternational, 45, 5}, Case{kTurkish, 48, 5}}) {
    const std::shared_ptr<const TMaskTable> masks = TMaskTable::ForVariant(c.variant);
    ASSERT_NE(masks, nullptr);
    const TEdbGeometry g = EdbGeometryOfVariant(c.variant);
    const TMenLists lists = MenConfigurations(g);
    for (int j = 1; j <= c.most; ++j) {
      int64_t sum = 0;
      for (int t = 0; t < 64; ++t) {
        ASSERT_EQ(static_cast<int64_t>(lists[j][t].size()), masks->TotalMasks(j, t));
        sum += masks->TotalMasks(j, t);
        for (size_t n = 0; n < lists[j][t].size(); n += 97) {
          const EDBMaskRec* r = masks->Find(lists[j][t][n]);
          ASSERT_NE(r, nullptr);
          EXPECT_EQ(r->num, static_cast<int>(n));
          EXPECT_EQ(r->temps, t);
          EXPECT_EQ(r->draughtscount, j);
        }
      }
      EXPECT_EQ(sum, Binomial64[c.menSquares][j]) << "variant " << c.variant << " men " << j;
    }
    // Men only on the first row of men squares: temps equals their number.
    uint64_t mask = 0;
    for (int s = 0; s < 3; ++s) mask |= uint64_t{1} << EdbSquareToBit(g, g.firstMenSquare + s);
    ASSERT_NE(masks->Find(mask), nullptr);
    EXPECT_EQ(masks->Find(mask)->temps, 3);
    EXPECT_EQ(masks->Find(0)->totalmasks, 1);
    // A man on the promotion row is no configuration.
    EXPECT_EQ(masks->Find(uint64_t{1} << EdbSquareToBit(g, g.boardSize)), nullptr);
  }
}

TEST(EndgameClasses, PiecesPerSideLimit) {
  const std::shared_ptr<const TMaskTable> masks = TMaskTable::ForVariant(kRussian);
  TBitBoard64 bb;
  for (int s = 1; s <= 7; ++s) bb.w |= uint64_t{1} << SquareToBit32[s];
  bb.b = uint64_t{1} << SquareToBit32[32];
  bb.k = bb.b;
  EXPECT_EQ(masks->ClassId(bb), MakeClassId(7, 0, 0, 1, 1 + 1 + 1 + 1 + 2 + 2 + 2, 0));
  bb.w |= uint64_t{1} << SquareToBit32[8];
  EXPECT_EQ(masks->ClassId(bb), 0);
  float ev = 1;
  EXPECT_FALSE(LoadRussian(test::FreshDir("edlimit"))->GetEBevalPlay(bb, false, {}, ev));
}

TEST(EndgameNames, WriteAndRead) {
  struct Case {
    TEdbClass cls;
    const char* name;
  };
  for (const Case& c : {Case{{1, 2, 0, 1, 3, 5}, "4-0112-3-5"}, Case{{5, 5, 0, 0, 12, 20}, "A-0055-12-20"},
                        Case{{0, 0, 1, 1, 0, 0}, "2-1100-0-0"}}) {
    EXPECT_EQ(EndgameFileName(c.cls), c.name);
    TEdbClass back;
    ASSERT_TRUE(ParseEndgameFileName(c.name, back)) << c.name;
    EXPECT_EQ(back.id(), c.cls.id());
  }
  TEdbClass cls;
  for (const char* bad :
       {"B-0056-12-20", "4-01x2-3-5", "4-0112-3", "5-0112-3-5", "4-0112--5", "readme.txt", ""})
    EXPECT_FALSE(ParseEndgameFileName(bad, cls)) << bad;
  EXPECT_EQ(EndgameEntryName(kKingKing, ebWDL), "WDL/2-1100-0-0");
}

TEST(EndgameCodings, RunLengthCodesRoundTrip) {
  std::mt19937 rng(7);
  for (TEbType type : {ebWDL, ebWD6}) {
    const int block = EbBlockSize(type), symbols = type == ebWDL ? 3 : 6;
    // Runs of every length class, including the boundaries of each form and
    // runs longer than the longest form.
    std::vector<uint8_t> values;
    for (int len : {1, 2, 3, 4, 5, 8, 9, 24, 25, 88, 89, 280, 281, 4184, 4376, 5000, 7, 1})
      values.insert(values.end(), len, static_cast<uint8_t>(rng() % symbols));
    while (values.size() < 3u * block + 100) values.push_back(static_cast<uint8_t>(rng() % symbols));
    const std::vector<uint8_t> file = EncodeEndgameFile(type, values.data(), values.size());
    const int64_t n1 = file[0] | file[1] << 8, n2 = static_cast<int64_t>(file.size()) - 16 - n1;
    const int blocks = static_cast<int>(n1 / 4);
    ASSERT_EQ(blocks, 4);
    auto offset = [&](int b) {
      return b < blocks
                 ? static_cast<int64_t>(file[16 + 4 * b] | file[17 + 4 * b] << 8 | file[18 + 4 * b] << 16)
                 : n2;
    };
    for (size_t x = 0; x < values.size(); ++x) {
      const int b = static_cast<int>(x / block);
      const uint8_t* data = file.data() + 16 + n1 + offset(b);
      const size_t size = offset(b + 1) - offset(b);
      uint8_t v = 99;
      const bool ok =
          type == ebWDL ? DecodeWdlBlock(data, size, x % block, v) : DecodeWd6Block(data, size, x % block, v);
      ASSERT_TRUE(ok) << x;
      ASSERT_EQ(v, values[x]) << "type " << type << " position " << x;
    }
  }
  // A run whose length or value lies beyond the data, and the unused WD6 symbol.
  const uint8_t wdlCut[] = {0x03 | 0x3 << 2};  // run, six-symbol form, nothing more
  uint8_t v;
  EXPECT_FALSE(DecodeWdlBlock(wdlCut, 1, 0, v));
  const uint8_t wd6Bad[] = {0x0F};
  EXPECT_FALSE(DecodeWd6Block(wd6Bad, 1, 0, v));
  const uint8_t wd6Short[] = {0x21};  // two single values
  EXPECT_FALSE(DecodeWd6Block(wd6Short, 1, 5, v));
  EXPECT_TRUE(DecodeWd6Block(wd6Short, 1, 1, v));
  EXPECT_EQ(v, 2);
  const uint8_t garbage[] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(DecodeMtwBlock(garbage, sizeof garbage, 0, v));
}

// Stored value to search score, for each coding.
TEST(EndgameProbe, ValuesBecomeScores) {
  struct Case {
    TEbType type;
    uint8_t stored;
    float ev;
  };
  for (const Case& c : {Case{ebMTW, 7, -1994}, Case{ebMTW, 0, 0}, Case{ebMTW, 12, 1989},
                        Case{ebMTW, 1, -2000}, Case{ebWDL, 2, 1500}, Case{ebWDL, 1, -1500}, Case{ebWDL, 0, 0},
                        Case{ebWD6, 5, 1500}, Case{ebWD6, 1, -1500}}) {
    const fs::path dir = test::FreshDir("edvalues");
    WriteClass(dir, "Russian", c.type, kKingKing, c.stored);
    const TDb db = LoadRussian(dir);
    ASSERT_EQ(db->FilesLoaded(), 1);
    float ev = 99;
    TEdbProbeStats stats;
    ASSERT_TRUE(db->GetEBevalPlay(Kings32(1, 30), false, {}, ev, &stats)) << int(c.stored);
    EXPECT_EQ(ev, c.ev) << "type " << c.type << " value " << int(c.stored);
    EXPECT_EQ(stats.fGetEdb.load(), 1);
    EXPECT_EQ(stats.MaxEB.load(), 2);
  }
}

TEST(EndgameProbe, WinsInsideTheAnalysedClassAreNotUsed) {
  const fs::path dir = test::FreshDir("edinside");
  WriteClass(dir, "Russian", ebWDL, kKingKing, 2);
  const TDb db = LoadRussian(dir);
  float ev = 0;
  EXPECT_FALSE(db->GetEBevalPlay(Kings32(1, 30), false, TEDPos{kKingKing.id(), 0}, ev));
  EXPECT_FALSE(db->GetEBevalPlay(Kings32(1, 30), false, TEDPos{0, kKingKing.id()}, ev));
  EXPECT_TRUE(db->GetEBevalPlay(Kings32(1, 30), false, TEDPos{MakeClassId(0, 0, 2, 1, 0, 0), 0}, ev));
  EXPECT_EQ(ev, 1500);
  // A draw is reported even inside the class; the opponent's capture hides WDL values.
  const fs::path dir2 = test::FreshDir("edcapture");
  WriteClass(dir2, "Russian", ebWDL, kKingKing, 0);
  const TDb draws = LoadRussian(dir2);
  EXPECT_TRUE(draws->GetEBevalPlay(Kings32(1, 30), false, TEDPos{kKingKing.id(), 0}, ev));
  int withCapture = 0, without = 0;
  for (int own = 1; own <= 32; ++own)
    for (int opp = 1; opp <= 32; ++opp) {
      if (own == opp) continue;
      const TBitBoard64 bb = Kings32(own, opp);
      const bool oppCaptures = OpponentCapturingPieces64(bb, kRussian) != 0;
      const bool found = draws->GetEBevalPlay(bb, false, {}, ev);
      EXPECT_EQ(found, !oppCaptures) << own << " " << opp;
      (oppCaptures ? withCapture : without)++;
    }
  EXPECT_GT(withCapture, 0);
  EXPECT_GT(without, 0);
}

TEST(EndgameProbe, SideWithoutPiecesAndBoardsWithoutDatabases) {
  float ev = 0;
  const TDb db = LoadRussian(test::FreshDir("edempty"));
  EXPECT_TRUE(db->GetEBevalPlay(TBitBoard64{0, 1, 0}, false, {}, ev));
  EXPECT_EQ(ev, -2000);
  EXPECT_TRUE(db->GetEBevalPlay(TBitBoard64{0, 1, 0}, true, {}, ev));
  EXPECT_EQ(ev, 2000);
  // Without files nothing needs the men-configuration table; with one it is there.
  EXPECT_EQ(db->Masks(), nullptr);
  EXPECT_EQ(db->EDPosOfBoard(TBoard{}).p1, 0);
  const fs::path withFile = test::FreshDir("edonefile");
  WriteClass(withFile, "Russian", ebWDL, kKingKing, 0);
  EXPECT_NE(LoadRussian(withFile)->Masks(), nullptr);
  const fs::path dir = test::FreshDir("edcanadian");
  const TDb canadian = TEndgameDb::Load(kCanadian, false, dir.string(), {});
  EXPECT_EQ(canadian->FilesLoaded(), 0);
  EXPECT_EQ(canadian->Masks(), nullptr);
  EXPECT_FALSE(canadian->GetEBevalPlay(TBitBoard64{1, 2, 0}, false, {}, ev));
  EXPECT_FALSE(EdbGeometryOfVariant(kCanadian).valid());
}

TEST(EndgameLoad, DistanceFileComesFirstAndOnlyOneWinLossFolderIsRead) {
  const fs::path dir = test::FreshDir("edorder");
  WriteClass(dir, "Russian", ebMTW, kKingKing, 12);
  WriteClass(dir, "Russian", ebWDL, kKingKing, 1);
  const TEdbClass twoKings{0, 0, 2, 1, 0, 0};
  WriteClass(dir, "Russian", ebWDL, twoKings, 2);
  TDb db = LoadRussian(dir);
  EXPECT_EQ(db->FilesLoaded(), 2);
  float ev = 0;
  ASSERT_TRUE(db->GetEBevalPlay(Kings32(1, 30), false, {}, ev));
  EXPECT_EQ(ev, 1989);
  ASSERT_NE(db->FindFileRec(kKingKing.id()), nullptr);
  EXPECT_EQ(db->FindFileRec(kKingKing.id())->fName, "MTW/2-1100-0-0");
  // With a WD6 folder that holds files, the WDL folder is not read.
  const TEdbClass oneMan{1, 0, 0, 1, 1, 0};
  WriteClass(dir, "Russian", ebWD6, oneMan, 0);
  db = LoadRussian(dir);
  EXPECT_EQ(db->FilesLoaded(), 2);
  EXPECT_EQ(db->FindFileRec(twoKings.id()), nullptr);
  ASSERT_NE(db->FindFileRec(oneMan.id()), nullptr);
  EXPECT_EQ(db->FindFileRec(oneMan.id())->ebtype, ebWD6);
  // Giveaway databases live under their own name.
  EXPECT_EQ(TEndgameDb::Load(kRussian, true, dir.string(), {})->FilesLoaded(), 0);
}

TEST(EndgameLoad, DamagedBlockTakesTheClassOutOfUse) {
  const fs::path dir = test::FreshDir("eddamaged");
  WriteClass(dir, "Russian", ebMTW, kKingKing, 12);
  const TEdbClass twoKings{0, 0, 2, 1, 0, 0};
  WriteClass(dir, "Russian", ebMTW, twoKings, 4);
  // Overwrite the data of the king-against-king file with bytes that do not inflate.
  const fs::path path = EndgameFilePath(dir.string(), "Russian", kKingKing, ebMTW);
  std::string bytes = test::ReadFile(path);
  const size_t n1 = static_cast<uint8_t>(bytes[0]);
  for (size_t k = 16 + n1; k < bytes.size(); ++k) bytes[k] = static_cast<char>(0xA5 ^ k);
  test::WriteFile(path, bytes);
  LogLines log;
  const TDb db = LoadRussian(dir);
  EXPECT_EQ(db->FilesLoaded(), 2);
  // The damage is found by the first probe and reported to the prober's log.
  TEdbProbeStats stats;
  stats.log = log.Callbacks().log;
  float ev = 0;
  EXPECT_FALSE(db->GetEBevalPlay(Kings32(1, 30), false, {}, ev, &stats));
  EXPECT_FALSE(db->GetEBevalPlay(Kings32(2, 30), false, {}, ev, &stats));
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "EB Err:MTW/2-1100-0-0");
  EXPECT_EQ(log.lines[1], "");
  const EDBFileRec* rec = db->FindFileRec(kKingKing.id());
  ASSERT_NE(rec, nullptr);
  EXPECT_FALSE(rec->opened);
  EXPECT_TRUE(rec->notexists[ebMTW]);
  // Other classes keep working.
  TBitBoard64 bb = Kings32(1, 30);
  bb.w |= uint64_t{1} << SquareToBit32[5];
  bb.k = bb.w | bb.b;
  ASSERT_TRUE(db->GetEBevalPlay(bb, false, {}, ev, &stats));
  EXPECT_EQ(ev, 1997);
}

TEST(EndgameLoad, FilesWithBadSectionsAreNotLoaded) {
  const fs::path dir = test::FreshDir("edbadheader");
  const TEdbClass twoKings{0, 0, 2, 1, 0, 0};  // 14880 positions: 8 blocks
  WriteClass(dir, "Russian", ebMTW, twoKings, 12);
  const fs::path path = EndgameFilePath(dir.string(), "Russian", twoKings, ebMTW);
  const std::string good = test::ReadFile(path);
  ASSERT_EQ(good[0], 32);
  struct Damage {
    const char* what;
    std::string bytes;
  };
  std::string bigN2 = good;
  bigN2[8] = static_cast<char>(0x7F);
  std::string badOffset = good;  // second block offset beyond the data
  badOffset[16 + 6] = static_cast<char>(0x7F);
  std::string falling = good;  // offsets out of order
  falling[16 + 8] = 0, falling[16 + 9] = 0;
  // A well-formed file with fewer blocks than the class has positions.
  const std::vector<uint8_t> shortValues(14880 - 2048, 12);
  const std::vector<uint8_t> shortFile = EncodeEndgameFile(ebMTW, shortValues.data(), shortValues.size());
  const std::string fewBlocks(shortFile.begin(), shortFile.end());
  for (const Damage& d :
       {Damage{"empty", ""}, Damage{"short", good.substr(0, 10)},
        Damage{"truncated", good.substr(0, good.size() - 3)}, Damage{"sizes", bigN2},
        Damage{"offsets", badOffset}, Damage{"order", falling}, Damage{"blocks", fewBlocks}}) {
    test::WriteFile(path, d.bytes);
    LogLines log;
    const TDb db = LoadRussian(dir, log.Callbacks());
    EXPECT_EQ(db->FilesLoaded(), 0) << d.what;
    float ev;
    TBitBoard64 bb = Kings32(1, 30);
    bb.w |= uint64_t{1} << SquareToBit32[5];
    bb.k = bb.w | bb.b;
    EXPECT_FALSE(db->GetEBevalPlay(bb, false, {}, ev)) << d.what;
  }
}

TEST(EndgameLoad, ArchiveEntriesAndMemoryLimit) {
  const fs::path src = test::FreshDir("edzipsrc");
  WriteClass(src, "Russian", ebMTW, kKingKing, 12);
  const TEdbClass twoKings{0, 0, 2, 1, 0, 0};
  WriteClass(src, "Russian", ebMTW, twoKings, 4);
  const fs::path dir = test::FreshDir("edzip");
  int err = 0;
  zip_t* za = zip_open((dir / "Russian.zip").string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  zip_dir_add(za, "MTW", ZIP_FL_ENC_UTF_8);
  std::vector<std::string> keep;
  for (const TEdbClass& c : {kKingKing, twoKings}) {
    keep.push_back(test::ReadFile(EndgameFilePath(src.string(), "Russian", c, ebMTW)));
    zip_source_t* s = zip_source_buffer(za, keep.back().data(), keep.back().size(), 0);
    ASSERT_GE(zip_file_add(za, EndgameEntryName(c, ebMTW).c_str(), s, ZIP_FL_OVERWRITE), 0);
  }
  zip_add(za, "readme.txt", zip_source_buffer(za, "x", 1, 0));
  ASSERT_EQ(zip_close(za), 0);
  std::vector<std::string> info;
  TEdbCallbacks cb;
  cb.info = [&](const std::string& t) { info.push_back(t); };
  TDb db = LoadRussian(dir, cb);
  const TEdbLoadResult& load = db->LoadResult();
  EXPECT_TRUE(load.fromArchive);
  EXPECT_EQ(load.candidates, 3);
  EXPECT_EQ(load.filesLoaded, 2);
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(info.back().rfind("=", 0), 0u);
  EXPECT_EQ(info.back().substr(info.back().size() - 2), "ms");
  float ev = 0;
  ASSERT_TRUE(db->GetEBevalPlay(Kings32(1, 30), false, {}, ev));
  EXPECT_EQ(ev, 1989);
  // Nothing more is read once the bytes loaded exceed the limit.
  EXPECT_EQ(LoadRussian(dir, cb, 0)->FilesLoaded(), 1);
}

TEST(EndgameLoad, ProgressLinesAndCommandLine) {
  const fs::path dir = test::FreshDir("edcli");
  std::string out;
  ASSERT_EQ(test::RunQuorlin("egdb build Russian --pieces 3 --out " + dir.string(), out), 0) << out;
  EXPECT_NE(out.find("400 classes"), std::string::npos) << out;
  std::vector<std::string> info;
  TEdbCallbacks cb;
  cb.info = [&](const std::string& t) { info.push_back(t); };
  EXPECT_EQ(LoadRussian(dir, cb)->FilesLoaded(), 400);
  ASSERT_EQ(info.size(), 5u);
  EXPECT_EQ(info[0].rfind("Init Endgames: 25%  100, 0MB", 0), 0u) << info[0];
  EXPECT_EQ(info[4].rfind("Init Endgames: 100%  400, 0MB=", 0), 0u) << info[4];

  struct Case {
    const char* fen;
    const char* expect;
  };
  // A king in the corner of the long diagonal against a king on it must step
  // onto the diagonal and be taken; a man whose only step lands in front of
  // the enemy king is taken likewise.
  for (const Case& c : {Case{"W:WKc1:BKh8", "draw"}, Case{"W:WKa1:BKh8", "loss 3"},
                        Case{"B:Wa3,Ka1:Bh8", "loss 3"}, Case{"W:Wa1,c1,e1:Bh8,f8", "not found"}}) {
    ASSERT_EQ(
        test::RunQuorlin(std::string("egdb probe Russian \"") + c.fen + "\" --folder " + dir.string(), out),
        0);
    EXPECT_EQ(out, std::string(c.expect) + "\n") << c.fen;
  }
  EXPECT_EQ(test::RunQuorlin("egdb build Frisian --pieces 2 --out " + dir.string(), out), 2) << out;
  EXPECT_EQ(test::RunQuorlin("egdb build Russian --pieces 3 --type XYZ --out " + dir.string(), out), 2)
      << out;
}

}  // namespace
}  // namespace quorlin

// quorlin_fuzz_seeds OUT [CORPUS]: writes starting inputs for every fuzz
// target into OUT/<target>/, made by the program's own writers (positions,
// definitions, game bodies, databases, weights, networks, endgame files and
// archives, books, settings) and, for the PDN targets, cut from the PDN files
// of CORPUS (games of a file split into pieces of a few kilobytes).
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/dxpmessage.h"
#include "app/folders.h"
#include "app/hubprotocol.h"
#include "app/inifile.h"
#include "app/settings.h"
#include "engine/book.h"
#include "engine/endgamedb.h"
#include "engine/enginefile.h"
#include "engine/network.h"
#include "fuzz/fuzz_games.h"
#include "fuzz/fuzz_support.h"
#include "games/bodycodec.h"
#include "games/database.h"
#include "games/pdnfile.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/variantdef.h"
#include "rules/variants.h"

using namespace quorlin;
namespace fs = std::filesystem;

namespace {

fs::path gOut;
int gWritten = 0;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const fs::path dir = gOut / target;
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
  ++gWritten;
}

std::string Byte(int v) { return std::string(1, static_cast<char>(v)); }
std::string U16(size_t v) {
  return Byte(static_cast<int>((v >> 8) & 0xFF)) + Byte(static_cast<int>(v & 0xFF));
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Variant slot of a corpus file from its name ("english_...", "international_...").
int VariantOfFile(const std::string& name) {
  for (int v = 1; v <= kVariantCount; ++v) {
    std::string n = VariantTable[v].Name;
    std::transform(n.begin(), n.end(), n.begin(), ::tolower);
    if (name.rfind(n + "_", 0) == 0) return v;
  }
  return kRussian;
}

// Pieces of a PDN text of at most `limit` bytes, cut before a line starting with "[".
std::vector<std::string> Pieces(const std::string& text, size_t limit, size_t most) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size() && pieces.size() < most) {
    size_t end = std::min(text.size(), start + limit);
    if (end < text.size()) {
      const size_t cut = text.rfind("\n[", end);
      if (cut != std::string::npos && cut > start) end = cut + 1;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

std::vector<TGame> ReadGames(const std::string& pdn, int variant) {
  std::vector<TGame> games;
  TPdnReadReport report;
  ReadPdnText(
      pdn, variant,
      [&](TGame& g, int, std::string&) {
        games.push_back(g);
        return true;
      },
      report);
  return games;
}

// The move text of a PDN piece: lines that are not tag pairs.
std::string MoveText(const std::string& pdn) {
  std::string out;
  size_t p = 0;
  while (p < pdn.size()) {
    size_t e = pdn.find('\n', p);
    if (e == std::string::npos) e = pdn.size();
    const std::string line = pdn.substr(p, e - p);
    if (line.empty() || line[0] != '[') out += line + " ";
    p = e + 1;
  }
  return out;
}

void PdnSeeds(const fs::path& corpus) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(corpus / "pdn"))
    if (e.is_regular_file() && e.path().extension() == ".pdn") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  int n = 0;
  for (const fs::path& f : files) {
    const int variant = VariantOfFile(f.filename().string());
    const std::vector<std::string> pieces = Pieces(Slurp(f), 3000, 6);
    for (size_t i = 0; i < pieces.size(); ++i) {
      const std::string name = f.stem().string() + "-" + std::to_string(i);
      Seed("pdn", name, Byte(variant - 1) + pieces[i]);
      Seed("movetext", name, Byte(variant - 1) + MoveText(pieces[i]).substr(0, 1500));
      if (i > 1) continue;
      int g = 0;
      for (TGame& game : ReadGames(pieces[i], variant)) {
        if (g++ == 3) break;
        for (int version : {kBodyVersion30, kBodyVersion38}) {
          TGame copy = game;
          if (version == kBodyVersion38 && copy.Version != kTreeLinked) LinkTree(copy);
          std::vector<uint8_t> body;
          std::string error;
          if (!EncodeBody(copy, version, body, error)) continue;
          Seed("body", name + "-" + std::to_string(g) + "-" + std::to_string(version),
               Byte(version == kBodyVersion30 ? 1 : 2) + Byte(copy.Header.TypeOfGame) +
                   U16(static_cast<size_t>(copy.Header.LastMove)) + std::string(body.begin(), body.end()));
        }
      }
    }
    ++n;
  }
  std::printf("PDN seeds from %d corpus files\n", n);
}

void RulesSeeds() {
  for (int v = 1; v <= kVariantCount; ++v) {
    const TGameParams& p = VariantTable[v];
    TBrd start = StartPosition(p, true);
    const std::string fen = WriteFEN(p, start, 0);
    Seed("fen", "start-" + std::to_string(v), Byte(v - 1) + fen);
    Seed("fen", "tag-" + std::to_string(v), Byte(v - 1) + "[FEN \"" + WriteFEN(p, start, 1) + "\"]");
    std::string text, error;
    FormatVariantDefinition(p, "", text, error);
    Seed("variantdef", "joined-" + std::to_string(v), Byte(v) + Byte(0) + text);
    std::vector<std::string> lines;
    WriteVariantDefinition(p, lines);
    std::string file;
    for (const std::string& l : lines) file += l + "\r\n";
    Seed("variantdef", "file-" + std::to_string(v), Byte(0) + Byte(1) + file);
  }
  Seed("fen", "ranges", Byte(kInternational - 1) + "W:W31-35,K46:B1-5.");
  Seed("fen", "alpha", Byte(kRussian - 1) + "B:Wa1,Kc3:Bh8.");
}

// A small database of each writable version, and its names file.
void DatabaseSeeds(const fs::path& corpus) {
  const std::vector<TGame> games =
      ReadGames(Pieces(Slurp(corpus / "pdn" / "international_nk2009-r12.pdn"), 6000, 1)[0], kInternational);
  for (uint8_t version : {kDBVersion30, kDBVersion38}) {
    const fs::path dir = fuzz::WorkDir() / ("seeddb" + std::to_string(version));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string base = (dir / "g.abd").string();
    TQuorlinDB db;
    if (!CreateDatabase(base, db, version)) continue;
    int stored = 0;
    for (const TGame& g : games) {
      TGame copy = g;
      if (stored == 3) break;
      if (WriteGame(copy, 0, db, false)) ++stored;
    }
    SetDeletedMark(db, 1, 2);
    CloseDatabase(db);
    const std::string index = Slurp(dir / "g.abd");
    const std::string main = Slurp(dir / "g.abm");
    const int pick = version == kDBVersion30 ? 1 : 2;
    Seed("index", "db" + std::to_string(version), Byte(pick) + U16(index.size()) + index + main.substr(1));
    Seed("names", "db" + std::to_string(version),
         Byte(version == kDBVersion38 ? 1 : 0) + Slurp(dir / "g.abn"));
  }
  Seed("names", "cp1252",
       Byte(0) +
           "^M\xFCller\r\n*Open, game 3\r\n@K\xF8"
           "benhavn\r\n");
}

void EngineSeeds(const fs::path& source) {
  const fs::path engines = source / "data" / "ship" / "EnginesTest";
  for (const char* v : {"Russian", "International", "Turkish", "English"}) {
    const fs::path dir = engines / v;
    if (!fs::exists(dir)) continue;
    const int slot = FindVariant(v);
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string text = Slurp(e.path());
      const std::string name = std::string(v) + "-" + e.path().filename().string();
      if (e.path().extension() == ".evf") Seed("evf", name, Byte(slot - 1) + text);
      if (e.path().extension() == ".eng") {
        const fs::path weights = dir / (e.path().stem().string() + "s0.evf");
        std::string eng = text;
        // The description names its weights file; the target writes it as "w.evf".
        const size_t at = eng.find("EvalFNC");
        if (at != std::string::npos) {
          const size_t q1 = eng.find('"', at), q2 = eng.find('"', q1 + 1);
          if (q1 != std::string::npos && q2 != std::string::npos) eng.replace(q1 + 1, q2 - q1 - 1, "w.evf");
        }
        Seed("eng", name, Byte(slot - 1) + eng + "\n=====\n" + Slurp(weights));
      }
    }
  }
  // A network of each input layout, small enough to read quickly.
  for (int inputs : {120, 190, 256}) {
    MyTNNet net;
    net.InputSize = inputs;
    net.OutPutSize = inputs == 256 ? 3 : 1;
    net.NetType = inputs == 120 ? 1 : 0;
    net.IsBias = inputs != 190;
    const int sizes[3] = {inputs, 4, net.OutPutSize};
    std::mt19937 rng(inputs);
    net.Neurons.resize(3);
    for (int l = 0; l < 3; ++l) {
      net.Neurons[l].resize(sizes[l]);
      if (l == 0) continue;
      for (MyTNeuron& n : net.Neurons[l]) {
        n.weights.resize(sizes[l - 1]);
        n.inertia.assign(sizes[l - 1], 0.0f);
        for (float& w : n.weights) w = static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 1000.0f;
      }
    }
    const fs::path path = fuzz::WorkDir() / ("seed" + std::to_string(inputs) + ".mynn");
    SaveNet(path, net);
    Seed("mynn", "net" + std::to_string(inputs), std::string(3, '\0') + Slurp(path));
    Seed("eng", "net" + std::to_string(inputs),
         Byte(kRussian - 1) +
             "[Name \"N\"]\r\n[Version \"40\"]\r\n[Stage \"0\"]\r\n[EvalFNC "
             "\"n.mynn\"]\r\n\n=====\n\n=====\n" +
             Slurp(path));
  }
}

std::vector<uint8_t> ClassFile(TEbType type, const TMaskTable& masks, const TEdbClass& cls) {
  const uint64_t n = masks.ClassPositionCount(cls);
  std::vector<uint8_t> values(n);
  std::mt19937 rng(static_cast<unsigned>(cls.id() + type));
  const int range = type == ebMTW ? 40 : type == ebWDL ? 3 : 6;
  for (uint8_t& v : values) v = static_cast<uint8_t>(rng() % range);
  return EncodeEndgameFile(type, values.data(), n);
}

void EndgameSeeds() {
  const int variants[] = {kRussian, kInternational, kSpantsiretti, kTurkish};
  TEdbClass kings;
  kings.ownKings = 1;
  kings.oppKings = 1;
  for (int which = 0; which < 4; ++which) {
    const auto masks = TMaskTable::ForVariant(variants[which]);
    for (int type = 0; type < 3; ++type) {
      const std::vector<uint8_t> file = ClassFile(static_cast<TEbType>(type), *masks, kings);
      // type, variant, mode (not an encoding check), own king, opponent king,
      // no men, block position, the file.
      Seed("egdb", "kk-" + std::to_string(which) + "-" + std::to_string(type),
           Byte(type) + Byte(which) + Byte(1) + Byte(0) + Byte(5) + Byte(0) + Byte(0) + Byte(3) +
               std::string(file.begin(), file.end()));
      Seed("egdb", "encode-" + std::to_string(which) + "-" + std::to_string(type),
           Byte(type) + Byte(which) + Byte(0) + Byte(60) + std::string(200, '\x01'));
    }
  }
  // An archive of the Russian databases holding two classes of two codings.
  const auto masks = TMaskTable::ForVariant(kRussian);
  const fs::path zipPath = fuzz::WorkDir() / "seed.zip";
  fs::remove(zipPath);
  int err = 0;
  zip_t* za = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  std::vector<std::vector<uint8_t>> keep;
  TEdbClass manKing;
  manKing.ownMen = 1;
  manKing.oppKings = 1;
  manKing.tW = 1;
  for (const TEdbClass& cls : {kings, manKing}) {
    for (TEbType type : {ebMTW, ebWDL}) {
      keep.push_back(ClassFile(type, *masks, cls));
      zip_source_t* src = zip_source_buffer(za, keep.back().data(), keep.back().size(), 0);
      zip_file_add(za, EndgameEntryName(cls, type).c_str(), src, ZIP_FL_OVERWRITE);
    }
  }
  zip_close(za);
  Seed("egdbzip", "russian", Slurp(zipPath));
}

void BookSeeds() {
  for (int v : {kRussian, kInternational, kEnglish}) {
    const TGameParams& p = VariantTable[v];
    TBoard board;
    board.b = StartPosition(p, true);
    TMvs list;
    uint8_t count = 0;
    GenerateMoves(board, 0, list, count, p, true);
    std::vector<TBookRecord> records;
    for (int i = 1; i <= count; ++i) {
      TBoard after = board;
      ApplyMove(list[i], after, p);
      TBookRecord r;
      r.key = PackBoard(after, 1, p);
      r.stmWins = static_cast<uint16_t>(i);
      r.draws = 3;
      r.otherWins = static_cast<uint16_t>(count - i);
      r.value = static_cast<int16_t>(i * 20 - 80);
      r.annotation = static_cast<uint8_t>(i % 9);
      r.comment = static_cast<uint16_t>(i % 3);
      records.push_back(r);
    }
    std::sort(records.begin(), records.end(),
              [](const TBookRecord& a, const TBookRecord& b) { return a.key < b.key; });
    std::string cbk;
    for (const TBookRecord& r : records) {
      uint8_t raw[kBookRecordSize];
      PackBookRecord(r, raw);
      cbk.append(reinterpret_cast<const char*>(raw), kBookRecordSize);
    }
    Seed("book", "start-" + std::to_string(v),
         Byte(v - 1) + U16(cbk.size()) + cbk + "\nA good start\nSharp\n");
  }
}

void AppSeeds(const fs::path& source, const fs::path& programDir) {
  ResetSettings();
  FUZZ_CHECK(SaveSettings(), "settings cannot be written");
  const std::string ini = Slurp(SettingsFilePath());
  Seed("settings", "defaults-utf16", Byte(0) + ini);
  Seed("settings", "hand-utf8",
       Byte(1) +
           "; edited by hand\n[Main]\nUserName=Ann\nDefTypeOfGame=6\nPoolStyle=2\n"
           "ThreadsCount=$10\nSoundOn=no\n[Engines]\nUserRatingRussian=2100\n");
  for (const char* code : {"RU", "FR", "IT"}) {
    std::string lines;
    int n = 1;
    std::istringstream in(Slurp(source / "data" / "languages" / (std::string(code) + ".txt")));
    for (std::string line; std::getline(in, line) && n < 40; ++n) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos || line[0] == '#') continue;
      lines += "[" + std::to_string(n) + "] \"" + line.substr(eq + 1) + "\"\r\n";
    }
    Seed("language", code, lines);
    Seed("language", std::string(code) + "-bom", "\xEF\xBB\xBF" + lines);
  }
  const fs::path table = programDir / "Language" / "Interface.lng";
  if (fs::exists(table)) Seed("languagetable", "interface", Slurp(table));
}

// Hub lines and DXP messages as the program writes them; a Hub seed starts
// with the variant byte its target reads first.
void ProtocolSeeds() {
  const std::string lines[] = {
      FormatHubLine(HubLine("id", {{"name", "Quorlin"}, {"version", "1.0"}, {"author", "A B"}})),
      FormatHubLine(HubLine("level", {{"time", "300"}, {"inc", "2.5"}, {"moves", "40"}})),
      FormatHubLine(HubLine("info", {{"depth", "12"}, {"score", "-35"}, {"pv", "32-28 19-23 28x19"}})),
      FormatHubLine(HubLine("done", {{"move", "32-28"}, {"ponder", "19-23"}})),
      "level depth=9 nodes=100000 infinite",
  };
  int n = 0;
  for (const std::string& line : lines) Seed("hub", "line-" + std::to_string(++n), Byte(0) + line);
  for (int v = 1; v <= kVariantCount; ++v) {
    const TGameParams& p = VariantTable[v];
    TBoard board;
    board.b = StartPosition(p, true);
    Seed("hub", "start-" + std::to_string(v), Byte(v - 1) + HubPositionText(board, TDColor::white, p));
  }

  TDxpGameRequest request;
  request.initiatorName = "Quorlin";
  request.minutes = 10;
  request.moves = 50;
  TDxpGameRequest setup = request;
  TBoard board;
  board.b = StartPosition(VariantTable[kInternational], true);
  SetDxpRequestPosition(setup, board, TDColor::white);
  const TDxpMessage messages[] = {
      request,
      setup,
      TDxpGameAccept{"Peer", kDxpAccepted},
      TDxpMove{3, 32, 28, {}},
      TDxpMove{12, 28, 19, {23, 14}},
      TDxpGameEnd{kDxpEndDraw, kDxpStopSession},
      TDxpChat{"good game"},
      TDxpBackRequest{12, 'Z'},
      TDxpBackAccept{kDxpRefused},
  };
  n = 0;
  for (const TDxpMessage& m : messages)
    Seed("dxp", std::string(1, DxpType(m)) + std::to_string(++n), EncodeDxp(m));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quorlin_fuzz_seeds OUT [CORPUS]\n");
    return 2;
  }
  fuzz::Init();
  InitFolders();
  gOut = argv[1];
  const fs::path source = fs::path(QUORLIN_SOURCE_DIR);
  const fs::path corpus = argc > 2 ? fs::path(argv[2]) : source / ".." / "shared" / "corpus";
  RulesSeeds();
  if (fs::exists(corpus / "pdn")) {
    PdnSeeds(corpus);
    DatabaseSeeds(corpus);
  } else {
    std::printf("no PDN corpus at %s\n", corpus.c_str());
  }
  EngineSeeds(source);
  EndgameSeeds();
  BookSeeds();
  AppSeeds(source, fs::path(QUORLIN_PROGRAM_DIR));
  ProtocolSeeds();
  std::printf("%d seeds written to %s\n", gWritten, gOut.c_str());
  return 0;
}

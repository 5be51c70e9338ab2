#include "engine/bookbuild.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "rules/movegen.h"

namespace quorlin {

bool TBookBuilder::AddGame(const TBookGame& game) {
  int firstWon;  // +1 side 0 won, -1 side 1 won, 0 draw
  switch (game.result) {
    case 1:
    case 4:
      firstWon = 1;
      break;
    case 3:
    case 5:
      firstWon = -1;
      break;
    case 2:
      firstWon = 0;
      break;
    default:
      ++skipped_;
      return false;
  }
  ++games_;
  TBoard board = game.start;
  int side = game.firstSide;
  std::vector<TBookKey> seen;  // a position repeated in one game counts once
  TMvs legal;
  for (int ply = 0;; ++ply) {
    const TBookKey key = PackBoard(board, side, params_);
    if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
      seen.push_back(key);
      TCounts& c = positions_[key];
      const int stm = side == 0 ? firstWon : -firstWon;
      if (stm > 0)
        ++c.stmWins;
      else if (stm < 0)
        ++c.otherWins;
      else
        ++c.draws;
    }
    if (ply >= maxPly_ || ply >= static_cast<int>(game.moves.size())) break;
    // Only legal moves are followed, so a damaged record cannot put positions
    // into the book that no game reaches.
    uint8_t count = 0;
    GenerateMoves(board, side, legal, count, params_, false);
    const TMove& m = game.moves[ply];
    bool ok = false;
    for (int i = 1; i <= count && !ok; ++i) ok = SameCapture(legal[i], m);
    if (!ok) break;
    ApplyMove(m, board, params_);
    side = 1 - side;
  }
  return true;
}

std::vector<TBookRecord> TBookBuilder::Records(int minGames) const {
  std::vector<TBookRecord> out;
  for (const auto& [key, c] : positions_) {  // std::map keeps keys in byte order
    if (c.stmWins + c.draws + c.otherWins < minGames) continue;
    TBookRecord r;
    r.key = key;
    r.stmWins = static_cast<uint16_t>(std::min<int64_t>(c.stmWins, 65535));
    r.draws = static_cast<uint16_t>(std::min<int64_t>(c.draws, 65535));
    r.otherWins = static_cast<uint16_t>(std::min<int64_t>(c.otherWins, 65535));
    out.push_back(r);
  }
  return out;
}

bool WriteBook(const std::string& path, const std::vector<TBookRecord>& records, std::string& error) {
  std::error_code ec;
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create " + tmp;
      return false;
    }
    uint8_t buf[kBookRecordSize];
    for (const TBookRecord& r : records) {
      PackBookRecord(r, buf);
      out.write(reinterpret_cast<const char*>(buf), sizeof buf);
    }
    out.flush();
    if (!out) {
      error = "cannot write " + tmp;
      return false;
    }
  }
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    error = "cannot write " + path + ": " + ec.message();
    return false;
  }
  std::filesystem::path cbn = p;
  cbn.replace_extension(".cbn");
  std::ofstream comments(cbn, std::ios::binary | std::ios::trunc);
  if (!comments) {
    error = "cannot create " + cbn.string();
    return false;
  }
  return true;
}

}  // namespace quorlin

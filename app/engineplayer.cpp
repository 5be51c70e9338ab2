#include "app/engineplayer.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "engine/book.h"
#include "rules/movegen.h"

namespace quorlin {

namespace {

// Book moves are taken only in the opening.
constexpr int kBookMinPieces = 12;
constexpr int kBookLastMove = 15;
// How often the waiting thread looks at the engine and the other side.
constexpr auto kPollInterval = std::chrono::milliseconds(5);
// Time limit of a move played on a position budget: only a safety net.
constexpr int64_t kNodeBudgetTimeCs = 100000;

int PiecesOnBoard(const TBoard& board, const TGameParams& params) {
  int n = 0;
  for (int s = 1; s <= params.compute.BoardSize; ++s) n += board.b[s] != kEmpty;
  return n;
}

}  // namespace

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

std::filesystem::path ResolveEngineFile(const std::string& given, int variant) {
  namespace fs = std::filesystem;
  const fs::path p(given);
  if (fs::exists(p) || p.is_absolute()) return fs::absolute(p).lexically_normal();
  const fs::path folder = ExecutableFolder() / "EnginesTest" / VariantTable[variant].Name;
  if (!ExecutableFolder().empty() && fs::exists(folder / p)) return (folder / p).lexically_normal();
  throw std::runtime_error("engine description \"" + given +
                           "\" not found (looked in the working folder and in " + folder.string() + ")");
}

bool ChooseBookMove(const TOpeningBook& book, const TGame& game, TRandom& rng, TMove& move) {
  if (!book.IsOpen()) return false;
  const TGameParams& p = game.Params;
  const int plies =
      game.Header.NumerationFrom + 1 + LinePlies(game) + (game.Header.FirstMove == TDColor::black ? 1 : 0);
  if (PiecesOnBoard(game.CurBoard, p) < kBookMinPieces || plies / 2 > kBookLastMove) return false;
  auto moves = std::make_unique<TOpenMoves>();
  book.Lookup(p, *moves, game.CurBoard, static_cast<int>(game.SideToMove));
  const int n = moves->Op_moves;
  if (n == 0) return false;
  // The good moves that lead the list; a playable first move when there is
  // no good one.
  int c = 0;
  while (c < n && moves->openmoves[c + 1].col > 2) ++c;
  if (c == 0 && moves->openmoves[1].col == 2) c = 1;
  if (c == 0) return false;
  const TOpenMove& chosen = moves->openmoves[1 + rng.Below(static_cast<uint32_t>(c))];
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(game.CurBoard, static_cast<int>(game.SideToMove), list, count, p, true);
  if (chosen.num < 1 || chosen.num > count) return false;
  move = list[chosen.num];
  return true;
}

TEngineCall::TEngineCall(TEngine& engine, const TGame& game, int64_t timeCs, bool computeAlways,
                         int fastplay) {
  thread_ = std::thread([this, &engine, &game, timeCs, computeAlways, fastplay] {
    try {
      chosen_ = engine.LetOpponentMove40(game, timeCs, best_, computeAlways, fastplay);
    } catch (const std::exception& e) {
      error_ = e.what();
    } catch (...) {
      error_ = "unknown failure";
    }
    done_ = true;
  });
}

TEngineCall::~TEngineCall() {
  if (thread_.joinable()) thread_.join();
}

bool TEngineCall::Finish(TMove& best, std::string& error) {
  if (thread_.joinable()) thread_.join();
  error = error_;
  if (!error_.empty() || !chosen_) return false;
  best = best_;
  return true;
}

TEnginePlayer::TEnginePlayer(const TEnginePlayerOptions& options) : options_(options), rng_(options.seed) {
  engine_ = std::make_unique<TEngine>(&info_, &stop_, options.hashMb);
  if (!engine_->LoadFromFile(options.file, options.variant))
    throw std::runtime_error("engine description \"" + options.file.string() + "\" not found");
  engine_->ThreadsCount = options.threads;
  engine_->AnalysisMode = false;
  if (!options.edFolder.empty()) engine_->SetEDFolder(options.edFolder);
  if (!options.book.empty() && !engine_->OpenBook(options.book))
    throw std::runtime_error("cannot open the opening book \"" + options.book + "\"");
  label_ = options.label.empty() ? options.file.stem().string() : options.label;
}

TEnginePlayer::~TEnginePlayer() = default;

TPlayerReply TEnginePlayer::StartGame(const TGame&, TDColor, const TGameClock&) { return TPlayerReply::Ok(); }

TPlayerReply TEnginePlayer::Think(const TGame& game, const TGameClock& clock,
                                  const TInterruptCheck& interrupted) {
  const auto started = std::chrono::steady_clock::now();
  TPlayerReply reply;
  if (engine_->UseBook() && ChooseBookMove(engine_->OpeningBook(), game, rng_, reply.move)) {
    reply.kind = TPlayerReply::Kind::Move;
    reply.message = "book move";
    return reply;
  }
  const int64_t budgetCs =
      options_.nodes > 0 ? kNodeBudgetTimeCs : std::max<int64_t>(1, clock.BudgetMs(game.SideToMove) / 10);
  TEngineCall call(*engine_, game, budgetCs, false, options_.nodes);
  bool cut = false;
  while (!call.Done()) {
    // The engine clears its flag when its call starts: raising it again on
    // every round keeps an early stop from being lost.
    if (!cut && interrupted && interrupted()) cut = true;
    if (cut) stop_ = true;
    std::this_thread::sleep_for(kPollInterval);
  }
  TMove best;
  std::string error;
  const bool chosen = call.Finish(best, error);
  if (cut) return TPlayerReply::Of(TPlayerReply::Kind::Interrupted);
  if (!error.empty()) return TPlayerReply::Of(TPlayerReply::Kind::Failed, label_ + " failed: " + error);
  if (!chosen) return TPlayerReply::Of(TPlayerReply::Kind::Failed, label_ + " gave no move");
  reply.kind = TPlayerReply::Kind::Move;
  reply.move = best;
  reply.usedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
          .count();
  return reply;
}

}  // namespace quorlin

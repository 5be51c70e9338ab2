#include "app/hubsession.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "app/engineplayer.h"
#include "app/wiremove.h"
#include "engine/book.h"
#include "rules/movegen.h"

namespace quorlin {

namespace {

// Time given to a search that only a stop, a depth or a node count ends
// (about eleven and a half days, in centiseconds).
constexpr int64_t kNoTimeLimitCs = 100000000;
// How often the search thread looks at the engine, and how often it may print.
constexpr auto kMonitorInterval = std::chrono::milliseconds(10);
constexpr int64_t kInfoIntervalMs = 100;
// A move's share of the game time: moves assumed left when the interface
// gives no count, and two in reserve.
constexpr int kHubMovesLeftWithoutCount = 40;
constexpr int kHubReserveMoves = 2;
// Kept back from a fixed time per move for the answer to reach the interface.
constexpr int64_t kMoveTimeMarginMs = 20;
constexpr int64_t kMinBudgetMs = 10;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Fixed(double x, int decimals) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", decimals, x + 0.0);
  return b;
}

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

}  // namespace

THubSession::THubSession(THubSessionOptions options, TWriter write)
    : options_(std::move(options)),
      write_(std::move(write)),
      threads_(options_.threads),
      hashMb_(options_.hashMb),
      book_(options_.book),
      edFolder_(options_.edFolder) {
  ClearGame(game_);
}

THubSession::~THubSession() { StopAndWait(); }

void THubSession::Write(const THubLine& line) {
  std::lock_guard<std::mutex> g(writeLock_);
  write_(FormatHubLine(line));
}

void THubSession::Error(const std::string& message) { Write(HubLine("error", {{"message", message}})); }

void THubSession::Announce() {
  Write(HubLine("id",
                {{"name", kHubProgramName}, {"version", kHubProgramVersion}, {"author", kHubProgramAuthor}}));
  Write(HubLine("param", {{"name", "variant"},
                          {"value", HubVariantName(variant_)},
                          {"type", "enum"},
                          {"values", "normal killer frisian"}}));
  Write(HubLine("param", {{"name", "threads"},
                          {"value", std::to_string(threads_)},
                          {"type", "int"},
                          {"min", "1"},
                          {"max", "64"}}));
  Write(HubLine("param", {{"name", "hash"},
                          {"value", std::to_string(hashMb_)},
                          {"type", "int"},
                          {"min", "1"},
                          {"max", "4096"}}));
  Write(HubLine("param", {{"name", "book"}, {"value", book_}, {"type", "string"}}));
  Write(HubLine("param", {{"name", "ed-folder"}, {"value", edFolder_}, {"type", "string"}}));
  Write(HubLine("wait"));
}

void THubSession::SetParam(const THubLine& line) {
  const auto name = line.Get("name");
  const auto value = line.Get("value");
  if (!name || !value) {
    Error("set-param needs name=... and value=...");
    return;
  }
  auto whole = [&](int min, int max, int& out) {
    bool ok = !value->empty() && value->size() < 10;
    for (char c : *value) ok = ok && c >= '0' && c <= '9';
    if (!ok || std::stoi(*value) < min || std::stoi(*value) > max) {
      Error("set-param " + *name + ": \"" + *value + "\" is not a whole number " + std::to_string(min) +
            ".." + std::to_string(max));
      return;
    }
    out = std::stoi(*value);
    dirty_ = true;
  };
  if (*name == "variant") {
    const int slot = HubVariantSlot(*value);
    if (slot == 0) {
      Error("variant \"" + *value + "\" is not played by this engine (normal, killer or frisian)");
      return;
    }
    if (slot != variant_) havePosition_ = false;
    variant_ = slot;
    dirty_ = true;
  } else if (*name == "threads") {
    whole(1, 64, threads_);
  } else if (*name == "hash") {
    whole(1, 4096, hashMb_);
  } else if (*name == "book") {
    book_ = *value;
    dirty_ = true;
  } else if (*name == "ed-folder") {
    edFolder_ = *value;
    dirty_ = true;
  }
  // Other parameters are not ours; they are ignored.
}

bool THubSession::EnsureEngine() {
  if (!dirty_ && engine_) return true;
  engine_.reset();
  const std::filesystem::path file =
      options_.engineFor ? options_.engineFor(variant_) : std::filesystem::path{};
  if (file.empty()) {
    Error("no engine description for variant " + HubVariantName(variant_));
    return false;
  }
  try {
    auto engine = std::make_unique<TEngine>(&info_, &stop_, hashMb_);
    if (!engine->LoadFromFile(file, variant_)) {
      Error("engine description \"" + file.string() + "\" not found");
      return false;
    }
    engine->ThreadsCount = threads_;
    engine->SetEDFolder(edFolder_);
    // What goes wrong inside a search reaches the interface.
    engine->SetLog([this](const std::string& text) { Error(text); });
    baseEvf_ = engine->EvalFunc();
    engine_ = std::move(engine);
  } catch (const std::exception& e) {
    Error(std::string("cannot load the engine: ") + e.what());
    return false;
  }
  if (!book_.empty() && variant_ == kInternational) {
    if (!engine_->OpenBook(book_))
      Error("opening book \"" + book_ + "\" cannot be opened");
    else if (!engine_->UseBook())
      Error("the engine description does not use a book (UseBook is off); the book is not used");
  }
  dirty_ = false;
  return true;
}

void THubSession::SetPosition(const THubLine& line) {
  havePosition_ = false;
  const auto pos = line.Get("pos");
  if (!pos) {
    Error("pos needs pos=...");
    return;
  }
  const TGameParams& p = VariantTable[variant_];
  TGame g;
  ClearGame(g);
  g.Params = p;
  g.Header.TypeOfGame = static_cast<uint8_t>(variant_);
  TDColor side = TDColor::white;
  std::string error;
  if (!ParseHubPosition(*pos, p, g.CurBoard, side, error)) {
    Error(error);
    return;
  }
  g.StartBoard = g.CurBoard.b;
  g.SideToMove = side;
  g.Header.FirstMove = side;
  if (const auto moves = line.Get("moves")) {
    std::string text = *moves;
    size_t at = 0;
    int n = 0;
    while (at < text.size()) {
      const size_t end = std::min(text.find(' ', at), text.size());
      const std::string token = text.substr(at, end - at);
      at = end + 1;
      if (token.empty()) continue;
      ++n;
      TWireMove w;
      if (!ParseWireMoveText(token, w, error)) {
        Error("pos: move " + std::to_string(n) + ": " + error);
        return;
      }
      const TWireMatch m = MatchWireMove(w, g.CurBoard, g.SideToMove, p);
      if (m.kind != TWireMatchKind::Found) {
        Error("pos: move " + std::to_string(n) + ": " + WireMatchProblem(m, w, p));
        return;
      }
      const int node = AddMove(g, m.move, g.CurMovPos);
      if (node == 0) {
        Error("pos: too many moves");
        return;
      }
      g.CurMovPos = node;
      ApplyMove(g.Moves[node], g.CurBoard, p);
      g.SideToMove = Other(g.SideToMove);
    }
  }
  game_ = std::move(g);
  havePosition_ = true;
}

int64_t THubSession::ThinkBudgetMs() const {
  if (level_.moveTime > 0)
    return std::max<int64_t>(kMinBudgetMs, static_cast<int64_t>(level_.moveTime * 1000) - kMoveTimeMarginMs);
  if (level_.time >= 0) {
    const int movesLeft = level_.moves > 0 ? level_.moves : kHubMovesLeftWithoutCount;
    const double share = level_.time / (movesLeft + kHubReserveMoves) + level_.increment;
    const double cap = level_.time / 2;
    return std::max<int64_t>(kMinBudgetMs, static_cast<int64_t>(std::min(share, cap) * 1000));
  }
  return 0;  // depth, nodes or infinite: no clock
}

void THubSession::Go(const THubLine& line) {
  TGoMode mode = TGoMode::Think;
  if (line.Has("ponder")) mode = TGoMode::Ponder;
  if (line.Has("analyze") || line.Has("analyse")) mode = TGoMode::Analyze;
  auto answerNothing = [&](const std::string& why) {
    Error(why);
    Write(HubLine("done"));
  };
  if (!havePosition_) return answerNothing("go without a valid position (send pos first)");
  if (!EnsureEngine()) return answerNothing("no engine to search with");

  if (mode == TGoMode::Think && !book_.empty() && engine_->UseBook()) {
    TMove bookMove;
    if (ChooseBookMove(engine_->OpeningBook(), game_, rng_, bookMove)) {
      Write(HubLine("done", {{"move", WireMoveText(ToWireMove(bookMove, game_.Params))}}));
      return;
    }
  }

  TEvalFunc evf = baseEvf_;
  if (level_.depth > 0) evf.MaxDepth = level_.depth;
  engine_->SetEvf(evf);
  engine_->ThreadsCount = threads_;
  engine_->AnalysisMode = mode != TGoMode::Think;
  const int64_t budget = mode == TGoMode::Think && !level_.infinite ? ThinkBudgetMs() : 0;
  const int64_t budgetForAnalysis =
      mode == TGoMode::Analyze && !level_.infinite && level_.moveTime > 0 ? ThinkBudgetMs() : 0;
  stopRequested_ = false;
  pondering_ = mode == TGoMode::Ponder;
  deadlineMs_ = 0;
  searchStartMs_ = NowMs();
  searching_ = true;
  search_ = std::thread(&THubSession::SearchThread, this, mode,
                        mode == TGoMode::Analyze ? budgetForAnalysis : budget, level_.nodes, game_);
}

void THubSession::SearchThread(TGoMode mode, int64_t budgetMs, int64_t fastplay, TGame game) {
  const int64_t timeCs = budgetMs > 0 ? std::max<int64_t>(1, budgetMs / 10) : kNoTimeLimitCs;
  const int nodes = static_cast<int>(std::min<int64_t>(fastplay, INT32_MAX));
  TEngineCall call(*engine_, game, timeCs, mode == TGoMode::Analyze, nodes);
  std::string lastShown;
  int64_t lastInfo = 0;
  while (!call.Done()) {
    std::this_thread::sleep_for(kMonitorInterval);
    const int64_t now = NowMs();
    const int64_t deadline = deadlineMs_.load();
    // The engine clears its flag when its call starts: raising it on every
    // round keeps an early stop from being lost.
    if (stopRequested_.load() || (deadline > 0 && now >= deadline)) stop_ = true;
    if (now - lastInfo >= kInfoIntervalMs) {
      PublishInfo(lastShown, false);
      lastInfo = now;
    }
  }
  TMove best;
  std::string error;
  const bool chosen = call.Finish(best, error);
  PublishInfo(lastShown, true);
  // A ponder search that ended by itself (a depth or node limit) keeps its
  // answer until the interface confirms the move or stops it.
  while (pondering_.load() && !stopRequested_.load()) std::this_thread::sleep_for(kMonitorInterval);
  if (!error.empty()) Error("search failed: " + error);
  THubLine doneLine = HubLine("done");
  if (chosen) {
    doneLine.args.push_back({"move", WireMoveText(ToWireMove(best, game.Params)), false});
    TPV pv;
    {
      std::lock_guard<std::mutex> g(info_.Used);
      if (info_.TotalMoves > 0) pv = info_.Moves[info_.Sort[1]].PV;
    }
    if (pv.Length >= 2 && pv.Mvs[1].From() == best.From() && pv.Mvs[1].To() == best.To() &&
        SameCapture(pv.Mvs[1], best))
      doneLine.args.push_back({"ponder", WireMoveText(ToWireMove(pv.Mvs[2], game.Params)), false});
  }
  // The search is over before the interface hears so: a command that follows
  // `done` at once is not taken for one that came during the search.
  pondering_ = false;
  searching_ = false;
  Write(doneLine);
}

std::string THubSession::PvText(const TPV& pv) const {
  std::string s;
  for (int i = 1; i <= pv.Length; ++i) {
    if (!s.empty()) s += ' ';
    s += WireMoveText(ToWireMove(pv.Mvs[i], game_.Params));
  }
  return s;
}

void THubSession::PublishInfo(std::string& lastShown, bool force) {
  int depth = 0, meanDepth10 = 0;
  TEval eval;
  TPV pv;
  {
    std::lock_guard<std::mutex> g(info_.Used);
    if (!info_.Updated && !force) return;
    info_.Updated = false;
    if (info_.TotalMoves == 0) return;
    const TRootMove& best = info_.Moves[info_.Sort[1]];
    // Nothing worth showing before the best root move has finished a pass.
    if (best.Eval.min <= -2000 && best.Eval.max >= 2000) return;
    depth = best.depth;
    meanDepth10 = info_.Depth;
    eval = info_.Eval;
    pv = best.PV;
  }
  const std::string shown = std::to_string(depth) + " " + Fixed(eval.min, 2) + " " + PvText(pv);
  if (shown == lastShown) return;
  lastShown = shown;
  const int64_t nodes = engine_->PstCnt();
  const double seconds = std::max<int64_t>(1, NowMs() - searchStartMs_) / 1000.0;
  Write(HubLine("info", {{"depth", std::to_string(depth)},
                         {"mean-depth", Fixed(meanDepth10 / 10.0, 1)},
                         {"score", Fixed(eval.min, 2)},
                         {"nodes", std::to_string(nodes)},
                         {"time", Fixed(seconds, 2)},
                         {"nps", Fixed(nodes / seconds / 1e6, 2)},
                         {"pv", PvText(pv)}}));
}

void THubSession::StopAndWait() {
  if (search_.joinable()) {
    stopRequested_ = true;
    search_.join();
  }
  searching_ = false;
}

void THubSession::Finish() { StopAndWait(); }

bool THubSession::HandleLine(const std::string& text) {
  THubLine line;
  std::string error;
  if (!ParseHubLine(text, line, error)) {
    Error(error);
    return true;
  }
  const std::string& c = line.command;
  if (c.empty()) return true;
  // While a search runs the interface may only stop it, ping, or confirm the
  // ponder move; anything else first ends the search (its done is sent).
  if (c == "ping") {
    Write(HubLine("pong"));
    return true;
  }
  if (c == "stop") {
    if (search_.joinable()) StopAndWait();
    return true;
  }
  if (c == "ponder-hit") {
    if (searching_.load() && pondering_.load() && engine_) {
      const int64_t budget = ThinkBudgetMs();
      engine_->AnalysisMode = false;
      if (budget > 0) deadlineMs_ = NowMs() + budget;
      pondering_ = false;
    }
    return true;
  }
  if (search_.joinable()) {
    if (searching_.load() && c != "quit") Error("\"" + c + "\" during a search: the search is stopped first");
    StopAndWait();
  }
  if (c == "hub") {
    Announce();
  } else if (c == "set-param") {
    SetParam(line);
  } else if (c == "init") {
    EnsureEngine();
    Write(HubLine("ready"));
  } else if (c == "new-game") {
    // Every search starts from an empty table; nothing else carries over.
    havePosition_ = false;
  } else if (c == "pos") {
    SetPosition(line);
  } else if (c == "level") {
    THubLevel level;
    if (ParseHubLevel(line, level, error))
      level_ = level;
    else
      Error(error);
  } else if (c == "go") {
    Go(line);
  } else if (c == "quit") {
    return false;
  }
  // Unknown commands are ignored, as the protocol asks.
  return true;
}

}  // namespace quorlin

// The 25 ms timer tick of the application object: the one place where what
// other threads did reaches the window.
#include "app/application.h"
#include "app/settings.h"
#include "app/translations.h"

namespace quorlin {

namespace {

// Copies what an engine published (everything but the display's own fields:
// PrintInfo and the book list) for the window. Both records are locked by the
// caller.
void CopyPublished(const TAnalysisInfo& src, TAnalysisInfo& dst) {
  dst.EngineNm = src.EngineNm;
  dst.DepthStr = src.DepthStr;
  dst.Speed = src.Speed;
  dst.PV = src.PV;
  dst.Time = src.Time;
  dst.Edb = src.Edb;
  dst.PonderMove = src.PonderMove;
  dst.Info = src.Info;
  dst.Details = src.Details;
  dst.Depth = src.Depth;
  dst.CurrentGamePos = src.CurrentGamePos;
  dst.Eval = src.Eval;
  dst.IsPonder = src.IsPonder;
  dst.AnalyseAll = src.AnalyseAll;
  dst.ComputeAlways = src.ComputeAlways;
  dst.TotalMoves = src.TotalMoves;
  dst.fastplay = src.fastplay;
  for (int i = 1; i <= src.TotalMoves; ++i) {
    dst.moves1[i] = src.moves1[i];
    dst.Sort[i] = src.Sort[i];
    const TRootMove& s = src.Moves[i];
    TRootMove& d = dst.Moves[i];
    d.depth = s.depth;
    d.PVs = s.PVs;
    d.Eval = s.Eval;
    d.CurEval = s.CurEval;
    d.Guess = s.Guess;
    d.analysing = s.analysing;
    d.skip = s.skip;
    d.PV.Length = s.PV.Length;
    for (int k = 1; k <= s.PV.Length && k < static_cast<int>(s.PV.Mvs.size()); ++k) d.PV.Mvs[k] = s.PV.Mvs[k];
  }
}

}  // namespace

TTickReport TApplication::Tick() {
  TTickReport report;
  if (ticking_.exchange(true)) return report;
  struct TTickDone {
    std::atomic<bool>& flag;
    ~TTickDone() { flag = false; }
  } done{ticking_};
  ReassertStop();

  if (autoplay_.load() && ++autoplayCount_ >= kAutoplayTicks) {
    autoplayCount_ = 0;
    report.Autoplay = StepForward();
  }
  if (boardRedraw_.exchange(false)) {
    report.RedrawBoard = true;
    report.BoardMark = boardMark_.exchange(false) && Settings.Highlightmoves.load();
  }
  ChargeClock(report);
  RefreshClockTexts(report);
  const uint32_t bits = panelBits_.exchange(0);
  report.RebuildMoveList = (bits & kPanelMoveList) != 0;
  report.RepaintPanel = report.RepaintPanel || bits != 0;
  {
    std::lock_guard<std::mutex> g(messageLock_);
    for (auto& [text, silent] : messages_) (silent ? report.SilentMessages : report.Messages).push_back(text);
    messages_.clear();
  }
  CopyEngineOutput(report);
  report.PlayMoveSound = moveSound_.exchange(false);
  report.LayoutChanged = layoutChanged_.exchange(false);
  return report;
}

void TApplication::ChargeClock(TTickReport& report) {
  TDColor side = TDColor::white;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    side = CurrentGame.SideToMove;
  }
  bool timeOut = false;
  {
    std::lock_guard<std::mutex> g(clockLock_);
    const int64_t now = Now();
    const int64_t elapsed = now - lastUpdate_;
    lastUpdate_ = now;
    // Only play mode charges time; time spent in analysis mode counts for nobody.
    if (!clockRunning_ || Mode() != TPlayMode::Play) return;
    if (quorlin::ChargeClock(Clock, side, elapsed)) {
      clockRunning_ = false;
      timeOut = true;
    }
  }
  if (!timeOut) return;
  bool decided = false;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (CurrentGame.Header.Result == kResultNone) {
      CurrentGame.Header.Result = side == TDColor::black ? kResultWhiteWinTime : kResultBlackWinTime;
      decided = true;
    }
  }
  if (!decided) return;
  RequestPanel(kPanelMoveList);
  report.Messages.push_back(Translate("Time!"));
  UpdateRating();
}

void TApplication::RefreshClockTexts(TTickReport& report) {
  std::lock_guard<std::mutex> g(clockLock_);
  const std::string white = ClockText(Clock.TimeElapsed[0]);
  const std::string black = ClockText(Clock.TimeElapsed[1]);
  const std::string shown = white + " " + black;
  if (shown == shownClocks_) return;
  shownClocks_ = shown;
  Clock.WhitePrint = white;
  Clock.BlackPrint = black;
  report.RepaintPanel = true;
}

void TApplication::CopyEngineOutput(TTickReport& report) {
  TAnalysisInfo& src = Mode() == TPlayMode::Play ? playInfo_ : analysisInfo_;
  std::lock_guard<std::mutex> g(src.Used);
  if (!src.Updated) return;
  src.Updated = false;
  report.BookMovesChanged = src.Openmoves.update;
  src.Openmoves.update = false;
  std::lock_guard<std::mutex> d(engineOutput_->Used);
  CopyPublished(src, *engineOutput_);
  report.EngineOutputChanged = true;
  report.RepaintPanel = true;
}

}  // namespace quorlin

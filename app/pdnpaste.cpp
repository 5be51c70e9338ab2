#include "app/pdnpaste.h"

#include "app/gamenavigation.h"
#include "games/pdnreader.h"

namespace quorlin {

namespace {

// The reader leaves "* " + token + " " + unread text in the comment after the
// node where it stopped: that node and the token.
bool FindStop(const TGame& before, const TGame& after, int& node, std::string& token) {
  for (int n = 0; n < static_cast<int>(after.Comments.size()); ++n) {
    const std::string& now = after.Comments[n].CommentAft;
    const std::string was = n < static_cast<int>(before.Comments.size()) && n < static_cast<int>(before.Moves.size()) &&
                                    !before.Moves[n].free
                                ? before.Comments[n].CommentAft
                                : std::string();
    if (now.size() <= was.size() || now.compare(0, was.size(), was) != 0) continue;
    const std::string added = now.substr(was.size());
    if (added.rfind("* ", 0) != 0) continue;
    node = n;
    token = added.substr(2, added.find(' ', 2) == std::string::npos ? std::string::npos : added.find(' ', 2) - 2);
    return true;
  }
  return false;
}

}  // namespace

TPdnPaste PastePdn(TGame& game, const std::string& clipboard, std::string& error) {
  std::string text = clipboard;
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  if (text.find_first_not_of(' ') == std::string::npos) return TPdnPaste::Nothing;
  TGame copy = game;
  bool stopped = false;
  ReadMoveText(text, copy, stopped);
  if (stopped) {
    int node = 0;
    std::string token;
    if (FindStop(game, copy, node, token)) {
      const int ply = NodeDepth(copy, node);
      error = "Paste PDN: \"" + token + "\" is not a legal move at move " + std::to_string(ply / 2 + 1) +
              "; nothing was pasted.";
    } else {
      error = "Paste PDN: the text cannot be read as moves; nothing was pasted.";
    }
    return TPdnPaste::Refused;
  }
  copy.Modified = true;
  game = std::move(copy);
  return TPdnPaste::Added;
}

}  // namespace quorlin

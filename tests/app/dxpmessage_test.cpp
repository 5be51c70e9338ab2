// DXP message texts: real messages of each type read and written back, and
// malformed ones refused with the field that is wrong.
#include "app/dxpmessage.h"

#include <gtest/gtest.h>

#include "app/wiremove.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

std::string Padded(const std::string& name) { return name + std::string(32 - name.size(), ' '); }

const std::string kStartSquares = std::string(20, 'z') + std::string(10, 'e') + std::string(20, 'w');

struct GoodCase {
  const char* label;
  std::string text;
  TDxpMessage message;
};

class DxpGoodMessage : public testing::TestWithParam<GoodCase> {};

TEST_P(DxpGoodMessage, ReadsAndWritesBack) {
  const GoodCase& c = GetParam();
  TDxpMessage m;
  std::string error;
  ASSERT_TRUE(DecodeDxp(c.text, m, error)) << error;
  EXPECT_EQ(m, c.message);
  EXPECT_EQ(EncodeDxp(m), c.text);
  EXPECT_EQ(DxpType(m), c.text[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DxpGoodMessage,
    testing::Values(GoodCase{"RequestStandard", "R01" + Padded("Scan 2.0") + "Z005075A",
                             TDxpGameRequest{1, "Scan 2.0", 'Z', 5, 75, false, 'W', ""}},
                    GoodCase{"RequestSetUp", "R01" + Padded("Quorlin") + "W001000BZ" + kStartSquares,
                             TDxpGameRequest{1, "Quorlin", 'W', 1, 0, true, 'Z', kStartSquares}},
                    GoodCase{"Accept", "A" + Padded("Moby Dam (Dec 10 2025)") + "0",
                             TDxpGameAccept{"Moby Dam (Dec 10 2025)", '0'}},
                    GoodCase{"Refusal", "A" + Padded("") + "2", TDxpGameAccept{"", '2'}},
                    GoodCase{"QuietMove", "M0012322800", TDxpMove{12, 32, 28, {}}},
                    GoodCase{"Capture",
                             "M0003281901"
                             "23",
                             TDxpMove{3, 28, 19, {23}}},
                    GoodCase{"LongCapture",
                             "M0000161603"
                             "291311",
                             TDxpMove{0, 16, 16, {29, 13, 11}}},
                    GoodCase{"EndDraw", "E20", TDxpGameEnd{'2', '0'}},
                    GoodCase{"EndUnknownStop", "E01", TDxpGameEnd{'0', '1'}},
                    GoodCase{"Chat", "Cgame ended (75 moves played, unknown result)",
                             TDxpChat{"game ended (75 moves played, unknown result)"}},
                    GoodCase{"EmptyChat", "C", TDxpChat{""}},
                    GoodCase{"BackRequest", "B012W", TDxpBackRequest{12, 'W'}},
                    GoodCase{"BackAnswer", "K0", TDxpBackAccept{'0'}}),
    [](const testing::TestParamInfo<GoodCase>& i) { return std::string(i.param.label); });

struct BadCase {
  const char* label;
  std::string text;
  const char* error;  // part of the message
};

class DxpBadMessage : public testing::TestWithParam<BadCase> {};

TEST_P(DxpBadMessage, IsRefusedWithTheField) {
  const BadCase& c = GetParam();
  TDxpMessage m = TDxpChat{"unchanged"};
  std::string error;
  EXPECT_FALSE(DecodeDxp(c.text, m, error));
  EXPECT_NE(error.find(c.error), std::string::npos) << error;
  EXPECT_EQ(m, TDxpMessage(TDxpChat{"unchanged"}));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DxpBadMessage,
    testing::Values(
        BadCase{"Empty", "", "empty message"}, BadCase{"UnknownType", "X12", "unknown message type 'X'"},
        BadCase{"ShortRequest", "R01Scan", "initiator name is missing"},
        BadCase{"RequestColour", "R01" + Padded("a") + "X005075A", "follower colour 'X'"},
        BadCase{"RequestTime", "R01" + Padded("a") + "W0x5075A", "thinking time \"0x5\""},
        BadCase{"RequestStart", "R01" + Padded("a") + "W005075C", "start position 'C'"},
        BadCase{"RequestShortPosition", "R01" + Padded("a") + "W005075BW" + std::string(49, 'e'),
                "position is missing"},
        BadCase{"RequestBadSquare",
                "R01" + Padded("a") + "W005075BW" + std::string(9, 'e') + "b" + std::string(40, 'e'),
                "square 10 holds 'b'"},
        BadCase{"RequestTrailing", "R01" + Padded("a") + "W005075Ax", "1 characters more"},
        BadCase{"AcceptCode", "A" + Padded("a") + "x", "acceptance code 'x'"},
        BadCase{"AcceptShort", "A" + std::string(32, ' '), "acceptance code is missing"},
        BadCase{"MoveFromZero", "M0001002800", "from square 00"},
        BadCase{"MoveTo51", "M0001325100", "to square 51"},
        BadCase{"MoveLetters", "M00a1322800", "time \"00a1\""},
        BadCase{"MoveCapturedMissing", "M000128190223", "captured square is missing"},
        BadCase{"MoveCapturedHalf", "M00012819012", "captured square is missing"},
        BadCase{"MoveTooManyCaptures", "M0001281921", "number of captured pieces 21"},
        BadCase{"MoveTrailing", "M00012819012300", "2 characters more"},
        BadCase{"MoveCapturedTwice",
                "M000128190223"
                "23",
                "captured square 23 is listed twice"},
        BadCase{"EndReason", "E40", "reason '4'"}, BadCase{"EndStop", "E22", "stop code '2'"},
        BadCase{"EndShort", "E2", "stop code is missing"},
        BadCase{"BackNumber", "B0x2W", "move number \"0x2\""},
        BadCase{"BackSide", "B012B", "side to move 'B'"}, BadCase{"BackZero", "B000W", "move number 000"},
        BadCase{"AnswerShort", "K", "acceptance code is missing"}),
    [](const testing::TestParamInfo<BadCase>& i) { return std::string(i.param.label); });

TEST(DxpMessage, WritingClampsWhatDoesNotFit) {
  // A long name is cut, a NUL or line break in a chat cannot reach the wire,
  // numbers stay in their width.
  EXPECT_EQ(EncodeDxp(TDxpGameAccept{std::string(40, 'n'), '0'}), "A" + std::string(32, 'n') + "0");
  EXPECT_EQ(EncodeDxp(TDxpChat{std::string("a\0b\nc", 5)}), "Ca?b?c");
  EXPECT_EQ(EncodeDxp(TDxpMove{12345, 32, 28, {}}), "M9999322800");
  EXPECT_EQ(EncodeDxp(TDxpGameEnd{'7', '5'}), "E00");
}

TEST(DxpMessage, RequestPositions) {
  const TGameParams& p = VariantTable[kInternational];
  // The standard start position goes as 'A', anything else as 'B'.
  TBoard start;
  start.b = StartPosition(p, false);
  TDxpGameRequest r;
  SetDxpRequestPosition(r, start, TDColor::white);
  EXPECT_FALSE(r.setup);
  TBoard board;
  TDColor side = TDColor::black;
  std::string error;
  ASSERT_TRUE(DxpRequestPosition(r, board, side, error)) << error;
  EXPECT_EQ(board, start);
  EXPECT_EQ(side, TDColor::white);

  SetDxpRequestPosition(r, start, TDColor::black);
  EXPECT_TRUE(r.setup);
  EXPECT_EQ(r.squares, kStartSquares);
  EXPECT_EQ(r.sideToMove, 'Z');

  TBoard endgame;
  endgame.b[InternalSquare(p, 1)] = kWhiteKing;
  endgame.b[InternalSquare(p, 28)] = kWhiteMan;
  endgame.b[InternalSquare(p, 50)] = kBlackKing;
  endgame.b[InternalSquare(p, 23)] = kBlackMan;
  SetDxpRequestPosition(r, endgame, TDColor::black);
  ASSERT_TRUE(r.setup);
  EXPECT_EQ(r.squares[0], 'W');
  EXPECT_EQ(r.squares[27], 'w');
  EXPECT_EQ(r.squares[49], 'Z');
  EXPECT_EQ(r.squares[22], 'z');
  TDxpMessage decoded;
  ASSERT_TRUE(DecodeDxp(EncodeDxp(r), decoded, error)) << error;
  ASSERT_TRUE(DxpRequestPosition(std::get<TDxpGameRequest>(decoded), board, side, error)) << error;
  EXPECT_EQ(board, endgame);
  EXPECT_EQ(side, TDColor::black);

  // A man on its own promotion row cannot be.
  r.squares[2] = 'w';
  EXPECT_FALSE(DxpRequestPosition(r, board, side, error));
  EXPECT_NE(error.find("white man on square 3"), std::string::npos) << error;
  r.squares[2] = 'e';
  r.squares[47] = 'z';
  EXPECT_FALSE(DxpRequestPosition(r, board, side, error));
  EXPECT_NE(error.find("black man on square 48"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorlin

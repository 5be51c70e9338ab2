#include "engine/network.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <thread>

#include "engine/evaluation.h"
#include "engine/textfile.h"
#include "rules/tables.h"
#include "test_support.h"

namespace quorlin {
namespace {

// A fully connected network with the given layer sizes; weights from `weight`.
MyTNNet MakeNet(std::vector<int> sizes, int netType, bool bias,
                const std::function<float(size_t layer, size_t neuron, size_t k)>& weight) {
  MyTNNet n;
  n.InputSize = sizes.front();
  n.OutPutSize = sizes.back();
  n.NetType = netType;
  n.IsBias = bias;
  n.NetInput.assign(n.InputSize, 0);
  n.NetOutput.assign(n.OutPutSize, 0);
  for (size_t l = 0; l < sizes.size(); ++l) {
    MyTNNLayer layer(sizes[l]);
    if (l > 0)
      for (size_t j = 0; j < layer.size(); ++j) {
        layer[j].weights.resize(sizes[l - 1]);
        for (size_t k = 0; k < layer[j].weights.size(); ++k) layer[j].weights[k] = weight(l, j, k);
        layer[j].inertia.assign(sizes[l - 1], 0);
      }
    n.Neurons.push_back(layer);
  }
  return n;
}

MyTNNet RandomNet(std::vector<int> sizes, int netType, bool bias, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> d(-0.5f, 0.5f);
  return MakeNet(sizes, netType, bias, [&](size_t, size_t, size_t) { return d(gen); });
}

TEST(NetFile, WriteThenReadGivesTheSameNetwork) {
  const auto dir = test::FreshDir("net");
  for (int type : {0, 1})
    for (bool bias : {false, true}) {
      const MyTNNet net = RandomNet({190, 16, 4, 1}, type, bias, 7 + type);
      SaveNet(dir / "n.mynn", net);
      MyTNNet back;
      LoadNet(dir / "n.mynn", back);
      EXPECT_EQ(back.InputSize, 190);
      EXPECT_EQ(back.OutPutSize, 1);
      EXPECT_EQ(back.NetType, type);
      EXPECT_EQ(back.IsBias, bias);
      EXPECT_EQ(back.NetInput.size(), 190u);
      EXPECT_EQ(back.NetOutput.size(), 1u);
      ASSERT_EQ(back.Neurons.size(), net.Neurons.size());
      for (size_t l = 0; l < net.Neurons.size(); ++l) {
        ASSERT_EQ(back.Neurons[l].size(), net.Neurons[l].size());
        for (size_t j = 0; j < net.Neurons[l].size(); ++j) {
          EXPECT_EQ(back.Neurons[l][j].weights, net.Neurons[l][j].weights);
          EXPECT_EQ(back.Neurons[l][j].inertia, std::vector<float>(net.Neurons[l][j].weights.size(), 0.0f));
        }
      }
      EXPECT_EQ(NetShapeProblem(back), "");
    }
  const std::string text = test::ReadFile(dir / "n.mynn");
  const std::string head = "190\r\n1\r\nReLu\r\nTrue\r\n4\r\n190\r\n0\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
}

TEST(NetFile, MalformedFilesAreRefusedWithFileAndLine) {
  struct Case {
    const char* name;
    const char* text;
    int line;
    const char* message;
  };
  // 2 inputs, 1 output: input layer of 2 neurons without weights, output neuron with 2 weights.
  const Case cases[] = {
      {"input layer of the wrong size", "2\n1\nReLu\nFalse\n2\n3\n0\n0\n0\n1\n3\n1\n1\n1\n", 6, "InputSize"},
      {"too few weights", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n1\n0.5\n", 10, "previous layer"},
      {"output layer of the wrong size", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n2\n2\n1\n1\n2\n1\n1\n", 9,
       "OutPutSize"},
      {"missing lines", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\n0.5\n", 10, "2 weights announced"},
      {"ends before the last layer", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n", 9, "ends early"},
      {"decimal comma", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\n0,5\n1\n", 11, "\"0,5\""},
      {"not a number", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\nabc\n1\n", 11, "\"abc\""},
      {"infinite weight", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\ninf\n1\n", 11, "\"inf\""},
      {"count not a number", "2x\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\n1\n1\n", 1, "\"2x\""},
      {"only one layer", "2\n2\nReLu\nFalse\n1\n2\n0\n0\n", 5, "at least 2"},
      {"bias not a Boolean", "2\n1\nReLu\nyes\n2\n2\n0\n0\n1\n2\n1\n1\n", 4, "True or False"},
      {"negative count", "2\n1\nReLu\nFalse\n2\n2\n0\n-1\n1\n2\n1\n1\n", 8, "at least 0"},
      {"text after the last layer", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\n1\n1\n7\n", 13,
       "after the last layer"},
      {"empty file", "", 1, "ends early"},
  };
  const auto dir = test::FreshDir("badnet");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir / "bad.mynn";
    test::WriteFile(path, c.text);
    MyTNNet net = RandomNet({3, 2, 1}, 1, false, 1);
    const MyTNNet before = net;
    try {
      LoadNet(path, net);
      ADD_FAILURE() << "accepted";
    } catch (const TFileError& e) {
      EXPECT_EQ(e.line(), c.line) << e.what();
      EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(net.InputSize, before.InputSize);
    EXPECT_EQ(net.Neurons[1][0].weights, before.Neurons[1][0].weights);
  }
  // The good variant of the same file loads, with CR LF line ends too.
  test::WriteFile(dir / "good.mynn",
                  "2\r\n1\r\nHyTan\r\nfalse\r\n2\r\n2\r\n0\r\n0\r\n1\r\n2\r\n0.5\r\n-1e-1\r\n\r\n");
  MyTNNet net;
  LoadNet(dir / "good.mynn", net);
  EXPECT_EQ(net.NetType, 0);
  EXPECT_EQ(net.Neurons[1][0].weights, (std::vector<float>{0.5f, -0.1f}));
}

TEST(NetForward, ComputesLayerByLayerWithBiasAndActivation) {
  // 3 inputs (the last is the bias), hidden 2 (the last is the bias), 1 output.
  MyTNNet net = MakeNet({3, 2, 1}, 1, true, [](size_t l, size_t j, size_t k) {
    if (l == 1) return j == 0 ? std::array<float, 3>{2, -1, 0.5f}[k] : 9.0f;
    return std::array<float, 2>{1.5f, -1}[k];
  });
  net.NetInput = {1, 3, 7};  // the 7 is replaced by the bias 1
  NetForward(net);
  // hidden 0 = relu(2·1 − 1·3 + 0.5·1) = 0; hidden 1 = bias 1; output = relu(0 − 1) = 0
  EXPECT_EQ(net.Neurons[0][2].value, 1);
  EXPECT_EQ(net.Neurons[1][0].value, 0);
  EXPECT_EQ(net.Neurons[1][1].value, 1);
  EXPECT_EQ(net.NetOutput[0], 0);
  net.NetInput = {2, 1, 0};  // hidden 0 = relu(4 − 1 + 0.5) = 3.5; output = relu(5.25 − 1)
  NetForward(net);
  EXPECT_FLOAT_EQ(net.NetOutput[0], 4.25f);

  // Hyperbolic tangent: sums beyond ±10 are limited to ±10.
  MyTNNet tanhNet = MakeNet({1, 1}, 0, false, [](size_t, size_t, size_t) { return 25.0f; });
  tanhNet.NetInput = {1};
  NetForward(tanhNet);
  EXPECT_FLOAT_EQ(tanhNet.NetOutput[0], std::tanh(10.0f));
  tanhNet.NetInput = {0.02f};
  NetForward(tanhNet);
  EXPECT_NEAR(tanhNet.NetOutput[0], std::tanh(0.5f), 1e-6);
  tanhNet.NetInput = {-1};
  NetForward(tanhNet);
  EXPECT_FLOAT_EQ(tanhNet.NetOutput[0], -std::tanh(10.0f));
}

TEST(NetForward, NetworksThatDoNotFitTogetherAreReadOnlyWithinBounds) {
  MyTNNet net = MakeNet({4, 3, 2}, 1, true, [](size_t, size_t, size_t) { return 1.0f; });
  net.Neurons[1][0].weights.resize(1);        // too short
  net.Neurons[2][1].weights.resize(9, 1.0f);  // too long
  net.InputSize = 6;                          // larger than the input layer
  net.OutPutSize = 5;                         // larger than the output layer
  net.NetInput = {1, 1};                      // shorter than InputSize
  EXPECT_NE(NetShapeProblem(net), "");
  NetForward(net);
  EXPECT_EQ(net.NetOutput.size(), 5u);
  EXPECT_EQ(NetEvaluate({1, 2, 0}, net), -9);  // equal first outputs: the first wins
  MyTNNet empty;
  NetForward(empty);
  EXPECT_EQ(NetEvaluate({1, 2, 0}, empty), 0);
}

// A network whose single output is 10 × (sum of the chosen inputs) under ReLu.
MyTNNet CountingNet(int inputs, const std::function<bool(size_t)>& chosen) {
  return MakeNet({inputs, 1}, 1, false, [&](size_t, size_t, size_t k) { return chosen(k) ? 0.1f : 0.0f; });
}

TEST(NetEvaluate, SetsOneInputPerPieceByTheBoardLayout) {
  struct Case {
    const char* name;
    int inputs;
    int square;  // square number of the layout
    bool own, king;
    int expectedInput;  // -1: no input
  };
  const Case cases[] = {
      {"32: own king", 120, 5, true, true, 4},
      {"32: opponent king", 120, 5, false, true, 36},
      {"32: own man", 120, 28, true, false, 91},
      {"32: own man on the last row", 120, 29, true, false, -1},
      {"32: opponent man", 120, 5, false, false, 92},
      {"32: opponent man on its last row", 120, 4, false, false, -1},
      {"40: own man on square 34", 150, 34, true, false, 113},
      {"40: own man on square 35", 150, 35, true, false, -1},
      {"40: opponent man on square 5", 150, 5, false, false, -1},
      {"40: opponent man on square 6", 150, 6, false, false, 115},
      {"50: own man", 190, 45, true, false, 144},
      {"50: opponent man", 190, 50, false, false, 189},
      {"50: opponent king", 190, 50, false, true, 99},
      {"64: own man", 216, 9, true, false, 128},
      {"64: own man on the first row", 216, 8, true, false, -1},
      {"64: opponent man", 216, 56, false, false, 223},  // beyond 216 inputs: nothing set
      {"64: opponent king", 216, 64, false, true, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int bit;
    switch (c.inputs) {
      case 120:
        bit = SquareToBit32[c.square];
        break;
      case 150:
        bit = SquareToBit40[c.square];
        break;
      case 190:
        bit = SquareToBit50[c.square];
        break;
      default:
        bit = c.square - 1;
    }
    const uint64_t m = uint64_t{1} << bit;
    // Own pieces are in w; a lone opponent piece still needs an own piece
    // elsewhere only for the evaluation, not for the network.
    const TBitBoard64 bd{c.own ? m : 0, c.own ? 0 : m, c.king ? m : 0};
    const float any = NetEvaluate(bd, CountingNet(c.inputs, [](size_t) { return true; }));
    const bool inRange = c.expectedInput >= 0 && c.expectedInput < c.inputs;
    EXPECT_FLOAT_EQ(any, inRange ? 1.0f : 0.0f);
    if (inRange) {
      EXPECT_FLOAT_EQ(
          NetEvaluate(bd, CountingNet(c.inputs, [&](size_t k) { return k == size_t(c.expectedInput); })),
          1.0f);
    }
  }
  // Input 114 of the 40-square layout is never set, even on a full board.
  const TBitBoard64 full{BitBoardMask40 & 0xFFFFFFFFFull, BitBoardMask40 & ~0xFFFFFFFFFull, 0};
  EXPECT_EQ(NetEvaluate(full, CountingNet(150, [](size_t k) { return k == 114; })), 0);
}

TEST(NetEvaluate, ThreeOutputsGiveLossDrawOrWin) {
  struct Case {
    std::array<float, 3> outputs;  // reached as relu of the bias input times the weight
    float expected;
  };
  for (const Case& c :
       {Case{{0.9f, 0.1f, 0.2f}, -9}, Case{{0.5f, 0.1f, 0.5f}, -9}, Case{{0.1f, 0.7f, 0.2f}, 0},
        Case{{0.1f, 0.2f, 0.7f}, 9}, Case{{0.3f, 0.7f, 0.7f}, 0}}) {
    MyTNNet net =
        MakeNet({120, 3}, 1, true, [&](size_t, size_t j, size_t k) { return k == 119 ? c.outputs[j] : 0; });
    EXPECT_EQ(NetEvaluate({1, 0, 0}, net), c.expected);
  }
}

TEST(NetEvaluate, Count64bit40MovesTheNetworkValueTowardsZeroByPly) {
  struct Case {
    float netValue;
    uint8_t dep;
    float expected;
  };
  for (const Case& c :
       {Case{2.5f, 10, 2.4f}, Case{-2.5f, 10, -2.4f}, Case{0, 10, -0.1f}, Case{2.5f, 0, 2.5f}}) {
    SCOPED_TRACE(c.netValue);
    TEvalFuncStatic f;
    f.UseNN = true;
    // One tanh output fed by the bias input only: value = 10 · tanh(atanh(v / 10)).
    f.Net = MakeNet({120, 1}, 0, true,
                    [&](size_t, size_t, size_t k) { return k == 119 ? std::atanh(c.netValue / 10) : 0.0f; });
    std::atomic<int64_t> counter{0};
    TEvalContext ctx{kRussian, false, &counter};
    EXPECT_NEAR(count64bit40({0x1, 0x2, 0}, c.dep, f, ctx), c.expected, 1e-5);
    // The network path skips the no-pieces test.
    EXPECT_NEAR(count64bit40({0, 0x2, 0}, c.dep, f, ctx), c.expected, 1e-5);
    EXPECT_EQ(counter, 2);
  }
}

TEST(NetEvaluate, SharedNetworkGivesTheSameValuesOnEveryThread) {
  const MyTNNet plain = RandomNet({190, 32, 8, 1}, 1, true, 3);
  MyTNNet net = plain;
  NetCompile(net);
  std::vector<TBitBoard64> boards;
  std::mt19937_64 gen(5);
  for (int i = 0; i < 200; ++i) {
    const uint64_t occ = gen() & BitBoardMask50, side = gen();
    boards.push_back({occ & side, occ & ~side, occ & gen() & gen()});
  }
  std::vector<float> expected;
  for (const auto& b : boards) expected.push_back(NetEvaluate(b, net));
  // The compiled columns give the same values to the last bit as the weights.
  for (size_t i = 0; i < boards.size(); ++i) ASSERT_EQ(NetEvaluate(boards[i], plain), expected[i]) << i;
  // Weights changed after compiling are not mixed with stale columns of another shape.
  MyTNNet grown = net;
  grown.Neurons[1].emplace_back();
  grown.Neurons[1].back().weights.assign(190, 1.0f);
  for (auto& neuron : grown.Neurons[2]) neuron.weights.push_back(0.0f);
  MyTNNet grownPlain = grown;
  grownPlain.Columns.clear();
  for (size_t i = 0; i < 20; ++i)
    EXPECT_EQ(NetEvaluate(boards[i], grown), NetEvaluate(boards[i], grownPlain));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round)
        for (size_t i = 0; i < boards.size(); ++i)
          if (NetEvaluate(boards[i], net) != expected[i]) ++mismatches;
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, 0);

  // And the same value as filling NetInput by hand and running NetForward.
  MyTNNet copy = net;
  const TBitBoard64 b = boards[0];
  std::fill(copy.NetInput.begin(), copy.NetInput.end(), 0.0f);
  for (int bit = 0; bit < 64; ++bit) {
    const uint64_t m = uint64_t{1} << bit;
    const int sq = BitToSquare50[bit];
    if (!sq || !((b.w | b.b) & m)) continue;
    const int i = sq - 1;
    if (b.k & m)
      copy.NetInput[(b.w & m) ? i : 50 + i] = 1;
    else if ((b.w & m) && i <= 44)
      copy.NetInput[100 + i] = 1;
    else if ((b.b & m) && i >= 5)
      copy.NetInput[140 + i] = 1;
  }
  NetForward(copy);
  EXPECT_EQ(copy.NetOutput[0] * 10, expected[0]);
}

}  // namespace
}  // namespace quorlin

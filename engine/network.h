#pragma once
// Small fully connected networks that score a position instead of weights:
// the network record, its .mynn text file, the forward pass, and the mapping
// from a 64-bit board to inputs and from outputs to a score.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "rules/board.h"

namespace quorlin {

using TInpArray = std::vector<float>;

struct MyTNeuron {
  std::vector<float> weights;  // one per neuron of the previous layer
  std::vector<float> inertia;  // training only; zero after loading
  float value = 0;             // the neuron's output
  float delta = 0;             // training only
};

using MyTNNLayer = std::vector<MyTNeuron>;

struct MyTNNet {
  TInpArray NetInput;   // InputSize entries
  TInpArray NetOutput;  // OutPutSize entries
  // Input neuron InputSize - 1 and the last neuron of every hidden layer are
  // held at 1.
  bool IsBias = false;
  std::vector<MyTNNLayer> Neurons;  // input layer first, output layer last
  int32_t NetType = 0;              // 1 = rectifier ("ReLu"), otherwise tanh ("HyTan")
  int32_t InputSize = 0;
  int32_t OutPutSize = 0;
  float LearningRate = 0;  // training only
  float Inertia = 0;       // training only
  // Derived by NetCompile for fast evaluation: per layer l >= 1 the weights by
  // source neuron, the weight from neuron k to neuron j at [k * size of l + j].
  std::vector<std::vector<float>> Columns;
};

// Reads a .mynn file. A file whose counts do not describe a consistent network
// (input layer of InputSize neurons, every weight list as long as the previous
// layer, output layer of OutPutSize neurons), a missing line or a bad number is
// refused with a TFileError naming the file and line; `net` is then unchanged.
void LoadNet(const std::filesystem::path& path, MyTNNet& net);

// Writes the network in the layout LoadNet reads (CR LF line ends). Throws
// TFileError when the file cannot be written.
void SaveNet(const std::filesystem::path& path, const MyTNNet& net);

// Empty when the layers fit together as LoadNet requires, else what is wrong.
std::string NetShapeProblem(const MyTNNet& net);

// Short description such as "190-64-16-1 ReLu bias".
std::string NetShapeText(const MyTNNet& net);

// Builds Columns from the weights; LoadNet calls it. A network whose weights
// change afterwards must be compiled again (until then NetEvaluate uses the
// weights directly as long as the shapes still agree).
void NetCompile(MyTNNet& net);

// Computes NetOutput (and every neuron's value) from NetInput. Parts of a
// network that do not fit together are skipped, never read out of bounds.
void NetForward(MyTNNet& net);

// Score of a position for the side to move, which is `w` of `bd`. Leaves the
// network untouched (scratch space is per thread), so engine threads may share
// one network.
float NetEvaluate(const TBitBoard64& bd, const MyTNNet& net);

}  // namespace quorlin

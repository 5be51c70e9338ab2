#include "engine/network.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "engine/textfile.h"
#include "rules/tables.h"

namespace quorlin {

namespace {

// Per-thread working space of the forward pass; grows once to the largest
// layer and is reused, so evaluation allocates nothing afterwards.
struct Scratch {
  std::vector<float> cur, next;
  std::vector<int> nonzero;
};

Scratch& ThreadScratch() {
  thread_local Scratch s;
  return s;
}

inline float Activate(int netType, float s) {
  if (netType == 1) return s > 0 ? s : 0;
  s = std::clamp(s, -10.0f, 10.0f);
  const float e = std::exp(-2 * s);
  return (1 - e) / (1 + e);
}

// Runs every layer after the input layer. On entry s.cur holds the input
// layer's values, on return the output layer's. `keep(layer, j, value)` sees
// every value computed. Only the non-zero values of the previous layer are
// multiplied: adding the skipped 0 × weight terms would not change the sum,
// because weights are finite.
template <class Keep>
void RunLayers(const MyTNNet& net, Scratch& s, Keep keep) {
  for (size_t l = 1; l < net.Neurons.size(); ++l) {
    const MyTNNLayer& layer = net.Neurons[l];
    s.nonzero.clear();
    for (size_t k = 0; k < s.cur.size(); ++k)
      if (s.cur[k] != 0) s.nonzero.push_back(static_cast<int>(k));
    s.next.assign(layer.size(), 0.0f);
    for (size_t j = 0; j < layer.size(); ++j) {
      const std::vector<float>& w = layer[j].weights;
      const size_t limit = std::min(w.size(), s.cur.size());
      float sum = 0;
      for (int k : s.nonzero) {
        if (static_cast<size_t>(k) >= limit) break;
        sum += s.cur[k] * w[k];
      }
      s.next[j] = Activate(net.NetType, sum);
    }
    if (net.IsBias && l + 1 < net.Neurons.size() && !s.next.empty()) s.next.back() = 1;
    for (size_t j = 0; j < s.next.size(); ++j) keep(l, j, s.next[j]);
    std::swap(s.cur, s.next);
  }
}

// True when Columns was built for layers of the present sizes.
bool Compiled(const MyTNNet& net) {
  if (net.Columns.size() != net.Neurons.size()) return false;
  for (size_t l = 1; l < net.Neurons.size(); ++l)
    if (net.Columns[l].size() != net.Neurons[l].size() * net.Neurons[l - 1].size()) return false;
  return true;
}

// RunLayers over Columns: each non-zero value of the previous layer is added
// into all neurons at once. Every neuron still sums its terms in the order of
// the source neurons, so the result is the same to the last bit.
void RunCompiledLayers(const MyTNNet& net, Scratch& s) {
  for (size_t l = 1; l < net.Neurons.size(); ++l) {
    const size_t n = net.Neurons[l].size();
    s.next.assign(n, 0.0f);
    const float* columns = net.Columns[l].data();
    float* next = s.next.data();
    for (size_t k = 0; k < s.cur.size(); ++k) {
      const float v = s.cur[k];
      if (v == 0) continue;
      const float* c = columns + k * n;
      for (size_t j = 0; j < n; ++j) next[j] += v * c[j];
    }
    for (size_t j = 0; j < n; ++j) next[j] = Activate(net.NetType, next[j]);
    if (net.IsBias && l + 1 < net.Neurons.size() && n > 0) s.next.back() = 1;
    std::swap(s.cur, s.next);
  }
}

// Fills s.cur with the input layer: `input(i)` for i below InputSize, the
// stored value for any neuron beyond it, then the bias neuron.
template <class Input>
void LoadInputLayer(const MyTNNet& net, Scratch& s, Input input) {
  const MyTNNLayer& first = net.Neurons.front();
  s.cur.resize(first.size());
  for (size_t i = 0; i < first.size(); ++i)
    s.cur[i] = static_cast<int64_t>(i) < net.InputSize ? input(i) : first[i].value;
  if (net.IsBias && net.InputSize >= 1 && static_cast<size_t>(net.InputSize) <= first.size())
    s.cur[net.InputSize - 1] = 1;
}

// Reads the .mynn lines one item at a time, with the line number for errors.
class NetReader {
 public:
  NetReader(const std::filesystem::path& path, std::vector<std::string> lines)
      : path_(path), lines_(std::move(lines)) {}

  std::string Next(const std::string& item) {
    if (pos_ >= lines_.size())
      throw TFileError(path_, static_cast<int>(pos_) + 1, item, "missing line: the file ends early");
    return Trim(lines_[pos_++]);
  }
  int Line() const { return static_cast<int>(pos_); }  // line of the item read last

  int32_t Count(const std::string& item, int32_t min) {
    const std::string t = Next(item);
    int32_t v;
    if (t.empty() || t[0] == '$' || !ParseInteger(t, v))
      throw TFileError(path_, Line(), item, "expected a whole number, found \"" + t + "\"");
    if (v < min)
      throw TFileError(path_, Line(), item,
                       "must be at least " + std::to_string(min) + ", found " + std::to_string(v));
    return v;
  }

  // The item name is only built for an error: a network has many weights.
  float Weight(const std::string& neuron, int32_t k) {
    auto item = [&] { return neuron + " weight " + std::to_string(k); };
    if (pos_ >= lines_.size())
      throw TFileError(path_, static_cast<int>(pos_) + 1, item(), "missing line: the file ends early");
    const std::string t = Trim(lines_[pos_++]);
    float v;
    if (!ParseSingle(t, v))
      throw TFileError(path_, Line(), item(),
                       "expected a number with \".\" as decimal separator, found \"" + t + "\"");
    return v;
  }

  size_t Remaining() const { return lines_.size() - pos_; }

  void ExpectEnd() {
    while (pos_ < lines_.size()) {
      if (!Trim(lines_[pos_]).empty())
        throw TFileError(path_, static_cast<int>(pos_) + 1, "",
                         "unexpected text after the last layer (do the counts match?)");
      ++pos_;
    }
  }

 private:
  std::filesystem::path path_;
  std::vector<std::string> lines_;
  size_t pos_ = 0;
};

}  // namespace

void LoadNet(const std::filesystem::path& path, MyTNNet& net) {
  NetReader r(path, ReadTextLines(path));
  MyTNNet n;
  n.InputSize = r.Count("InputSize", 1);
  n.OutPutSize = r.Count("OutPutSize", 1);
  n.NetType = r.Next("activation") == "ReLu" ? 1 : 0;
  {
    const std::string t = r.Next("IsBias");
    if (!ParseBoolean(t, n.IsBias))
      throw TFileError(path, r.Line(), "IsBias", "expected True or False, found \"" + t + "\"");
  }
  const int32_t layers = r.Count("layer count", 2);
  // Each layer and neuron needs at least one line, so the file's own length
  // bounds every reservation.
  n.Neurons.reserve(std::min<size_t>(layers, r.Remaining()));
  for (int32_t l = 0; l < layers; ++l) {
    const std::string layerName = "layer " + std::to_string(l);
    const int32_t count = r.Count(layerName + " neuron count", 1);
    const int countLine = r.Line();
    if (l == 0 && count != n.InputSize)
      throw TFileError(path, countLine, layerName + " neuron count",
                       "the input layer must have InputSize = " + std::to_string(n.InputSize) +
                           " neurons, found " + std::to_string(count));
    if (l == layers - 1 && count != n.OutPutSize)
      throw TFileError(path, countLine, layerName + " neuron count",
                       "the output layer must have OutPutSize = " + std::to_string(n.OutPutSize) +
                           " neurons, found " + std::to_string(count));
    MyTNNLayer layer;
    layer.reserve(std::min<size_t>(count, r.Remaining()));
    for (int32_t j = 0; j < count; ++j) {
      const std::string neuronName = layerName + " neuron " + std::to_string(j);
      const int32_t m = r.Count(neuronName + " weight count", 0);
      if (l > 0 && static_cast<size_t>(m) != n.Neurons[l - 1].size())
        throw TFileError(path, r.Line(), neuronName + " weight count",
                         "expected one weight per neuron of the previous layer (" +
                             std::to_string(n.Neurons[l - 1].size()) + "), found " + std::to_string(m));
      if (static_cast<size_t>(m) > r.Remaining())
        throw TFileError(path, r.Line(), neuronName + " weight count",
                         std::to_string(m) + " weights announced but only " + std::to_string(r.Remaining()) +
                             " lines follow");
      MyTNeuron neuron;
      neuron.weights.resize(m);
      for (int32_t k = 0; k < m; ++k) neuron.weights[k] = r.Weight(neuronName, k);
      neuron.inertia.assign(m, 0.0f);
      layer.push_back(std::move(neuron));
    }
    n.Neurons.push_back(std::move(layer));
  }
  r.ExpectEnd();
  n.NetInput.assign(n.InputSize, 0.0f);
  n.NetOutput.assign(n.OutPutSize, 0.0f);
  NetCompile(n);
  n.LearningRate = net.LearningRate;
  n.Inertia = net.Inertia;
  net = std::move(n);
}

void SaveNet(const std::filesystem::path& path, const MyTNNet& net) {
  std::string out;
  auto line = [&](const std::string& s) { out += s + "\r\n"; };
  line(std::to_string(net.InputSize));
  line(std::to_string(net.OutPutSize));
  line(net.NetType == 1 ? "ReLu" : "HyTan");
  line(FormatBoolean(net.IsBias));
  line(std::to_string(net.Neurons.size()));
  for (const MyTNNLayer& layer : net.Neurons) {
    line(std::to_string(layer.size()));
    for (const MyTNeuron& neuron : layer) {
      line(std::to_string(neuron.weights.size()));
      for (float w : neuron.weights) line(FormatSingle(w));
    }
  }
  WriteTextFile(path, out);
}

std::string NetShapeProblem(const MyTNNet& net) {
  if (net.InputSize < 1 || net.OutPutSize < 1) return "InputSize and OutPutSize must be at least 1";
  if (net.Neurons.size() < 2) return "a network needs an input and an output layer";
  if (net.Neurons.front().size() != static_cast<size_t>(net.InputSize))
    return "the input layer does not have InputSize neurons";
  if (net.Neurons.back().size() != static_cast<size_t>(net.OutPutSize))
    return "the output layer does not have OutPutSize neurons";
  for (size_t l = 1; l < net.Neurons.size(); ++l) {
    if (net.Neurons[l].empty()) return "layer " + std::to_string(l) + " has no neurons";
    for (const MyTNeuron& n : net.Neurons[l])
      if (n.weights.size() != net.Neurons[l - 1].size())
        return "a neuron of layer " + std::to_string(l) + " has the wrong number of weights";
  }
  return {};
}

std::string NetShapeText(const MyTNNet& net) {
  std::string s;
  for (const MyTNNLayer& layer : net.Neurons) {
    if (!s.empty()) s += '-';
    s += std::to_string(layer.size());
  }
  s += net.NetType == 1 ? " ReLu" : " HyTan";
  if (net.IsBias) s += " bias";
  return s;
}

void NetCompile(MyTNNet& net) {
  net.Columns.assign(net.Neurons.size(), {});
  for (size_t l = 1; l < net.Neurons.size(); ++l) {
    const MyTNNLayer& layer = net.Neurons[l];
    const size_t n = layer.size(), prev = net.Neurons[l - 1].size();
    std::vector<float>& c = net.Columns[l];
    c.assign(n * prev, 0.0f);
    for (size_t j = 0; j < n; ++j)
      for (size_t k = 0; k < std::min(prev, layer[j].weights.size()); ++k) c[k * n + j] = layer[j].weights[k];
  }
}

void NetForward(MyTNNet& net) {
  if (net.Neurons.empty()) return;
  Scratch& s = ThreadScratch();
  LoadInputLayer(net, s, [&](size_t i) {
    return i < net.NetInput.size() ? net.NetInput[i] : net.Neurons.front()[i].value;
  });
  for (size_t i = 0; i < s.cur.size(); ++i)
    if (static_cast<int64_t>(i) < net.InputSize) net.Neurons.front()[i].value = s.cur[i];
  RunLayers(net, s, [&](size_t l, size_t j, float v) { net.Neurons[l][j].value = v; });
  const size_t outputs = std::max<int32_t>(net.OutPutSize, 0);
  net.NetOutput.resize(outputs);
  for (size_t j = 0; j < outputs; ++j) net.NetOutput[j] = j < s.cur.size() ? s.cur[j] : 0.0f;
}

float NetEvaluate(const TBitBoard64& bd, const MyTNNet& net) {
  if (net.Neurons.empty()) return 0;
  // Input layout by input count: S squares, then where each kind of piece
  // starts and which square indices a man may stand on.
  int squares, ownManLo, ownManHi, oppManLo, oppManHi, ownManBase, oppManBase;
  const uint8_t* bitToSquare = nullptr;
  switch (net.InputSize) {
    case 120:
      squares = 32, ownManLo = 0, ownManHi = 27, oppManLo = 4, oppManHi = 31, ownManBase = 64,
      oppManBase = 88;
      bitToSquare = BitToSquare32.data();
      break;
    case 150:
      squares = 40, ownManLo = 0, ownManHi = 33, oppManLo = 5, oppManHi = 39, ownManBase = 80,
      oppManBase = 110;
      bitToSquare = BitToSquare40.data();
      break;
    case 190:
      squares = 50, ownManLo = 0, ownManHi = 44, oppManLo = 5, oppManHi = 49, ownManBase = 100,
      oppManBase = 140;
      bitToSquare = BitToSquare50.data();
      break;
    default:
      squares = 64, ownManLo = 8, ownManHi = 55, oppManLo = 8, oppManHi = 55, ownManBase = 120,
      oppManBase = 168;
  }
  Scratch& s = ThreadScratch();
  LoadInputLayer(net, s, [](size_t) { return 0.0f; });
  const int64_t limit = std::min<int64_t>(net.InputSize, static_cast<int64_t>(s.cur.size()));
  auto set = [&](int input) {
    if (input < limit) s.cur[input] = 1;
  };
  const uint64_t occupied = bd.w | bd.b;
  for (uint64_t rest = occupied; rest; rest &= rest - 1) {
    const int bit = __builtin_ctzll(rest);
    const int square = bitToSquare ? bitToSquare[bit] : bit + 1;
    if (square == 0) continue;
    const int index = square - 1;
    const uint64_t m = uint64_t{1} << bit;
    const bool own = bd.w & m, king = bd.k & m;
    if (king) {
      set(own ? index : squares + index);
    } else if (own) {
      if (index >= ownManLo && index <= ownManHi) set(ownManBase + index);
    } else if (index >= oppManLo && index <= oppManHi) {
      set(oppManBase + index);
    }
  }
  if (net.IsBias && net.InputSize >= 1 && net.InputSize <= limit) s.cur[net.InputSize - 1] = 1;
  if (Compiled(net))
    RunCompiledLayers(net, s);
  else
    RunLayers(net, s, [](size_t, size_t, float) {});
  const size_t outputs = std::min<size_t>(std::max<int32_t>(net.OutPutSize, 0), s.cur.size());
  if (outputs == 0) return 0;
  if (net.OutPutSize == 1) return s.cur[0] * 10;
  size_t best = 0;
  for (size_t j = 1; j < outputs; ++j)
    if (s.cur[j] > s.cur[best]) best = j;
  switch (best) {
    case 0:
      return -9;
    case 2:
      return 9;
    default:
      return 0;
  }
}

}  // namespace quorlin

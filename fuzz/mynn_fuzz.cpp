// Network files (.mynn). A network that reads evaluates positions of every
// board size, is written back and must read again to the same file.
#include <string>

#include "engine/network.h"
#include "engine/textfile.h"
#include "fuzz/fuzz_engine.h"
#include "fuzz/fuzz_support.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  TBitBoard64 bb{};
  bb.w = 0x0000000000000F0Full ^ (uint64_t{in.Byte()} << 8);
  bb.b = 0x0F0F000000000000ull ^ (uint64_t{in.Byte()} << 40);
  bb.k = (bb.w | bb.b) & (uint64_t{in.Byte()} * 0x0101010101010101ull);
  const auto path = fuzz::WriteFile("mynn/n.mynn", in.Rest());

  MyTNNet net;
  try {
    LoadNet(path, net);
  } catch (const TFileError& e) {
    FUZZ_CHECK(e.file() == path, "error names another file");
    return 0;
  }
  FUZZ_CHECK(NetShapeProblem(net).empty(), "a network that does not fit together was accepted");
  NetEvaluate(bb, net);

  const auto first = fuzz::WorkDir() / "mynn/a.mynn";
  const auto second = fuzz::WorkDir() / "mynn/b.mynn";
  SaveNet(first, net);
  MyTNNet again;
  try {
    LoadNet(first, again);
  } catch (const TFileError& e) {
    FUZZ_CHECK(false, std::string("written network refused: ") + e.what());
  }
  SaveNet(second, again);
  FUZZ_CHECK(fuzz::ReadFile(first) == fuzz::ReadFile(second), "network read back writes differently");
  return 0;
}

#include "app/gui/exportcheck.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/bits.h"
#include "engine/enginefile.h"
#include "engine/hashtable.h"
#include "games/database.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin::gui {

namespace {

template <class F>
F* Find(const char* name) {
  return reinterpret_cast<F*>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

bool CheckExports(std::ostream& out) {
  namespace fs = std::filesystem;
  const char* tmp = std::getenv("TMPDIR");
  const fs::path dir = fs::path(tmp && *tmp ? tmp : "/tmp") / ("quorlin-exports-" + std::to_string(getpid()));
  fs::create_directories(dir);
  bool all = true;
  auto check = [&](const char* name, const std::function<std::string()>& run) {
    if (!dlsym(RTLD_DEFAULT, name)) {
      out << name << " FAILED: not in the dynamic symbol table\n";
      all = false;
      return;
    }
    const std::string problem = run();
    out << name << (problem.empty() ? " ok" : " FAILED: " + problem) << "\n";
    all = all && problem.empty();
  };

  const TGameParams& russian = VariantTable[kRussian];
  TBoard start;
  start.b = StartPosition(russian, true);

  check("ReadLanguage", [] {
    return Find<bool(const char*)>("ReadLanguage")("No such language") ? "" : "a missing file is no error";
  });
  check("GenerateHashKeys", [] {
    auto table = std::make_unique<THash>();
    Find<void(THash*)>("GenerateHashKeys")(table.get());
    return table->Keys[1][0][0] != 0 || table->Keys[2][0][1] != 0 ? "" : "keys stayed empty";
  });
  check("BoardToBit64", [&] {
    TBitBoard64 bb;
    Find<void(const TBoard*, TBitBoard64*, uint8_t)>("BoardToBit64")(&start, &bb, kRussian);
    return PopCount(bb.w) == 12 && PopCount(bb.b) == 12 ? "" : "wrong piece count";
  });
  check("Bit64toBoard", [&] {
    TBitBoard64 bb;
    BoardToBit64(start, bb, kRussian);
    TBrd cells{};
    Find<void(const TBitBoard64*, TBrd*, uint8_t)>("Bit64toBoard")(&bb, &cells, kRussian);
    return cells == start.b ? "" : "the board did not come back";
  });
  check("GeneratePosition", [&] {
    TBrd cells{};
    const bool ok =
        Find<bool(uint8_t, uint8_t, uint8_t, uint8_t, TBrd*, bool, bool, bool, const TGameParams*)>(
            "GeneratePosition")(3, 3, 1, 0, &cells, false, false, false, &russian);
    int pieces = 0;
    for (int8_t c : cells) pieces += c != 0;
    return ok && pieces == 7 ? "" : "no position with 7 pieces";
  });
  check("removedoublemoves0", [&] {
    TMvs list;
    uint8_t count = 0;
    GenerateMoves(start, 0, list, count, russian, true);
    const uint8_t before = count;
    Find<void(uint8_t*, TMvs*, const TBoard*, const TGameParams*)>("removedoublemoves0")(&count, &list,
                                                                                         &start, &russian);
    return count == before && count == 7 ? "" : "the start position lost moves";
  });
  for (const char* name : {"initC", "revinit", "inicntnum"}) {
    check(name, [name] {
      Find<void()>(name)();
      return "";
    });
  }
  check("BookIni", [&] {
    return Find<bool(const char*)>("BookIni")((dir / "none.cbk").c_str()) ? "a missing book opened" : "";
  });
  check("SaveEngine", [&] {
    TEvalFunc ef;
    ef.Name = "Export check";
    ef.Version = 211;
    return Find<bool(const char*, const TEvalFunc*)>("SaveEngine")((dir / "Check.eng").c_str(), &ef) &&
                   fs::exists(dir / "Check.eng")
               ? ""
               : "no file written";
  });
  check("LoadEngine", [&] {
    TEvalFunc ef;
    const bool ok = Find<bool(const char*, TEvalFunc*, uint8_t)>("LoadEngine")((dir / "Check.eng").c_str(),
                                                                               &ef, kRussian);
    return ok && ef.Name == "Export check" ? "" : "the saved description did not come back";
  });
  check("OpenOrCreateDatabase", [&] {
    TQuorlinDB db;
    const bool ok =
        Find<bool(const char*, TQuorlinDB*)>("OpenOrCreateDatabase")((dir / "Check.abd").c_str(), &db);
    CloseDatabase(db);
    return ok && fs::exists(dir / "Check.abd") ? "" : "no database created";
  });
  check("SaveDBNames", [&] {
    TQuorlinDB db;
    if (!OpenOrCreateDatabase((dir / "Check.abd").string(), db)) return std::string("cannot open");
    const bool ok = Find<bool(TQuorlinDB*)>("SaveDBNames")(&db);
    CloseDatabase(db);
    return ok ? std::string() : std::string("names not written");
  });
  check("GetMemoryTotalPhys", [] {
    return Find<int64_t()>("GetMemoryTotalPhys")() > (int64_t(64) << 20) ? "" : "implausible memory size";
  });
  std::error_code ec;
  fs::remove_all(dir, ec);
  return all;
}

}  // namespace quorlin::gui

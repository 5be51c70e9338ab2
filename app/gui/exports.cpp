// Routines the program exports by name (C linkage, in the dynamic symbol
// table) so that other programs and scripts loading it can call into the
// rules, engine-file, book, database and translation code. Each catches every
// exception: nothing may unwind into a caller that knows no C++.
#include <unistd.h>

#include <cstdint>
#include <exception>

#include "app/translations.h"
#include "engine/book.h"
#include "engine/enginefile.h"
#include "engine/hashtable.h"
#include "games/database.h"
#include "rules/position.h"
#include "rules/tables.h"

#define QUORLIN_EXPORT extern "C" __attribute__((visibility("default"), used))

using namespace quorlin;

// Overrides numbered interface texts from "Language/<name>.txt" beside the
// program. False when the file has an error.
QUORLIN_EXPORT bool ReadLanguage(const char* name) noexcept {
  try {
    return name && !quorlin::ReadLanguage(name).has_value();
  } catch (...) {
    return false;
  }
}

QUORLIN_EXPORT void GenerateHashKeys(THash* table) noexcept {
  try {
    if (table) quorlin::GenerateHashKeys(*table);
  } catch (...) {
  }
}

QUORLIN_EXPORT void Bit64toBoard(const TBitBoard64* bb, TBrd* cells, uint8_t variant) noexcept {
  try {
    if (bb && cells) quorlin::Bit64toBoard(*bb, *cells, variant);
  } catch (...) {
  }
}

QUORLIN_EXPORT void BoardToBit64(const TBoard* board, TBitBoard64* bb, uint8_t variant) noexcept {
  try {
    if (board && bb) quorlin::BoardToBit64(*board, *bb, variant);
  } catch (...) {
  }
}

QUORLIN_EXPORT bool GeneratePosition(uint8_t whiteMen, uint8_t blackMen, uint8_t whiteKings,
                                     uint8_t blackKings, TBrd* cells, bool ownHalf, bool whiteNoCapture,
                                     bool blackNoCapture, const TGameParams* params) noexcept {
  try {
    return cells && params &&
           quorlin::GeneratePosition(whiteMen, blackMen, whiteKings, blackKings, *cells, ownHalf,
                                     whiteNoCapture, blackNoCapture, *params);
  } catch (...) {
    return false;
  }
}

QUORLIN_EXPORT void removedoublemoves0(uint8_t* count, TMvs* list, const TBoard* board,
                                       const TGameParams* params) noexcept {
  try {
    if (count && list && board && params) quorlin::removedoublemoves0(*count, *list, *board, *params);
  } catch (...) {
  }
}

QUORLIN_EXPORT void initC() noexcept { quorlin::initC(); }
QUORLIN_EXPORT void revinit() noexcept { quorlin::revinit(); }
QUORLIN_EXPORT void inicntnum() noexcept { quorlin::inicntnum(); }

// The book a caller of the exported routine opens: one of its own, apart from
// the books the program's engines keep.
static TOpeningBook& ExportedBook() {
  static TOpeningBook book;
  return book;
}

QUORLIN_EXPORT bool BookIni(const char* path) noexcept {
  try {
    return path && ExportedBook().Ini(path);
  } catch (...) {
    return false;
  }
}

QUORLIN_EXPORT bool SaveEngine(const char* path, const TEvalFunc* ef) noexcept {
  try {
    if (!path || !ef) return false;
    quorlin::SaveEngine(path, *ef);
    return true;
  } catch (...) {
    return false;
  }
}

QUORLIN_EXPORT bool LoadEngine(const char* path, TEvalFunc* ef, uint8_t typeofgame) noexcept {
  try {
    return path && ef && quorlin::LoadEngine(path, *ef, typeofgame);
  } catch (...) {
    return false;
  }
}

QUORLIN_EXPORT bool SaveDBNames(TQuorlinDB* db) noexcept {
  try {
    return db && quorlin::SaveDBNames(*db);
  } catch (...) {
    return false;
  }
}

QUORLIN_EXPORT bool OpenOrCreateDatabase(const char* path, TQuorlinDB* db) noexcept {
  try {
    return path && db && quorlin::OpenOrCreateDatabase(path, *db);
  } catch (...) {
    return false;
  }
}

// Total physical memory of the machine in bytes.
QUORLIN_EXPORT int64_t GetMemoryTotalPhys() noexcept {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : 0;
}

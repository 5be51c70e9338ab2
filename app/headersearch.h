#pragma once
// The header pass of a database search, made for large databases: each text
// filter is matched once against every entry of its names list (not once per
// game), and the index file is read in large blocks rather than record by
// record. It lists the same games as SearchDatabase without a position.
#include "games/database.h"
#include "games/dbsearch.h"

namespace quorlin {

// Rebuilds `list` from the games of `db` whose header passes `criteria`
// (text filters already case-folded). False (with db.LastError) when the
// index file cannot be read; `list` then holds the games found before.
bool HeaderPass(TQuorlinDB& db, const TSearchInfo& criteria, TDBList& list);

}  // namespace quorlin

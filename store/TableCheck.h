// A full check of an open table beyond the open-time verification: every
// tree (page kinds, order, subtree counts, sibling links, capacity), every
// free list, that each page belongs to exactly one tree or free list, that
// "Sys Deleted" holds one key per slot, the active-record count, the
// deleted-record chain, and that every index holds exactly the keys of the
// active records.
#pragma once

#include <string>
#include <vector>

#include "StoreExport.h"
#include "TableFiles.h"

namespace store {

// The problems found, one sentence each; empty when the table is sound.
SAUNO_STORE_EXPORT std::vector<std::string> CheckTable(TTableFiles& table);

}  // namespace store

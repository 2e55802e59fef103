// Records posted one by one and written in batches under one write lock, as
// insert --stdin and import write them: a batch is written when it holds
// BatchRecords records, or sooner when the caller asks (before its input
// would wait, so that the lock is not held while nothing happens).
#pragma once

#include "DataTable.h"
#include "StoreTable.h"

namespace sauno_table {

class TBatchedPosts {
 public:
  static constexpr long long BatchRecords = 4096;

  explicit TBatchedPosts(sauno::TStoreTable& table) : Engine(table.Cursor().DataTable()) {}

  // Before each record: the batch so far is written when full, and a batch
  // is begun.
  void BeforePost() {
    if (Posted - Stored >= BatchRecords) WriteNow();
    Engine.BeginBatch();
  }
  // Writes the batch so far and gives up the write lock (before waiting
  // for input, say).
  void WriteNow() {
    if (Posted == Stored) return;
    Engine.EndBatch();
    Stored = Posted;
  }
  void AfterPost() { ++Posted; }
  // After the last record.
  void Finish() {
    Engine.EndBatch();
    Stored = Posted;
  }
  // After a failure: what the failed batch posted is written when the
  // failure left it to write; returns how many records are stored.
  long long FinishAfterFailure() {
    const bool pending = Engine.BatchPending();
    try {
      Engine.EndBatch();
      if (pending) Stored = Posted;
    } catch (...) {
    }
    return Stored;
  }
  long long PostedCount() const { return Posted; }

 private:
  store::TDataTable& Engine;
  long long Posted = 0, Stored = 0;
};

}  // namespace sauno_table

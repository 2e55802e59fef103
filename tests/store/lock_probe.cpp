// A separate process for the store tests: opens a table and tries one thing,
// answering through its exit status (0 done, 2 refused or busy, 3 failed).
//   lock_probe open DIR TABLE shared|exclusive
//   lock_probe lock DIR TABLE read|write|table|record:N
//   lock_probe setint DIR TABLE RECORD OFFSET VALUE
//   lock_probe hold DIR TABLE exclusive|read|write|table|record:N MS
//     (takes it, writes "ready" to stdout, keeps it MS milliseconds)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <cstring>
#include <string>

#include "FieldValues.h"
#include "StoreError.h"
#include "TableLocks.h"
#include "TestSupport.h"

using namespace store;

int main(int argc, char** argv) {
  if (argc < 5) return 3;
  const std::string command = argv[1], dir = argv[2], name = argv[3], what = argv[4];
  try {
    TTableFiles table;
    table.Open(dir, name, TAccess::acReadWrite, (command == "open" || command == "hold") && what == "exclusive");
    if (command == "open") return 0;
    if (command == "lock" || command == "hold") {
      TTableLocks locks(table.DataFile(), table.IndexFile());
      const TLockRetry once{1, 0};
      if (what == "exclusive") {
      } else if (what == "read") locks.ReadLock(once);
      else if (what == "write") locks.WriteLock(once);
      else if (what == "table") locks.TableLock(once);
      else if (what.rfind("record:", 0) == 0) locks.RecordLock(std::atoi(what.c_str() + 7), 0, 0);
      else return 3;
      if (command == "hold" && argc == 6) {
        std::printf("ready\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[5])));
      }
      return 0;
    }
    if (command == "setint" && argc == 7) {
      store_test::TRecordWriter writer(table);
      const std::int32_t record = std::atoi(argv[4]);
      auto image = writer.Read(record);
      PutI32(image, static_cast<std::size_t>(std::atoi(argv[5])), std::atoi(argv[6]));
      writer.Modify(record, image);
      return 0;
    }
    return 3;
  } catch (const EStoreEngineError& e) {
    return e.Code() == STORE_OSEACCES || e.Code() == STORE_LOCKTIMEOUT || e.Code() == STORE_RECLOCKFAILED ? 2 : 3;
  }
}

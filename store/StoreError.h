// The table store's error: an engine error code with its context texts and
// the formatted message "Table Store Engine Error # <code> <message>".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "StoreExport.h"

namespace store {

enum TStoreErrorCode : std::uint16_t {
  STORE_BOF = 8705,
  STORE_EOF = 8706,
  STORE_KEYORRECDELETED = 8708,
  STORE_NOCURRREC = 8709,
  STORE_RECNOTFOUND = 8710,
  STORE_ENDOFBLOB = 8711,
  STORE_HEADERCORRUPT = 8961,
  STORE_FILECORRUPT = 8962,
  STORE_MEMOCORRUPT = 8963,
  STORE_INDEXCORRUPT = 8965,
  STORE_READERR = 9217,
  STORE_WRITEERR = 9218,
  STORE_FILEDELETEFAIL = 9220,
  STORE_FILENOACCESS = 9221,
  STORE_RECTOOBIG = 9477,
  STORE_TABLEFULL = 9479,
  STORE_INTERNALLIMIT = 9482,
  STORE_INDEXLIMIT = 9487,
  STORE_FLDLIMIT = 9492,
  STORE_OPENBLOBLIMIT = 9494,
  STORE_BLOBLIMIT = 9498,
  STORE_KEYVIOL = 9729,
  STORE_MINVALERR = 9730,
  STORE_MAXVALERR = 9731,
  STORE_REQDERR = 9732,
  STORE_OUTOFRANGE = 9985,
  STORE_PRIMARYKEYREDEFINE = 9993,
  STORE_INVALIDBLOBOFFSET = 9998,
  STORE_INVALIDFLDTYPE = 10000,
  STORE_INVALIDVCHKSTRUCT = 10006,
  STORE_INDEXNAMEREQUIRED = 10010,
  STORE_INVALIDPASSWORD = 10015,
  STORE_INVALIDINDEXNAME = 10022,
  STORE_INVALIDIDXDESC = 10023,
  STORE_INVALIDKEY = 10026,
  STORE_INDEXEXISTS = 10027,
  STORE_INVALIDBLOBLEN = 10029,
  STORE_INVALIDBLOBHANDLE = 10030,
  STORE_TABLEOPEN = 10031,
  STORE_INVALIDFIELDNAME = 10038,
  STORE_NOSUCHFILTER = 10050,
  STORE_INVALIDFILTER = 10051,
  STORE_INVALIDINDEXDELETE = 10055,
  STORE_LOCKED = 10241,
  STORE_UNLOCKFAILED = 10242,
  STORE_LOCKTIMEOUT = 10249,
  STORE_NEEDEXCLACCESS = 10253,
  STORE_RECLOCKFAILED = 10258,
  STORE_NOTSUFFTABLERIGHTS = 10498,
  STORE_NOTABLOB = 10753,
  STORE_NOTINITIALIZED = 10758,
  STORE_OSENOENT = 11010,
  STORE_OSEMFILE = 11012,
  STORE_OSEACCES = 11013,
  STORE_OSEBADF = 11014,
  STORE_OSENOMEM = 11016,
  STORE_OSEINVMEM = 11017,
  STORE_OSENODEV = 11023,
  STORE_OSENOTSAM = 11025,
  STORE_OSUNKNOWN = 11047,
  STORE_SQLPARSE = 11949,
  STORE_OLDVERSION = 12035,
  STORE_SEARCHCOLREQD = 12292,
  STORE_TABLEEXISTS = 13060,
  STORE_COMPRESS = 15001,
  STORE_UNCOMPRESS = 15002,
  STORE_CANNOTLOADLDDRV = 15878,
};

// The texts a failure knows about; the message of each code picks its places
// from these.
struct SAUNO_STORE_EXPORT TStoreErrorContext {
  std::string Server;
  std::string User;
  std::string Database;
  std::string Table;
  std::string Field;
  std::string Index;
  std::string Extra;
  int OsError = 0;
  int SocketError = 0;
};

// Base of database errors raised by the table store.
class SAUNO_STORE_EXPORT EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SAUNO_STORE_EXPORT EStoreEngineError : public EDatabaseError {
 public:
  EStoreEngineError(std::uint16_t code, TStoreErrorContext context);

  std::uint16_t Code() const noexcept { return ErrorCode; }
  const TStoreErrorContext& Context() const noexcept { return ErrorContext; }

 private:
  std::uint16_t ErrorCode;
  TStoreErrorContext ErrorContext;
};

// The formatted message of a code without the "Table Store Engine Error #"
// prefix; "An unknown error occurred" for a code that has no message.
SAUNO_STORE_EXPORT std::string StoreErrorMessage(std::uint16_t code, const TStoreErrorContext& context);

// Shorthands for the common shapes of context.
[[noreturn]] void RaiseStoreError(std::uint16_t code, const std::string& table);
[[noreturn]] void RaiseStoreError(std::uint16_t code, const std::string& table, const std::string& index,
                                  const std::string& field);
[[noreturn]] void RaiseOsError(int osError, const std::string& table);

}  // namespace store

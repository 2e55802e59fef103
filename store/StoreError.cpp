#include "StoreError.h"

#include <cerrno>
#include <mutex>

namespace store {
namespace {

// Which context text fills each "%s" place of a message, in order.
enum class TPlace { Table, Field, Index, OsError };

struct TMessage {
  std::uint16_t Code;
  const char* Text;
  TPlace First;
  TPlace Second;
  int Places;
};

constexpr TPlace T = TPlace::Table;
constexpr TPlace F = TPlace::Field;
constexpr TPlace I = TPlace::Index;
constexpr TPlace O = TPlace::OsError;

constexpr TMessage Messages[] = {
    {STORE_BOF, "Beginning of table '%s' unexpectedly encountered", T, T, 1},
    {STORE_EOF, "End of table '%s' unexpectedly encountered", T, T, 1},
    {STORE_KEYORRECDELETED,
     "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", T, T, 1},
    {STORE_NOCURRREC, "No current record in the table '%s'", T, T, 1},
    {STORE_RECNOTFOUND, "Record not found in the table '%s'", T, T, 1},
    {STORE_ENDOFBLOB, "End of the blob in the field '%s' of the table '%s' unexpectedly encountered", F, T, 2},
    {STORE_HEADERCORRUPT, "Header information corrupt in the table '%s'", T, T, 1},
    {STORE_FILECORRUPT, "Data record buffers corrupt in the table '%s'", T, T, 1},
    {STORE_MEMOCORRUPT, "Blob buffers corrupt in the table '%s'", T, T, 1},
    {STORE_INDEXCORRUPT, "Index page buffers corrupt in the table '%s'", T, T, 1},
    {STORE_READERR, "Error reading from the table '%s'", T, T, 1},
    {STORE_WRITEERR, "Error writing to the table '%s'", T, T, 1},
    {STORE_FILEDELETEFAIL, "Cannot delete the files of the table '%s'", T, T, 1},
    {STORE_FILENOACCESS, "Cannot access the files of the table '%s'", T, T, 1},
    {STORE_RECTOOBIG, "Maximum record size exceeded in the table '%s'", T, T, 1},
    {STORE_TABLEFULL, "The table '%s' is full and cannot contain any more data", T, T, 1},
    {STORE_INTERNALLIMIT, "An internal limit of the engine was exceeded in the table '%s'", T, T, 1},
    {STORE_INDEXLIMIT,
     "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table '%s'", T, T, 1},
    {STORE_FLDLIMIT,
     "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the "
     "table '%s'",
     T, T, 1},
    {STORE_OPENBLOBLIMIT, "Too many blobs are open at once in the table '%s'", T, T, 1},
    {STORE_BLOBLIMIT, "Too many blob fields or invalid blob block size specified for the table '%s'", T, T, 1},
    {STORE_KEYVIOL, "Duplicate key found in the index '%s' of the table '%s'", I, T, 2},
    {STORE_MINVALERR, "The value for the field '%s' in the table '%s' is below the minimum allowable value", F, T, 2},
    {STORE_MAXVALERR, "The value for the field '%s' in the table '%s' is above the maximum allowable value", F, T, 2},
    {STORE_REQDERR, "A value must be provided for the field '%s' in the table '%s'", F, T, 2},
    {STORE_OUTOFRANGE, "Invalid field number or name '%s' specified for the table '%s'", F, T, 2},
    {STORE_PRIMARYKEYREDEFINE, "The primary index is already defined for the table '%s'", T, T, 1},
    {STORE_INVALIDBLOBOFFSET, "Invalid blob offset in the field '%s' of the table '%s'", F, T, 2},
    {STORE_INVALIDFLDTYPE, "Invalid field type specified for the field '%s' in the table '%s'", F, T, 2},
    {STORE_INVALIDVCHKSTRUCT,
     "Invalid minimum, maximum or default value specified for the field '%s' in the table '%s'", F, T, 2},
    {STORE_INDEXNAMEREQUIRED, "A name is required for the secondary index in the table '%s'", T, T, 1},
    {STORE_INVALIDPASSWORD, "Invalid password specified for the table '%s'", T, T, 1},
    {STORE_INVALIDINDEXNAME, "Invalid secondary index name '%s' specified for the table '%s'", I, T, 2},
    {STORE_INVALIDIDXDESC, "Invalid definition of the index '%s' in the table '%s'", I, T, 2},
    {STORE_INVALIDKEY, "Invalid key specified for the index '%s' of the table '%s'", I, T, 2},
    {STORE_INDEXEXISTS, "The index '%s' already exists in the table '%s'", I, T, 2},
    {STORE_INVALIDBLOBLEN, "Invalid blob length in the field '%s' of the table '%s'", F, T, 2},
    {STORE_INVALIDBLOBHANDLE, "Invalid blob handle in the field '%s' of the table '%s'", F, T, 2},
    {STORE_TABLEOPEN, "The table '%s' is already in use", T, T, 1},
    {STORE_INVALIDFIELDNAME, "Invalid field name '%s' specified for the table '%s'", F, T, 2},
    {STORE_NOSUCHFILTER, "The filter does not exist for the table '%s'", T, T, 1},
    {STORE_INVALIDFILTER, "Invalid filter specified for the table '%s'", T, T, 1},
    {STORE_INVALIDINDEXDELETE, "The index '%s' cannot be deleted from the table '%s'", I, T, 2},
    {STORE_LOCKED, "The table '%s' is already locked by another user", T, T, 1},
    {STORE_UNLOCKFAILED, "Cannot unlock table or record in the table '%s'", T, T, 1},
    {STORE_LOCKTIMEOUT, "General lock failure with the table '%s'", T, T, 1},
    {STORE_NEEDEXCLACCESS, "The table '%s' must be opened exclusively", T, T, 1},
    {STORE_RECLOCKFAILED, "Record in the table '%s' is in use by another user", T, T, 1},
    {STORE_NOTSUFFTABLERIGHTS, "Insufficient rights to the table '%s', a password is required", T, T, 1},
    {STORE_NOTABLOB, "The field '%s' of the table '%s' is not a blob field", F, T, 2},
    {STORE_NOTINITIALIZED, "The database engine is not initialized", T, T, 0},
    {STORE_OSENOENT, "Table '%s' does not exist", T, T, 1},
    {STORE_OSEMFILE, "Too many operating system files open while attempting to open the table '%s'", T, T, 1},
    {STORE_OSEACCES, "Access denied to table '%s'", T, T, 1},
    {STORE_OSEBADF, "Invalid operating system file handle for the table '%s'", T, T, 1},
    {STORE_OSENOMEM, "There is insufficient operating system memory available for the current operation", T, T, 0},
    {STORE_OSEINVMEM, "Invalid operating system memory block address for the table '%s'", T, T, 1},
    {STORE_OSENODEV, "Access denied to logical operating system device for the table '%s'", T, T, 1},
    {STORE_OSENOTSAM, "The table '%s' has been moved", T, T, 1},
    {STORE_OSUNKNOWN, "An unknown operating system error %s occurred with the table '%s'", O, T, 2},
    {STORE_SQLPARSE, "The statement for the table '%s' could not be parsed", T, T, 1},
    {STORE_OLDVERSION, "The table '%s' is not the correct version", T, T, 1},
    {STORE_SEARCHCOLREQD, "The field '%s' cannot be used in the index '%s' of the table '%s'", F, I, 3},
    {STORE_TABLEEXISTS, "The table '%s' already exists", T, T, 1},
    {STORE_COMPRESS, "Error compressing data for the table '%s'", T, T, 1},
    {STORE_UNCOMPRESS, "Error uncompressing data for the table '%s'", T, T, 1},
    {STORE_CANNOTLOADLDDRV, "The language driver for the table '%s' is not available or installed", T, T, 1},
};

std::string PlaceText(TPlace place, const TStoreErrorContext& c) {
  switch (place) {
    case TPlace::Table: return c.Table;
    case TPlace::Field: return c.Field;
    case TPlace::Index: return c.Index;
    case TPlace::OsError: return std::to_string(c.OsError);
  }
  return {};
}

// Serialises the building of error context, as the engine keeps it process-wide.
std::mutex ContextLock;

}  // namespace

std::string StoreErrorMessage(std::uint16_t code, const TStoreErrorContext& context) {
  for (const TMessage& m : Messages) {
    if (m.Code != code) continue;
    const TPlace places[3] = {m.First, m.Second, TPlace::Table};
    std::string out;
    int next = 0;
    for (const char* p = m.Text; *p; ++p) {
      if (p[0] == '%' && p[1] == 's' && next < m.Places) {
        out += PlaceText(places[next++], context);
        ++p;
      } else {
        out += *p;
      }
    }
    return out;
  }
  return "An unknown error occurred";
}

EStoreEngineError::EStoreEngineError(std::uint16_t code, TStoreErrorContext context)
    : EDatabaseError("Table Store Engine Error # " + std::to_string(code) + " " + StoreErrorMessage(code, context)),
      ErrorCode(code),
      ErrorContext(std::move(context)) {}

void RaiseStoreError(std::uint16_t code, const std::string& table) {
  RaiseStoreError(code, table, {}, {});
}

void RaiseStoreError(std::uint16_t code, const std::string& table, const std::string& index,
                     const std::string& field) {
  TStoreErrorContext context;
  {
    std::lock_guard guard(ContextLock);
    context.Table = table;
    context.Index = index;
    context.Field = field;
  }
  throw EStoreEngineError(code, std::move(context));
}

void RaiseOsError(int osError, const std::string& table) {
  std::uint16_t code = STORE_OSUNKNOWN;
  switch (osError) {
    case ENOENT:
    case ENOTDIR: code = STORE_OSENOENT; break;
    case EMFILE:
    case ENFILE: code = STORE_OSEMFILE; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: code = STORE_OSEACCES; break;
    case EBADF: code = STORE_OSEBADF; break;
    case ENOMEM: code = STORE_OSENOMEM; break;
    case ENODEV:
    case ENXIO: code = STORE_OSENODEV; break;
    case EXDEV: code = STORE_OSENOTSAM; break;
    default: break;
  }
  TStoreErrorContext context;
  context.Table = table;
  context.OsError = osError;
  throw EStoreEngineError(code, std::move(context));
}

}  // namespace store

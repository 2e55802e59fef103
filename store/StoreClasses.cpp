#include "StoreClasses.h"

#include "runtime/forms.h"
#include "runtime/reader.h"

namespace sauno {

void RegisterStoreClasses() {
  using namespace describe;
  ClassRegistry& r = ClassRegistry::Instance();

  ClassInfo& session = r.Register("TStoreSession", "TComponent", [](TComponent* o) { return new TStoreSession(o); });
  String<TStoreSession>(session, "SessionName", [](TStoreSession& s, const std::string& v) { s.SetSessionName(v); });
  Bool<TStoreSession>(session, "KeepConnections", [](TStoreSession& s, bool v) { s.KeepConnections = v; });
  Bool<TStoreSession>(session, "ForceBufferFlush", [](TStoreSession& s, bool v) { s.ForceBufferFlush = v; });
  Bool<TStoreSession>(session, "StrictChangeDetection",
                      [](TStoreSession& s, bool v) { s.StrictChangeDetection = v; });
  Integer<TStoreSession>(session, "LockRetryCount",
                         [](TStoreSession& s, int64_t v) { s.LockRetryCount = static_cast<int>(v); });
  Integer<TStoreSession>(session, "LockWaitTime",
                         [](TStoreSession& s, int64_t v) { s.LockWaitTime = static_cast<int>(v); });
  String<TStoreSession>(session, "PrivateDir", [](TStoreSession& s, const std::string& v) { s.PrivateDir = v; });
  Bool<TStoreSession>(session, "AutoSessionName", [](TStoreSession& s, bool v) { s.AutoSessionName = v; });
  Integer<TStoreSession>(session, "ProgressSteps",
                         [](TStoreSession& s, int64_t v) { s.ProgressSteps = static_cast<int>(v); });
  Property<TStoreSession>(session, "LockProtocol", [](TStoreSession& s, const PropValue& v, TReader&) {
    s.LockProtocol = Enumeration<store::TLockProtocol>(v, "LockProtocol", {"lpPessimistic", "lpOptimistic"});
  });
  Property<TStoreSession>(session, "SessionType", [](TStoreSession& s, const PropValue& v, TReader&) {
    s.SessionType = Enumeration<TSessionType>(v, "SessionType", {"stLocal", "stRemote"});
  });
  Ignored(session, {"EngineVersion"});

  ClassInfo& db = r.Register("TStoreDatabase", "TComponent", [](TComponent* o) { return new TStoreDatabase(o); });
  String<TStoreDatabase>(db, "DatabaseName", [](TStoreDatabase& d, const std::string& v) { d.SetDatabaseName(v); });
  String<TStoreDatabase>(db, "Directory", [](TStoreDatabase& d, const std::string& v) { d.SetDirectory(v); });
  String<TStoreDatabase>(db, "SessionName", [](TStoreDatabase& d, const std::string& v) { d.SetSessionName(v); });
  Bool<TStoreDatabase>(db, "Connected", [](TStoreDatabase& d, bool v) { d.SetConnected(v); });
  Bool<TStoreDatabase>(db, "KeepConnection", [](TStoreDatabase& d, bool v) { d.KeepConnection = v; });
  Bool<TStoreDatabase>(db, "HandleShared", [](TStoreDatabase& d, bool v) { d.HandleShared = v; });
  Property<TStoreDatabase>(db, "BeforeConnect", [](TStoreDatabase& d, const PropValue& v, TReader& reader) {
    d.BeforeConnect = FormOf(reader).NotifyHandler(v.AsIdent("BeforeConnect"));
  });
  Ignored(db, {"EngineVersion"});  // read-only: writing it has no effect

  ClassInfo& table = r.Register("TStoreTable", "TComponent", [](TComponent* o) { return new TStoreTable(o); });
  Bool<TStoreTable>(table, "Active", [](TStoreTable& t, bool v) { t.SetActive(v); });
  Bool<TStoreTable>(table, "AutoDisplayLabels", [](TStoreTable& t, bool v) { t.AutoDisplayLabels = v; });
  Bool<TStoreTable>(table, "CopyOnAppend", [](TStoreTable& t, bool v) { t.CopyOnAppend = v; });
  Bool<TStoreTable>(table, "Exclusive", [](TStoreTable& t, bool v) { t.Exclusive = v; });
  Bool<TStoreTable>(table, "ReadOnly", [](TStoreTable& t, bool v) { t.ReadOnly = v; });
  String<TStoreTable>(table, "DatabaseName", [](TStoreTable& t, const std::string& v) { t.DatabaseName = v; });
  String<TStoreTable>(table, "SessionName", [](TStoreTable& t, const std::string& v) { t.SessionName = v; });
  String<TStoreTable>(table, "TableName", [](TStoreTable& t, const std::string& v) { t.TableName = v; });
  String<TStoreTable>(table, "IndexName", [](TStoreTable& t, const std::string& v) { t.IndexName = v; });
  String<TStoreTable>(table, "IndexFieldNames",
                      [](TStoreTable& t, const std::string& v) { t.IndexFieldNames = v; });
  Ignored(table, {"EngineVersion"});
}

}  // namespace sauno

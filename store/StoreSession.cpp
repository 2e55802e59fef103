#include "StoreSession.h"

#include <algorithm>
#include <mutex>

#include "CharTable.h"
#include "DataSet.h"
#include "StoreDatabase.h"

namespace sauno {
namespace {

struct TSessionList {
  std::recursive_mutex Guard;
  std::vector<TStoreSession*> Sessions;
};

// Both live as long as the process: components owned by objects that static
// destruction frees (the application's forms) still find their session then.
TSessionList& Sessions() {
  static TSessionList* list = new TSessionList;
  return *list;
}

}  // namespace

TStoreSession::TStoreSession(TComponent* owner) : TComponent(owner) {
  TSessionList& list = Sessions();
  std::lock_guard guard(list.Guard);
  list.Sessions.push_back(this);
}

TStoreSession::~TStoreSession() {
  Temporary.clear();
  Engine_.reset();
  TSessionList& list = Sessions();
  std::lock_guard guard(list.Guard);
  std::erase(list.Sessions, this);
}

TStoreSession& TStoreSession::Default() {
  static TStoreSession* session = new TStoreSession(nullptr);
  return *session;
}

TStoreSession* TStoreSession::Find(std::string_view name) {
  Default();
  TSessionList& list = Sessions();
  std::lock_guard guard(list.Guard);
  for (TStoreSession* session : list.Sessions)
    if (store::SameTextNoCase(session->SessionName(), name)) return session;
  return nullptr;
}

TStoreSession& TStoreSession::Named(std::string_view name) {
  if (store::TrimText(name).empty()) throw EDatabaseError("Session name is missing.");
  TStoreSession* session = Find(name);
  if (!session) throw EDatabaseError("Session name is missing.");
  return *session;
}

void TStoreSession::SetSessionName(std::string_view name) {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an active session.");
  Name_ = std::string(name);
}

void TStoreSession::SetActive(bool value) {
  if (value == Active()) return;
  if (!value) {
    for (TStoreDatabase* database : Databases) database->Close();
    Temporary.clear();
    Engine_.reset();
    return;
  }
  auto engine = std::make_unique<store::TDataSession>();
  store::TSessionSettings& s = engine->Settings;
  s.PrivateDir = PrivateDir;
  s.StrictChangeDetection = StrictChangeDetection;
  s.ForceBufferFlush = ForceBufferFlush;
  s.LockRetryCount = LockRetryCount;
  s.LockWaitTime = LockWaitTime;
  s.LockProtocol = LockProtocol;
  s.ProgressSteps = ProgressSteps;
  s.DataBufferBytes = DataBufferBytes;
  s.DataBufferRecords = DataBufferRecords;
  s.IndexBufferBytes = IndexBufferBytes;
  s.BlobBufferBytes = BlobBufferBytes;
  s.BlobBufferBlocks = BlobBufferBlocks;
  Engine_ = std::move(engine);
}

store::TDataSession& TStoreSession::Engine() {
  SetActive(true);
  return *Engine_;
}

void TStoreSession::AddDatabase(TStoreDatabase* database) {
  if (std::find(Databases.begin(), Databases.end(), database) == Databases.end()) Databases.push_back(database);
}

void TStoreSession::RemoveDatabase(TStoreDatabase* database) { std::erase(Databases, database); }

TStoreDatabase* TStoreSession::FindDatabase(std::string_view name) const {
  TStoreDatabase* temporary = nullptr;
  for (TStoreDatabase* database : Databases) {
    if (!store::SameTextNoCase(database->DatabaseName(), name)) continue;
    if (!database->Temporary) return database;
    temporary = database;
  }
  return temporary;
}

TStoreDatabase& TStoreSession::OpenDatabase(std::string_view name) {
  if (store::TrimText(name).empty()) throw EDatabaseError("Database name is missing.");
  TStoreDatabase* database = FindDatabase(name);
  if (!database) {
    auto made = std::make_unique<TStoreDatabase>(nullptr);
    made->Temporary = true;
    made->SetSessionName(SessionName());
    made->SetDatabaseName(name);
    made->SetDirectory(name);
    database = made.get();
    Temporary.push_back(std::move(made));
  }
  database->Open();
  database->AddUser();
  return *database;
}

void TStoreSession::CloseDatabase(TStoreDatabase& database) {
  if (!database.RemoveUser() || !database.Temporary || KeepConnections) return;
  auto at = std::find_if(Temporary.begin(), Temporary.end(), [&](const auto& d) { return d.get() == &database; });
  if (at != Temporary.end()) Temporary.erase(at);
}

}  // namespace sauno

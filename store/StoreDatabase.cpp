#include "StoreDatabase.h"

#include "CharTable.h"
#include "DataSet.h"
#include "StoreSession.h"

namespace sauno {

TStoreDatabase::TStoreDatabase(TComponent* owner) : TComponent(owner) { TStoreSession::Default().AddDatabase(this); }

TStoreDatabase::~TStoreDatabase() {
  BeginDestroy();
  if (TStoreSession* session = TStoreSession::Find(SessionName_)) session->RemoveDatabase(this);
}

TStoreSession& TStoreDatabase::Session() const { return TStoreSession::Named(SessionName_); }

void TStoreDatabase::CheckInactive() const {
  if (Connected()) throw EDatabaseError("Cannot perform this operation on an open database.");
}

void TStoreDatabase::SetDatabaseName(std::string_view name) {
  if (name == Name_) return;
  CheckInactive();
  if (name.find(':') != std::string_view::npos || name.find('\\') != std::string_view::npos)
    throw EDatabaseError("Database name " + std::string(name) + " is not valid.");
  if (TStoreSession* session = TStoreSession::Find(SessionName_)) {
    TStoreDatabase* other = session->FindDatabase(name);
    if (other && other != this && !other->Temporary && !Temporary)
      throw EDatabaseError("Database name " + std::string(name) + " already exists.");
  }
  Name_ = std::string(name);
}

void TStoreDatabase::SetDirectory(std::string_view directory) {
  CheckInactive();
  Directory_ = std::string(directory);
}

void TStoreDatabase::SetSessionName(std::string_view name) {
  if (name == SessionName_) return;
  CheckInactive();
  if (TStoreSession* old = TStoreSession::Find(SessionName_)) old->RemoveDatabase(this);
  SessionName_ = std::string(name);
  if (TStoreSession* now = TStoreSession::Find(SessionName_)) now->AddDatabase(this);
}

void TStoreDatabase::SetConnected(bool value) {
  if (Loading()) {
    StreamedConnected = value;
    return;
  }
  if (value) Open();
  else Close();
}

void TStoreDatabase::Close() { EngineDirectory_ = nullptr; }

void TStoreDatabase::Open() {
  if (Connected()) return;
  if (store::TrimText(Name_).empty()) throw EDatabaseError("Database name is missing.");
  if (BeforeConnect) BeforeConnect(this);
  EngineDirectory_ = &Session().Engine().OpenDirectory(Directory_);
}

void TStoreDatabase::Loaded() {
  TComponent::Loaded();
  if (StreamedConnected) SetConnected(true);
}

store::TDataDirectory& TStoreDatabase::EngineDirectory() {
  if (!EngineDirectory_) throw EDatabaseError("Cannot perform this operation on a closed database.");
  return *EngineDirectory_;
}

}  // namespace sauno

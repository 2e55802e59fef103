// The database component: a name that tables refer to and the directory it
// stands for. It belongs to its session from the moment it exists, so that
// a table finds it by name as soon as the properties are applied, before
// either has finished loading.
#pragma once

#include <string>
#include <string_view>

#include "StoreExport.h"
#include "DataSession.h"
#include "runtime/component.h"
#include "runtime/events.h"

namespace sauno {

class TStoreSession;

class SAUNO_STORE_EXPORT TStoreDatabase : public TComponent {
 public:
  explicit TStoreDatabase(TComponent* owner);
  ~TStoreDatabase() override;

  const std::string& DatabaseName() const { return Name_; }
  // "Database name %s is not valid." with a colon or a backslash, "Database
  // name %s already exists." when another database of the session has it.
  void SetDatabaseName(std::string_view name);
  const std::string& Directory() const { return Directory_; }
  void SetDirectory(std::string_view directory);
  const std::string& SessionName() const { return SessionName_; }
  void SetSessionName(std::string_view name);
  bool Connected() const { return EngineDirectory_ != nullptr; }
  // The streamed property: while loading, the value waits for Loaded.
  void SetConnected(bool value);
  // Connect at once, also while loading: a table that finishes loading
  // first opens through a database whose own Loaded is still to come.
  void Open();
  void Close();
  void Loaded() override;

  bool KeepConnection = true;
  bool HandleShared = false;
  bool RemoteDatabase = false;
  bool Temporary = false;
  static std::string EngineVersion() { return "3.27"; }
  TNotifyEvent BeforeConnect;

  TStoreSession& Session() const;
  store::TDataDirectory& EngineDirectory();
  void AddUser() { ++Users; }
  bool RemoveUser() { return --Users <= 0; }
  int UserCount() const { return Users; }

 private:
  void CheckInactive() const;

  std::string Name_;
  std::string Directory_;
  std::string SessionName_ = "Default";
  bool StreamedConnected = false;
  store::TDataDirectory* EngineDirectory_ = nullptr;
  int Users = 0;
};

}  // namespace sauno

// The session component: the engine's settings, the databases of the
// session by name, and the engine session it owns once a database of it
// connects. One session named "Default" exists from program start.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "StoreExport.h"
#include "DataSession.h"
#include "runtime/component.h"

namespace sauno {

class TStoreDatabase;

enum class TSessionType { stLocal, stRemote };

class SAUNO_STORE_EXPORT TStoreSession : public TComponent {
 public:
  explicit TStoreSession(TComponent* owner);
  ~TStoreSession() override;

  static TStoreSession& Default();
  // The session of that name (without regard to case), or nullptr.
  static TStoreSession* Find(std::string_view name);
  // As Find, with "Session name is missing." for an empty name.
  static TStoreSession& Named(std::string_view name);

  const std::string& SessionName() const { return Name_; }
  void SetSessionName(std::string_view name);
  bool Active() const { return Engine_ != nullptr; }
  // Activating creates the engine session and hands it the settings below.
  void SetActive(bool value);
  store::TDataSession& Engine();

  bool AutoSessionName = false;
  bool KeepConnections = true;
  std::string PrivateDir;
  int LockRetryCount = 15;
  int LockWaitTime = 100;
  store::TLockProtocol LockProtocol = store::TLockProtocol::lpPessimistic;
  bool StrictChangeDetection = false;
  bool ForceBufferFlush = false;
  int ProgressSteps = 20;
  TSessionType SessionType = TSessionType::stLocal;
  // The engine's cache limits, handed over at activation; no description
  // sets them.
  std::size_t DataBufferBytes = 16384;
  std::size_t DataBufferRecords = 8192;
  std::size_t IndexBufferBytes = 16384;
  std::size_t BlobBufferBytes = 32768;
  std::size_t BlobBufferBlocks = 8192;
  static std::string EngineVersion() { return "3.27"; }

  // The databases of the session; a name without a component gets a
  // temporary database whose directory is the name itself.
  void AddDatabase(TStoreDatabase* database);
  void RemoveDatabase(TStoreDatabase* database);
  TStoreDatabase* FindDatabase(std::string_view name) const;
  TStoreDatabase& OpenDatabase(std::string_view name);
  // A table has stopped using the database; a temporary one goes when
  // nothing uses it, unless connections are kept.
  void CloseDatabase(TStoreDatabase& database);

 private:
  std::string Name_ = "Default";
  std::unique_ptr<store::TDataSession> Engine_;
  std::vector<TStoreDatabase*> Databases;
  std::vector<std::unique_ptr<TStoreDatabase>> Temporary;
};

}  // namespace sauno

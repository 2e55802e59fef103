#pragma once
// The game form: every component of the scene description by name, the rules of a sauna visit,
// start-up from the settings file, the full-screen switch and the ways out.
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "engine/asynctimer.h"
#include "engine/cadencer.h"
#include "engine/viewer.h"
#include "game/gamepad.h"
#include "game/steam.h"
#include "material/material.h"
#include "mesh/basemesh.h"
#include "store/StoreClasses.h"
#include "runtime/forms.h"
#include "runtime/timer.h"
#include "sound/smfmod.h"
#include "text/bitmapfont.h"
#include "text/hudtext.h"

namespace sauno {

enum class TThrowKey { None, Left, Right };

class TForm1 : public TCustomForm {
public:
    explicit TForm1(TComponent* owner);

    // The components of the description, in the form's field order; not owned here.
    TScene* Scene1 = nullptr;
    TSceneViewer* scn = nullptr;
    TFullScreenViewer* scnf = nullptr;
    TCamera* Camera1 = nullptr;
    TDummyCube* kamera = nullptr;
    TTimer* fstimer = nullptr;
    TDummyCube* level = nullptr;
    TFreeForm* lvl = nullptr;
    TMaterialLibrary* lib1 = nullptr;
    TLightSource* LightSource1 = nullptr;
    TDummyCube* target = nullptr;
    TDummyCube* tekstit = nullptr;
    THUDText* enter = nullptr;
    TWindowsBitmapFont* font1 = nullptr;
    TTimer* aikatimer = nullptr;
    TTimer* countdowntimer = nullptr;
    TWindowsBitmapFont* fontcountdown = nullptr;
    THUDText* count = nullptr;
    THUDText* spent = nullptr;
    THUDText* time = nullptr;
    THUDText* lampotex = nullptr;
    THUDText* temp = nullptr;
    THUDText* toohot = nullptr;
    THUDText* toohotarvo = nullptr;
    TCadencer* cad1 = nullptr;
    TAsyncTimer* sietod = nullptr;
    THUDText* beer = nullptr;
    THUDText* kalja = nullptr;
    TSoundLibrary* SoundLibrary1 = nullptr;
    TSMFMOD* SMFMOD1 = nullptr;
    THUDText* quittext = nullptr;
    TDummyCube* hisco = nullptr;
    THUDText* scoret = nullptr;
    TStoreTable* table1 = nullptr;
    TStoreDatabase* StoreDatabase1 = nullptr;
    THUDText* again = nullptr;
    TDummyCube* hasco = nullptr;
    TTimer* Timer1 = nullptr;

    // Start-up values.
    std::string exeDir;
    int32_t resWidth = 0;
    int32_t resHeight = 0;
    std::string playerName;

    // Game values.
    bool waitingForStart = false;
    int32_t countdownValue = 0;
    int32_t secondsInSauna = 0;
    int32_t temperature = 0;
    double tolerance = 0;
    double drainPerTick = 0;
    double waterGain = 0;
    int32_t beersLeft = 0;
    double beerBonus = 0;
    bool keyLatch = false;
    TThrowKey lastThrowKey = TThrowKey::None;
    bool gameOver = false;
    bool quitPending = false;
    int32_t lastMouseX = 0;
    int32_t lastMouseY = 0;
    // The timers the quit question stopped, to be started again by "n".
    bool resumeClock = false;
    bool resumeDrain = false;

    // Operations.
    void alusta();
    void start();
    void lisaa();
    void juokalja();
    void lisaakantaan();
    // The game-over message for a result that could not be stored, with the reason.
    std::string NotStoredMessage(const std::string& reason) const;
    void luekanta();
    // The game-over message for a result that was stored when the list could not be read.
    std::string UnreadMessage(const std::string& reason) const;

    // Handlers.
    void FormCreate(TComponent* sender);
    void fstimerTimer(TComponent* sender);
    void countdowntimerTimer(TComponent* sender);
    void aikatimerTimer(TComponent* sender);
    void sietodTimer(TComponent* sender);
    void Timer1Timer(TComponent* sender);
    // Just before the high-score table's files are opened: the one moment the game needs its group.
    void StoreDatabase1BeforeConnect(TComponent* sender);
    void FormKeyDown(TComponent* sender, uint16_t& key, TShiftState shift);
    void FormKeyUp(TComponent* sender, uint16_t& key, TShiftState shift);
    void scnMouseDown(TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
    void scnMouseMove(TComponent* sender, TShiftState shift, int x, int y);

    void Loaded() override;
    TNotifyEvent NotifyHandler(std::string_view name) override;
    TKeyEvent KeyHandler(std::string_view name) override;
    TMouseEvent MouseHandler(std::string_view name) override;
    TMouseMoveEvent MouseMoveHandler(std::string_view name) override;

    // Gamepads, from start-up on.
    std::unique_ptr<TGamepadControls> gamepads;
    // The steam of a throw, under the scene's objects; owned by the form like every node.
    TSteam* steam = nullptr;

    // The executable's directory, with its trailing separator; tests point it elsewhere.
    std::string ExecutableDirectory = "";

private:
    void PrepareTexturesAhead();
    int DrawBeer();
    // Whether a record waits in the insert buffer, not yet stored.
    bool StorePending() const;
    // After a failed store or read: drops the pending record and the lines of the failed read,
    // then reads the list again as far as it can be read.
    void RecoverTopTen(int linesBefore);
    std::mt19937 random_;
};

// The tolerance as shown: rounded to a whole number, halves away from zero.
std::string FormatTolerance(double value);

// Registers every component class the scene description names.
void RegisterGameClasses();
// The scene description embedded in the executable.
std::string_view SceneDescription();
// Lets the description's memory go once it has been read; SceneDescription brings it back.
void ReleaseSceneDescription();

}  // namespace sauno

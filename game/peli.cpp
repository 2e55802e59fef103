#include "game/peli.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "material/texture.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/keyboard.h"
#include "platform/messagebox.h"
#include "platform/privilege.h"
#include "platform/process.h"
#include "platform/startup_report.h"
#include "runtime/reader.h"
#include "store/StoreSession.h"
#include "runtime/settings.h"
#include "sound/sound_classes.h"
#include "text/text_classes.h"

namespace sauno {

namespace {

// Looks up a component of the description by name and type; a description without it is broken.
template <class T>
T* Field(TForm1& form, const char* name)
{
    T* component = dynamic_cast<T*>(form.FindComponent(name));
    if (!component) throw Exception(std::string("Scene description error: component ") + name + " is missing");
    return component;
}

std::string IntToStr(int32_t value) { return std::to_string(value); }

struct ScheduleRow {
    int32_t after;  // applies when secondsInSauna is greater than this
    uint16_t period;
    int32_t temperature;
};
constexpr ScheduleRow schedule[] = {{15, 500, 75},  {30, 400, 80},  {45, 300, 85},  {60, 200, 90},
                                    {75, 190, 95},  {90, 180, 100}, {105, 170, 105}, {120, 160, 110},
                                    {135, 140, 115}, {150, 120, 120}};

}  // namespace

std::string FormatTolerance(double value)
{
    // Rounded from its shortest 15-digit decimal form, so that 98.49999999999999 shows as 99
    // exactly like the 98.5 it stands for.
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.15g", value);
    double decimal = std::strtod(digits, nullptr);
    return std::to_string(static_cast<long long>(std::round(decimal)));
}

TForm1::TForm1(TComponent* owner) : TCustomForm(owner) {}

void TForm1::Loaded()
{
    TCustomForm::Loaded();
    Scene1 = Field<TScene>(*this, "Scene1");
    scn = Field<TSceneViewer>(*this, "scn");
    scnf = Field<TFullScreenViewer>(*this, "scnf");
    Camera1 = Field<TCamera>(*this, "Camera1");
    kamera = Field<TDummyCube>(*this, "kamera");
    fstimer = Field<TTimer>(*this, "fstimer");
    level = Field<TDummyCube>(*this, "level");
    lvl = Field<TFreeForm>(*this, "lvl");
    lib1 = Field<TMaterialLibrary>(*this, "lib1");
    LightSource1 = Field<TLightSource>(*this, "LightSource1");
    target = Field<TDummyCube>(*this, "target");
    tekstit = Field<TDummyCube>(*this, "tekstit");
    enter = Field<THUDText>(*this, "enter");
    font1 = Field<TWindowsBitmapFont>(*this, "font1");
    aikatimer = Field<TTimer>(*this, "aikatimer");
    countdowntimer = Field<TTimer>(*this, "countdowntimer");
    fontcountdown = Field<TWindowsBitmapFont>(*this, "fontcountdown");
    count = Field<THUDText>(*this, "count");
    spent = Field<THUDText>(*this, "spent");
    time = Field<THUDText>(*this, "time");
    lampotex = Field<THUDText>(*this, "lampotex");
    temp = Field<THUDText>(*this, "temp");
    toohot = Field<THUDText>(*this, "toohot");
    toohotarvo = Field<THUDText>(*this, "toohotarvo");
    cad1 = Field<TCadencer>(*this, "cad1");
    sietod = Field<TAsyncTimer>(*this, "sietod");
    beer = Field<THUDText>(*this, "beer");
    kalja = Field<THUDText>(*this, "kalja");
    SoundLibrary1 = Field<TSoundLibrary>(*this, "SoundLibrary1");
    SMFMOD1 = Field<TSMFMOD>(*this, "SMFMOD1");
    quittext = Field<THUDText>(*this, "quittext");
    hisco = Field<TDummyCube>(*this, "hisco");
    scoret = Field<THUDText>(*this, "scoret");
    table1 = Field<TStoreTable>(*this, "table1");
    StoreDatabase1 = Field<TStoreDatabase>(*this, "StoreDatabase1");
    again = Field<THUDText>(*this, "again");
    hasco = Field<TDummyCube>(*this, "hasco");
    Timer1 = Field<TTimer>(*this, "Timer1");
    PrepareTexturesAhead();
}

// The textures' pixels (decoded, rescaled, with their mipmaps) are made on another core while
// the components finish loading (the GL context, the sound, the table) and the model is read;
// the first frame then only has to upload them.
void TForm1::PrepareTexturesAhead()
{
    std::vector<TTexture*> textures;
    for (int i = 0; i < lib1->Count(); ++i) {
        TMaterial& material = lib1->Materials(i).Material();
        if (material.HasTexture()) textures.push_back(&material.Texture());
    }
    TTexture::PrepareAhead(textures);
}

// ---- Start-up -------------------------------------------------------------------------------

void TForm1::FormCreate(TComponent*)
{
    gamepads.reset();  // a second start-up replaces the listener, never clears the new one
    gamepads = std::make_unique<TGamepadControls>(*this);
    if (!steam) steam = Scene1->Objects().AddNewChild<TSteam>();
    exeDir = ExecutableDirectory.empty() ? platform::ExecutableDirectory() : ExecutableDirectory;
    {
        TIniFile settings(exeDir + "settings.ini");
        resWidth = settings.ReadInteger("Graphics", "resow", 640);
        resHeight = settings.ReadInteger("Graphics", "resoh", 480);
        playerName = settings.ReadString("Misc", "Name", "pelaaja");
        if (settings.ReadString("Graphics", "mode", "windowed") == "fullscreen") fstimer->SetEnabled(true);
        PaceFrames(settings.ReadInteger("Graphics", "maxfps", kDefaultMaxFps));
    }
    scnf->SetWidth(resWidth);
    scnf->SetHeight(resHeight);
    if (!scn->GLAvailable()) {
        // Said once, then the visit runs as usual with nothing drawn; full screen, which could
        // draw no more than the window, is not tried.
        fstimer->SetEnabled(false);
        platform::ShowMessageBox("Sauno",
                                 "OpenGL is not available on this display (" + platform::GLUnavailableReason() +
                                     "): the game runs, but nothing can be drawn.",
                                 platform::MessageKind::Error);
    }
    platform::ChangeDirectory(exeDir + "data");  // on failure the model is looked for where we are
    {
        platform::StartupPhase phase("model");
        lvl->LoadFromFile("sauna2.3ds");
    }
    alusta();

    platform::StartupPhase phase("sound: fire");
    auto* fire = kamera->Behaviours().Add<TBSoundEmitter>();
    fire->Source().SetNbLoops(9999);
    fire->Source().SetVolume(0.5f);
    fire->Source().SetSoundLibrary(SoundLibrary1);
    fire->Source().SetSoundName("tuli2.wav");
    fire->SetPlaying(true);
}

void TForm1::PaceFrames(int32_t maxFps)
{
    // A negative rate means nothing: the default then. 0 draws as fast as the loop can, with
    // each viewer's own sync (the window's off), as the engine does for any program.
    if (maxFps < 0) maxFps = kDefaultMaxFps;
    maxFramesPerSecond = maxFps;
    Application().SetFramePeriod(maxFps > 0 ? (1'000'000'000 + maxFps / 2) / maxFps : 0);
    if (maxFps > 0) {
        // Never more often than the display refreshes, where the GL binding can tell.
        scn->VSync = TVSyncMode::vsmSync;
        scnf->VSync = TVSyncMode::vsmSync;
    }
}

void TForm1::fstimerTimer(TComponent*)
{
    // One attempt only: a mode the display cannot take is reported once (by the error that
    // leaves here) and the game goes on in the window, not asked again every second.
    fstimer->SetEnabled(false);
    scnf->SetActive(true);
    scn->SetVisible(false);
    Camera1->SetSceneScale(static_cast<float>(scnf->Height()) / 650.0f);
}

// ---- The rules of a visit -------------------------------------------------------------------

void TForm1::alusta()
{
    random_.seed(static_cast<std::mt19937::result_type>(platform::WallClockNanoseconds()));
    waitingForStart = true;
    enter->SetText("Press enter to start!");
    countdownValue = 3;
    secondsInSauna = 0;
    temperature = 70;
    tolerance = 100.0;
    beersLeft = 3;
    kalja->SetText(IntToStr(beersLeft));
    sietod->SetInterval(1000);
    toohotarvo->SetText(FormatTolerance(tolerance));
    drainPerTick = 1.2;
    waterGain = 1.0;
    temp->SetText(IntToStr(temperature));
    keyLatch = true;
}

void TForm1::start()
{
    enter->SetVisible(false);
    count->SetText(IntToStr(countdownValue));
    countdowntimer->SetEnabled(true);
}

void TForm1::countdowntimerTimer(TComponent*)
{
    countdownValue = countdownValue - 1;
    count->SetText(IntToStr(countdownValue));
    if (countdownValue != 0) return;
    count->SetText("SAUNO!");
    countdowntimer->SetEnabled(false);
    time->SetText(IntToStr(secondsInSauna));
    spent->SetVisible(true);
    waitingForStart = false;
    if (quitPending) {
        // The quit question holds the visit: "n" starts the clock and the drain.
        resumeClock = true;
        resumeDrain = true;
        return;
    }
    aikatimer->SetEnabled(true);
    sietod->SetEnabled(true);
}

void TForm1::aikatimerTimer(TComponent*)
{
    secondsInSauna = secondsInSauna + 1;
    time->SetText(IntToStr(secondsInSauna));
    for (const ScheduleRow& row : schedule) {
        if (secondsInSauna > row.after) {
            sietod->SetInterval(row.period);
            temperature = row.temperature;
            temp->SetText(IntToStr(temperature));
        }
    }
}

void TForm1::sietodTimer(TComponent*)
{
    tolerance = tolerance - drainPerTick;
    if (tolerance < 0.0) {
        tolerance = 0.0;
        sietod->SetEnabled(false);
        aikatimer->SetEnabled(false);
        // A result that cannot be stored must not stop the game: the player is told once, the
        // list shows what could be read, and the play-again question is asked as always.
        std::string failure;
        bool inserted = false, stored = false;
        const int linesBefore = hasco->ChildCount();
        try {
            lisaakantaan();
            inserted = true;
            luekanta();  // its first move posts the record
        } catch (const std::exception& e) {
            failure = e.what();
            stored = inserted && !StorePending();
            RecoverTopTen(linesBefore);
        }
        hisco->SetVisible(true);
        again->SetVisible(true);
        gameOver = true;
        toohotarvo->SetText(FormatTolerance(tolerance));
        if (!failure.empty())
            Application().HandleException(Exception(stored ? UnreadMessage(failure) : NotStoredMessage(failure)));
        return;
    }
    toohotarvo->SetText(FormatTolerance(tolerance));
}

std::string TForm1::NotStoredMessage(const std::string& reason) const
{
    std::string text = "Your time was not stored in the high-score table: " + reason;
    if (table1->ReadOnly)
        text += ". The table in " + StoreDatabase1->Directory() +
                " is read-only for you; whoever looks after this machine can let you write it.";
    return text;
}

bool TForm1::StorePending() const
{
    // A failed post leaves the record in the insert buffer; a refused insert never gets there.
    return table1->State() == TDataSetState::dsInsert;
}

void TForm1::RecoverTopTen(int linesBefore)
{
    // The pending record must not be posted by a later move, nor stored at the next visit's end.
    try {
        table1->Cancel();
    } catch (const std::exception&) {
    }
    // Lines of a read that broke off go; the list is read again and shows what can be read.
    while (hasco->ChildCount() > linesBefore) delete hasco->Child(hasco->ChildCount() - 1);
    try {
        luekanta();
    } catch (const std::exception&) {
    }
}

std::string TForm1::UnreadMessage(const std::string& reason) const
{
    return "Your time was stored in the high-score table, but the table could not be read: " + reason;
}

void TForm1::lisaa()
{
    tolerance = tolerance + waterGain;
    if (tolerance > 100.0) tolerance = 100.0;
    toohotarvo->SetText(FormatTolerance(tolerance));
    if (steam) steam->Puff();
}

int TForm1::DrawBeer()
{
    std::uniform_int_distribution<int> draw(0, 24);
    return draw(random_);
}

void TForm1::juokalja()
{
    if (waitingForStart || beersLeft < 1) return;
    beerBonus = DrawBeer();
    if (beerBonus < 15) beerBonus = DrawBeer();
    tolerance = tolerance + beerBonus;
    if (tolerance > 100.0) tolerance = 100.0;
    toohotarvo->SetText(FormatTolerance(tolerance));
    waterGain = waterGain - 0.075;
    beersLeft = beersLeft - 1;
    kalja->SetText(IntToStr(beersLeft));
}

void TForm1::lisaakantaan()
{
    table1->Insert();
    table1->FieldByName("nimi")->SetAsString(playerName);
    table1->FieldByName("aika")->SetAsInteger(secondsInSauna);
}

void TForm1::luekanta()
{
    table1->First();
    // The records that exist, at most ten: the loop ends at the end of the table.
    for (int i = 0; i < 10 && !table1->Eof(); ++i) {
        std::string name = table1->FieldByName("nimi")->AsString();
        int32_t seconds = table1->FieldByName("aika")->AsInteger();
        auto* line = hasco->AddNewChild<THUDText>();
        line->SetBitmapFont(font1);
        line->SetText("Name:" + name + ", Time in sauna:" + IntToStr(seconds) + "\r");
        line->Position().SetY(static_cast<float>(175 + 15 * i));
        table1->Next();
    }
}

void TForm1::StoreDatabase1BeforeConnect(TComponent*)
{
    // This thread alone, until the description is read and main gives the group up for good.
    platform::TakePrivilegedGroupOnThisThread();
    // A visit's result is on the disk or absent after a power cut, never half of it: each
    // commit is flushed in the order that keeps it whole (its cost is nothing beside a visit).
    TStoreSession::Default().ForceBufferFlush = true;
}

void TForm1::Timer1Timer(TComponent*)
{
    // One hiss more every ten seconds: the finished ones go, and only the newest few stay, so a
    // long visit does not gather emitters without end (nor when no sound is ever refreshed).
    constexpr int keptHisses = 3;
    TBehaviours& behaviours = target->Behaviours();
    std::vector<TBSoundEmitter*> hisses;
    for (int i = 0; i < behaviours.Count(); ++i)
        if (auto* hiss = dynamic_cast<TBSoundEmitter*>(behaviours.Items(i))) hisses.push_back(hiss);
    int left = static_cast<int>(hisses.size());
    for (TBSoundEmitter* old : hisses)
        if (!old->Playing() || left >= keptHisses) {
            delete old;
            --left;
        }
    auto* hiss = target->Behaviours().Add<TBSoundEmitter>();
    hiss->Source().SetVolume(0.5f);
    hiss->Source().SetSoundLibrary(SoundLibrary1);
    hiss->Source().SetSoundName("sihahdus2.wav");
    hiss->SetPlaying(true);
}

// ---- Keyboard and mouse ---------------------------------------------------------------------

void TForm1::FormKeyDown(TComponent*, uint16_t&, TShiftState)
{
    // The key the event carries is ignored: the rules ask which keys are down now.
    if (IsVirtualKeyDown(vk::Escape) && !quitPending) {
        // Stop exactly what runs, so that "n" resumes exactly that and nothing more.
        quitPending = true;
        quittext->SetVisible(true);
        resumeClock = aikatimer->Enabled();
        resumeDrain = sietod->Enabled();
        aikatimer->SetEnabled(false);
        sietod->SetEnabled(false);
    }
    bool answeredQuit = false;  // an "n" that answers the quit question answers nothing else
    if (quitPending) {
        if (IsKeyDown('y')) {
            scnf->SetActive(false);
            Application().Terminate();
        }
        if (IsKeyDown('n')) {
            quitPending = false;
            quittext->SetVisible(false);
            if (resumeClock) aikatimer->SetEnabled(true);
            if (resumeDrain) sietod->SetEnabled(true);
            resumeClock = resumeDrain = false;
            answeredQuit = true;
        }
    }
    if (gameOver) {
        if (IsKeyDown('y')) {
            alusta();
            hasco->FreeChildren();
            hisco->SetVisible(false);
            gameOver = false;
            again->SetVisible(false);
        }
        if (IsKeyDown('n') && !answeredQuit) Application().Terminate();
    }
    if (IsVirtualKeyDown(vk::Menu) && IsVirtualKeyDown(vk::F4)) Application().Terminate();
    if (waitingForStart && IsVirtualKeyDown(vk::Return)) start();
    if (IsVirtualKeyDown(vk::Left) && keyLatch) {
        if (quitPending || waitingForStart || lastThrowKey == TThrowKey::Left) return;
        lisaa();
        lastThrowKey = TThrowKey::Left;
        keyLatch = false;
    }
    if (IsVirtualKeyDown(vk::Right) && keyLatch) {
        if (quitPending || waitingForStart || lastThrowKey == TThrowKey::Right) return;
        lisaa();
        lastThrowKey = TThrowKey::Right;
        keyLatch = false;
    }
    if (IsVirtualKeyDown(vk::Return) && keyLatch) {
        juokalja();
        keyLatch = false;
    }
}

void TForm1::FormKeyUp(TComponent*, uint16_t&, TShiftState) { keyLatch = true; }

void TForm1::scnMouseDown(TComponent*, TMouseButton, TShiftState, int x, int y)
{
    lastMouseX = x;
    lastMouseY = y;
}

void TForm1::scnMouseMove(TComponent*, TShiftState shift, int x, int y)
{
    float turnDelta = static_cast<float>(lastMouseX - x);
    float pitchDelta = static_cast<float>(lastMouseY - y);
    lastMouseX = x;
    lastMouseY = y;
    if (shift & ssLeft) Camera1->OrbitTarget(pitchDelta, turnDelta);
}

// ---- Handlers by name -----------------------------------------------------------------------

TNotifyEvent TForm1::NotifyHandler(std::string_view name)
{
    using Method = void (TForm1::*)(TComponent*);
    static const std::pair<const char*, Method> table[] = {
        {"FormCreate", &TForm1::FormCreate},       {"fstimerTimer", &TForm1::fstimerTimer},
        {"countdowntimerTimer", &TForm1::countdowntimerTimer}, {"aikatimerTimer", &TForm1::aikatimerTimer},
        {"sietodTimer", &TForm1::sietodTimer},     {"Timer1Timer", &TForm1::Timer1Timer},
        {"StoreDatabase1BeforeConnect", &TForm1::StoreDatabase1BeforeConnect}};
    for (auto& [n, m] : table)
        if (name == n) return [this, m](TComponent* sender) { (this->*m)(sender); };
    return TCustomForm::NotifyHandler(name);
}

TKeyEvent TForm1::KeyHandler(std::string_view name)
{
    if (name == "FormKeyDown" || name == "scnfKeyDown")
        return [this](TComponent* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };
    if (name == "FormKeyUp" || name == "scnfKeyUp")
        return [this](TComponent* s, uint16_t& k, TShiftState sh) { FormKeyUp(s, k, sh); };
    return TCustomForm::KeyHandler(name);
}

TMouseEvent TForm1::MouseHandler(std::string_view name)
{
    if (name == "scnMouseDown" || name == "scnfMouseDown")
        return [this](TComponent* s, TMouseButton b, TShiftState sh, int x, int y) { scnMouseDown(s, b, sh, x, y); };
    return TCustomForm::MouseHandler(name);
}

TMouseMoveEvent TForm1::MouseMoveHandler(std::string_view name)
{
    if (name == "scnMouseMove" || name == "scnfMouseMove")
        return [this](TComponent* s, TShiftState sh, int x, int y) { scnMouseMove(s, sh, x, y); };
    return TCustomForm::MouseMoveHandler(name);
}

void RegisterGameClasses()
{
    static bool done = false;
    if (done) return;
    done = true;
    RegisterRuntimeClasses();
    RegisterSceneClasses();
    RegisterViewerClasses();
    RegisterTimingClasses();
    RegisterMaterialClasses();
    RegisterMeshClasses();
    RegisterTextClasses();
    RegisterSoundClasses();
    RegisterStoreClasses();
    ClassRegistry::Instance().Register("TForm1", "TCustomForm", nullptr);
}

}  // namespace sauno

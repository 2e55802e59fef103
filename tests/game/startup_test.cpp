#include <chrono>
#include <cmath>
#include <cstring>
#include <span>

#include "platform/exception.h"
#include "tests/game/game_fixture.h"

using namespace sauno;
using sauno::testing::GameTest;

TEST_F(GameTest, TheDescriptionBuildsEveryComponentWithItsValues)
{
    TForm1& f = Build();
    EXPECT_EQ(f.Caption, "Form1");
    EXPECT_EQ(f.Left, 193);
    EXPECT_EQ(f.Top, 169);
    EXPECT_EQ(f.ClientWidth, 688);
    EXPECT_EQ(f.ClientHeight, 452);
    // Sixteen top-level components plus the scene's nodes, all owned by the form.
    const char* order[] = {"scn",     "Scene1",   "kamera",     "Camera1",  "level",        "lvl",
                           "LightSource1", "target", "tekstit", "enter",    "count",        "spent",
                           "time",    "lampotex", "temp",       "toohot",   "toohotarvo",   "beer",
                           "kalja",   "quittext", "again",      "hisco",    "scoret",       "hasco",
                           "scnf",    "fstimer",  "lib1",       "font1",    "aikatimer",    "countdowntimer",
                           "fontcountdown", "cad1", "sietod",   "SoundLibrary1", "SMFMOD1", "table1",
                           "StoreDatabase1", "Timer1"};
    ASSERT_EQ(f.ComponentCount(), 38);
    for (int i = 0; i < 38; ++i) EXPECT_EQ(f.Components(i)->Name(), order[i]);

    EXPECT_EQ(f.kamera->Parent(), &f.Scene1->Objects());
    EXPECT_EQ(f.Camera1->Parent(), f.kamera);
    EXPECT_EQ(f.Camera1->TargetObject(), f.target);
    EXPECT_EQ(f.lvl->Parent(), f.level);
    EXPECT_EQ(f.time->Parent(), f.spent);
    EXPECT_EQ(f.hasco->Parent(), f.hisco);
    EXPECT_EQ(f.scoret->Parent(), f.hisco);
    EXPECT_EQ(f.kamera->Position().X(), 6.35f);
    EXPECT_EQ(f.kamera->Position().W(), 1.0f);
    EXPECT_EQ(f.lvl->Scale().Y(), 0.002f);
    EXPECT_EQ(f.lvl->PitchAngle(), 90.0f);
    // The stored orientation already holds the pitch: reading it rotates nothing.
    EXPECT_EQ(f.lvl->Direction().AsVector(), (TVector4{0, 1, -4.37114e-08f, 0}));
    EXPECT_EQ(f.lvl->Up().AsVector(), (TVector4{0, -4.37114e-08f, -1, 0}));
    EXPECT_EQ(f.Camera1->Parent(), f.kamera);  // not the cameras root: it stands inside kamera
    EXPECT_EQ(f.Scene1->Cameras().ChildCount(), 0);
    EXPECT_TRUE(f.lvl->ShowAxes());
    EXPECT_EQ(f.lvl->MaterialLibrary(), f.lib1);
    EXPECT_EQ(f.lvl->LightmapLibrary(), f.lib1);
    EXPECT_EQ(f.LightSource1->Diffuse().Red(), 0.85f);
    EXPECT_EQ(f.Camera1->FocalLength(), 100.0f);
    EXPECT_EQ(f.count->Position().Y(), -10.0f);
    EXPECT_EQ(f.toohotarvo->Position().X(), 80.0f);
    EXPECT_EQ(f.toohotarvo->Position().Y(), 85.0f);
    EXPECT_EQ(f.count->BitmapFont(), f.fontcountdown);
    EXPECT_EQ(f.enter->BitmapFont(), f.font1);
    EXPECT_FALSE(f.spent->Visible());
    EXPECT_FALSE(f.quittext->Visible());
    EXPECT_FALSE(f.again->Visible());
    EXPECT_FALSE(f.hisco->Visible());
    EXPECT_EQ(f.quittext->Text(), "Are you sure you want to quit? Y/N");
    EXPECT_EQ(f.font1->Font().Name(), "Futura MdCn BT");
    EXPECT_EQ(f.font1->Font().Height(), -16);
    EXPECT_TRUE(f.font1->Font().Bold());
    EXPECT_EQ(f.fontcountdown->Font().Height(), -48);
    // The description's seven, then the three the room model brings (see TheRoomIsLoaded...).
    ASSERT_EQ(f.lib1->Count(), 10);
    EXPECT_EQ(f.lib1->Materials(6).Name(), "kivet");
    EXPECT_EQ(f.lvl->Material().MaterialLibrary(), f.lib1);
    EXPECT_FALSE(f.lvl->Material().Texture().Disabled());
    ASSERT_EQ(f.SoundLibrary1->Samples().Count(), 2);
    EXPECT_EQ(f.SoundLibrary1->Samples().Items(1).Name, "sihahdus2.wav");
    ASSERT_NE(f.SoundLibrary1->Samples().Items(0).Data(), nullptr);
    EXPECT_EQ(f.SoundLibrary1->Samples().Items(0).Data()->SampleCount(), 456435);
    EXPECT_EQ(f.SoundLibrary1->Samples().Items(1).Data()->SampleCount(), 69796);
    EXPECT_TRUE(f.SMFMOD1->Active());
    EXPECT_EQ(ActiveSoundManager(), f.SMFMOD1);
    EXPECT_EQ(f.SMFMOD1->Listener(), f.kamera);
    EXPECT_EQ(f.SMFMOD1->Cadencer(), f.cad1);
    EXPECT_EQ(f.SMFMOD1->MaxChannels(), 32);
    EXPECT_EQ(f.cad1->Scene(), f.Scene1);
    EXPECT_EQ(f.Timer1->Interval(), 10000u);
    EXPECT_TRUE(f.Timer1->Enabled());
    EXPECT_FALSE(f.fstimer->Enabled());
    EXPECT_EQ(f.fstimer->Interval(), 1000u);
    EXPECT_FALSE(f.sietod->Enabled());
    EXPECT_TRUE(f.table1->Active());
    EXPECT_EQ(f.table1->IndexName, "aika");
    EXPECT_EQ(f.StoreDatabase1->DatabaseName(), "enkat");
    // The table finished loading first and opened through the database component's directory.
    EXPECT_TRUE(f.StoreDatabase1->Connected());
    EXPECT_EQ(f.StoreDatabase1->Directory(), ScoreDir());
    EXPECT_EQ(f.table1->Cursor().DataTable().Directory().Path(), ScoreDir() + "/");
    EXPECT_EQ(f.table1->Cursor().IndexName(), "aika");
    // The build's own description names an absolute directory.
    const std::string text(SceneDescription());
    const size_t at = text.find("Directory = \"", text.find("TStoreDatabase StoreDatabase1"));
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text[at + 13], '/');
}

TEST_F(GameTest, WithoutSettingsTheGamePlaysInTheWindowWithTheDefaults)
{
    TForm1& f = Build();
    EXPECT_EQ(f.resWidth, 640);
    EXPECT_EQ(f.resHeight, 480);
    EXPECT_EQ(f.scnf->Width(), 640);
    EXPECT_EQ(f.scnf->Height(), 480);
    EXPECT_EQ(f.playerName, "pelaaja");
    EXPECT_FALSE(f.fstimer->Enabled());
    EXPECT_EQ(f.exeDir, dir.string() + "/");
    EXPECT_EQ(std::filesystem::current_path(), dir / "data");
    // The reset has filled the values in before the window shows.
    EXPECT_EQ(f.enter->Text(), "Press enter to start!");
    EXPECT_EQ(f.temp->Text(), "70");
    EXPECT_EQ(f.toohotarvo->Text(), "100");
    EXPECT_EQ(f.kalja->Text(), "3");
    EXPECT_TRUE(f.waitingForStart);
    // The fire burns from the start on the listener.
    ASSERT_EQ(f.kamera->Behaviours().Count(), 1);
    auto* fire = dynamic_cast<TBSoundEmitter*>(f.kamera->Behaviours().Items(0));
    ASSERT_NE(fire, nullptr);
    EXPECT_EQ(fire->Source().NbLoops(), 9999);
    EXPECT_EQ(fire->Source().SoundName(), "tuli2.wav");
    EXPECT_TRUE(fire->Playing());
    EXPECT_TRUE(errors.empty());
}

TEST_F(GameTest, SettingsAreReadFromBesideTheExecutable)
{
    WriteSettings("[graphics]\nRESOW=0x400\nresoh=600\nmode=fullscreen\n[MISC]\nname=Ville\n");
    TForm1& f = Build();
    EXPECT_EQ(f.scnf->Width(), 1024);
    EXPECT_EQ(f.scnf->Height(), 600);
    EXPECT_EQ(f.playerName, "Ville");
    EXPECT_TRUE(f.fstimer->Enabled());
    f.fstimerTimer(f.fstimer);
    EXPECT_TRUE(f.scnf->Active());
    EXPECT_FALSE(f.scn->Visible());
    // 1024 x 600 is shown on the smallest mode at least as large, the screen's own, and the
    // scale follows the height the viewer really has.
    SDL_DisplayMode screen{};
    SDL_GetDesktopDisplayMode(0, &screen);
    EXPECT_EQ(f.scnf->Height(), screen.h);
    EXPECT_EQ(f.Camera1->SceneScale(), static_cast<float>(screen.h) / 650.0f);
    EXPECT_FALSE(f.fstimer->Enabled());
}

TEST_F(GameTest, AFullScreenSizeTheDisplayCannotTakeIsReportedOnceAndTheWindowStays)
{
    WriteSettings("[Graphics]\nresow=20000\nresoh=20000\nmode=fullscreen\n");
    TForm1& f = Build();
    // Three seconds of the real loop: the switch is due after one.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3300);
    while (std::chrono::steady_clock::now() < end) Application().HandleMessage(2);
    EXPECT_EQ(errors, std::vector<std::string>{"Unsupported video mode"});
    EXPECT_FALSE(f.fstimer->Enabled());
    EXPECT_FALSE(f.scnf->Active());
    EXPECT_TRUE(f.scn->Visible());
    EXPECT_EQ(f.Camera1->SceneScale(), 1.0f);
    // The game goes on in the window.
    StartVisit();
    EXPECT_TRUE(f.aikatimer->Enabled());
}

TEST_F(GameTest, BadOrOtherSettingsKeepTheDefaultsAndTheWindow)
{
    WriteSettings("[Graphics]\nresow=abc\nresoh=12abc\nmode=FullScreen\n");
    TForm1& f = Build();
    EXPECT_EQ(f.resWidth, 640);
    EXPECT_EQ(f.resHeight, 480);
    EXPECT_FALSE(f.fstimer->Enabled());
}

TEST_F(GameTest, MaxFpsPacesTheFramesAndZeroLeavesTheLoopAsItWas)
{
    struct Case {
        const char* settings;
        int64_t period;
        TVSyncMode windowSync;
    };
    const Case cases[] = {{"", 16'666'667, TVSyncMode::vsmSync},
                          {"[Graphics]\nmaxfps=30\n", 33'333'333, TVSyncMode::vsmSync},
                          {"[Graphics]\nmaxfps=0\n", 0, TVSyncMode::vsmNoSync},
                          {"[Graphics]\nmaxfps=-5\n", 16'666'667, TVSyncMode::vsmSync},
                          {"[Graphics]\nmaxfps=fast\n", 16'666'667, TVSyncMode::vsmSync}};
    for (const Case& c : cases) {
        WriteSettings(c.settings);
        TForm1& f = Build();
        EXPECT_EQ(Application().FramePeriod(), c.period) << c.settings;
        EXPECT_EQ(f.scn->VSync, c.windowSync) << c.settings;
        EXPECT_EQ(f.scnf->VSync, TVSyncMode::vsmSync) << c.settings;
        form.reset();
    }
    Application().SetFramePeriod(0);
}

TEST_F(GameTest, TheRoomIsLoadedFromTheDataDirectory)
{
    TForm1& f = Build();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(f.lvl->MeshObjects().Count(), 7);
    // Every face group asks for a material of lib1.
    for (int i = 0; i < f.lvl->MeshObjects().Count(); ++i) {
        TFaceGroups& groups = f.lvl->MeshObjects().Items(i).FaceGroups();
        for (int g = 0; g < groups.Count(); ++g)
            EXPECT_NE(f.lib1->MaterialByName(groups.Items(g).MaterialName), nullptr) << groups.Items(g).MaterialName;
    }
    // The description's seven stay as they are; the benches, the bucket and the thermometer
    // add theirs from the file's definitions, with their pictures from the data directory.
    ASSERT_EQ(f.lib1->Count(), 10);
    const char* own[] = {"lauteet", "kiulu", "mittari"};
    for (int i = 0; i < 3; ++i) {
        TLibMaterial& m = f.lib1->Materials(7 + i);
        EXPECT_EQ(m.Name(), own[i]);
        EXPECT_FALSE(m.Material().Texture().Disabled()) << own[i];
    }
}

TEST_F(GameTest, WithoutTheModelOneErrorIsShownAndTheWindowOpensWithoutTheRoom)
{
    std::filesystem::remove_all(dir / "data");
    TForm1& f = Build();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "File not found: \"sauna2.3ds\"");
    EXPECT_EQ(f.lvl->MeshObjects().Count(), 0);
    EXPECT_NE(f.temp->Text(), "70");  // the reset did not happen
}

TEST_F(GameTest, AMissingTableStopsTheBuildingOfTheFormWithTheEnginesError)
{
    std::filesystem::remove(dir / "scores" / "enkat.DAT");
    try {
        Build();
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Table Store Engine Error # 11010 Table '" + ScoreDir() + "/enkat.DAT' does not exist");
    }
}

TEST_F(GameTest, ABrokenDescriptionStopsTheBuildingOfTheForm)
{
    form = std::make_unique<TForm1>(nullptr);
    form->ExecutableDirectory = dir.string() + "/";
    std::string text = Description();
    // Remove a component the form needs.
    auto at = text.find("TTimer Timer1");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::strlen("TTimer Timer1"), "TTimer Timer2");
    try {
        form->ReadDescription(text);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Scene description error: component Timer1 is missing");
    }
}

TEST_F(GameTest, TheWindowIsPaintedBlackAndAgainWhenAHudValueChanges)
{
    TForm1& f = Build();
    auto runFor = [](int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) Application().HandleMessage(2);
    };
    ASSERT_TRUE(f.scn->Buffer().HasContext());
    EXPECT_EQ(f.scn->Buffer().BackgroundColor(), clBlack);
    EXPECT_TRUE(f.scn->Buffer().FogEnable());
    EXPECT_EQ(f.scn->Buffer().FogEnvironment().FogStart(), 5.0f);
    EXPECT_EQ(f.scn->Buffer().FogEnvironment().FogEnd(), 15.0f);
    EXPECT_FLOAT_EQ(f.scnf->Buffer().FogEnvironment().FogColor().Red(), 0.55f);
    runFor(100);
    const int frames = f.scn->Buffer().FramesRendered();
    EXPECT_GE(frames, 1);
    runFor(100);
    EXPECT_EQ(f.scn->Buffer().FramesRendered(), frames) << "nothing changed, nothing to draw";
    f.temp->SetText("75");
    runFor(100);
    EXPECT_EQ(f.scn->Buffer().FramesRendered(), frames + 1);
    // The cadencer drives the scene meanwhile.
    EXPECT_TRUE(f.cad1->Enabled());
}

namespace {

// Width, height and component count from a baseline JPEG's frame header.
bool JpegFrame(std::span<const uint8_t> jpeg, int& width, int& height, int& components, bool& baseline)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return false;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (jpeg[pos] != 0xFF) return false;
        const uint8_t marker = jpeg[pos + 1];
        const size_t length = (size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (marker == 0xC0 || marker == 0xC2) {
            if (pos + 9 >= jpeg.size()) return false;
            baseline = marker == 0xC0;
            height = (jpeg[pos + 5] << 8) | jpeg[pos + 6];
            width = (jpeg[pos + 7] << 8) | jpeg[pos + 8];
            components = jpeg[pos + 9];
            return true;
        }
        pos += 2 + length;
    }
    return false;
}

}  // namespace

TEST_F(GameTest, TheSevenMaterialsCarryTheirEmbeddedPictures)
{
    TForm1& f = Build();
    const struct {
        const char* name;
        int width, height;
    } expected[] = {{"kiuas", 689, 933},  {"kiuas2", 512, 512}, {"ovi", 681, 907},  {"seina1", 778, 583},
                    {"seina2", 907, 680}, {"lattia", 907, 680}, {"kivet", 907, 680}};
    ASSERT_GE(f.lib1->Count(), 7);  // the room model's own follow the description's seven
    for (size_t i = 0; i < 7; ++i) {
        TLibMaterial& m = f.lib1->Materials(static_cast<int>(i));
        SCOPED_TRACE(m.Name());
        EXPECT_EQ(m.Name(), expected[i].name);
        EXPECT_EQ(f.lib1->MaterialByName(expected[i].name), &m);
        TTexture& texture = m.Material().Texture();
        EXPECT_FALSE(texture.Disabled());
        auto* image = dynamic_cast<TPersistentImage*>(&texture.Image());
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->Picture().Width(), expected[i].width);
        EXPECT_EQ(image->Picture().Height(), expected[i].height);
        const std::vector<uint8_t> data = image->Picture().WriteData();  // stored as it was read
        ASSERT_GT(data.size(), 15u);
        ASSERT_EQ(data[0], 10);
        EXPECT_EQ(std::string(data.begin() + 1, data.begin() + 11), "TJPEGImage");
        const uint32_t length = data[11] | (data[12] << 8) | (data[13] << 16) | (uint32_t(data[14]) << 24);
        EXPECT_EQ(length, data.size() - 15);  // the whole rest is the JPEG file
        int width = 0, height = 0, components = 0;
        bool baseline = false;
        ASSERT_TRUE(JpegFrame(std::span(data).subspan(15), width, height, components, baseline));
        EXPECT_EQ(width, expected[i].width);
        EXPECT_EQ(height, expected[i].height);
        EXPECT_EQ(components, 3);
        EXPECT_TRUE(baseline);
    }
}

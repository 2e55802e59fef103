#include <algorithm>
#include <array>
#include <chrono>
#include <map>

#include "store/WriteFaults.h"
#include "tests/game/game_fixture.h"

using namespace sauno;
using sauno::testing::GameTest;

namespace {
int Throws(TForm1& f, double before) { return static_cast<int>(std::lround((f.tolerance - before) / f.waterGain)); }
}  // namespace

TEST_F(GameTest, WaterNeedsTheArrowsInTurnEachAfterARelease)
{
    TForm1& f = Build();
    StartVisit();
    f.tolerance = 50;
    Tap(vk::Left);
    Tap(vk::Left);
    EXPECT_EQ(Throws(f, 50), 1) << "the same arrow twice in a row";
    Tap(vk::Right);
    Tap(vk::Left);
    EXPECT_EQ(Throws(f, 50), 3);
    EXPECT_EQ(f.toohotarvo->Text(), "53");

    // Left held while Right goes down: no throw until a key is released and pressed again.
    f.tolerance = 50;
    f.lastThrowKey = TThrowKey::None;
    Down(vk::Left);  // throws
    Down(vk::Right);
    Down(vk::Right);  // key repeat
    EXPECT_EQ(Throws(f, 50), 1);
    Up(vk::Left);
    Down(vk::Right);  // a repeat after a release throws
    EXPECT_EQ(Throws(f, 50), 2);
}

TEST_F(GameTest, ArrowsDoNothingBeforeTheVisitOrWhilePausedAndStopTheRestOfThePress)
{
    TForm1& f = Build();
    f.tolerance = 50;
    Tap(vk::Return);  // countdown
    Down(vk::Left);
    Down(vk::Return);  // Left stops the handling before the beer test
    EXPECT_DOUBLE_EQ(f.tolerance, 50);
    EXPECT_EQ(f.beersLeft, 3);
    Up(vk::Return);
    Up(vk::Left);
    for (int i = 0; i < 3; ++i) f.countdowntimerTimer(f.countdowntimer);
    Tap(vk::Escape);
    Tap(vk::Right);
    EXPECT_DOUBLE_EQ(f.tolerance, 50);
}

TEST_F(GameTest, ToleranceIsCappedAndShownRounded)
{
    TForm1& f = Build();
    StartVisit();
    f.tolerance = 99.5;
    f.lisaa();
    EXPECT_DOUBLE_EQ(f.tolerance, 100.0);
    EXPECT_EQ(f.toohotarvo->Text(), "100");
    EXPECT_EQ(FormatTolerance(98.5), "99");
    EXPECT_EQ(FormatTolerance(99.4), "99");
    EXPECT_EQ(FormatTolerance(0.5), "1");
    EXPECT_EQ(FormatTolerance(98.49999999999999), "99");  // the 98.5 it stands for
    EXPECT_EQ(FormatTolerance(0), "0");
}

TEST_F(GameTest, TheScheduleRaisesTemperatureAndDrainAtItsThresholds)
{
    struct Row {
        int after, period, temperature;
    };
    // Each row holds while the seconds are above its threshold and the next one's is not reached.
    const Row rows[] = {{0, 1000, 70},  {15, 500, 75},  {30, 400, 80},   {45, 300, 85},
                        {60, 200, 90},  {75, 190, 95},  {90, 180, 100},  {105, 170, 105},
                        {120, 160, 110}, {135, 140, 115}, {150, 120, 120}};
    TForm1& f = Build();
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        const Row& before = rows[i == 0 ? 0 : i - 1];
        SCOPED_TRACE("threshold " + std::to_string(row.after));
        f.alusta();
        f.secondsInSauna = row.after - 1;
        if (row.after > 0) {
            f.aikatimerTimer(f.aikatimer);  // at the threshold: still the row before
            EXPECT_EQ(f.secondsInSauna, row.after);
            EXPECT_EQ(f.sietod->Interval(), static_cast<uint32_t>(before.period));
            EXPECT_EQ(f.temperature, before.temperature);
            EXPECT_EQ(f.temp->Text(), std::to_string(before.temperature));
        } else {
            f.secondsInSauna = 0;
        }
        f.aikatimerTimer(f.aikatimer);  // one second past it
        EXPECT_EQ(f.time->Text(), std::to_string(row.after + 1));
        EXPECT_EQ(f.sietod->Interval(), static_cast<uint32_t>(row.period));
        EXPECT_EQ(f.temperature, row.temperature);
        EXPECT_EQ(f.temp->Text(), std::to_string(row.temperature));
    }
    // Far past the last threshold the last row stays.
    f.secondsInSauna = 1000;
    f.aikatimerTimer(f.aikatimer);
    EXPECT_EQ(f.sietod->Interval(), 120u);
    EXPECT_EQ(f.temp->Text(), "120");
}

TEST_F(GameTest, ABlockedArrowEndsThePressBeforeTheOtherArrowAndTheBeer)
{
    TForm1& f = Build();
    StartVisit();
    f.tolerance = 50;
    auto hold = [](int key) { keyboard::SetVirtualKeyState(key, true); };
    Tap(vk::Left);  // a throw: the next one must come from Right
    ASSERT_EQ(f.lastThrowKey, TThrowKey::Left);
    ASSERT_TRUE(f.keyLatch);
    const double afterThrow = f.tolerance;

    // Left again, with Right and Enter also down: Left is blocked and the press ends there.
    hold(vk::Right);
    hold(vk::Return);
    Down(vk::Left);
    EXPECT_EQ(f.tolerance, afterThrow) << "Right must not throw in the press a blocked Left ended";
    EXPECT_EQ(f.lastThrowKey, TThrowKey::Left);
    EXPECT_EQ(f.beersLeft, 3) << "nor may Enter drink";
    EXPECT_TRUE(f.keyLatch) << "a blocked arrow spends no latch";
    keyboard::ReleaseAll();

    // The same for Right after a Right throw: Enter is not reached.
    Tap(vk::Right);
    ASSERT_EQ(f.lastThrowKey, TThrowKey::Right);
    const double afterRight = f.tolerance;
    hold(vk::Return);
    Down(vk::Right);
    EXPECT_EQ(f.tolerance, afterRight);
    EXPECT_EQ(f.beersLeft, 3);
    EXPECT_TRUE(f.keyLatch);
    keyboard::ReleaseAll();

    // While the quit question is shown both arrows are blocked, Left first.
    f.lastThrowKey = TThrowKey::None;
    Tap(vk::Escape);
    hold(vk::Right);
    hold(vk::Return);
    Down(vk::Left);
    EXPECT_EQ(f.tolerance, afterRight);
    EXPECT_EQ(f.lastThrowKey, TThrowKey::None);
    EXPECT_EQ(f.beersLeft, 3);
    EXPECT_TRUE(f.keyLatch);
}

TEST_F(GameTest, ATickThatLeavesExactlyZeroDoesNotEndTheVisit)
{
    TForm1& f = Build();
    StartVisit();
    f.tolerance = 1.2;
    f.sietodTimer(f.sietod);
    EXPECT_EQ(f.tolerance, 0.0);
    EXPECT_FALSE(f.gameOver);
    EXPECT_EQ(f.toohotarvo->Text(), "0");
    f.sietodTimer(f.sietod);
    EXPECT_TRUE(f.gameOver);
    EXPECT_EQ(f.tolerance, 0.0);
    EXPECT_FALSE(f.sietod->Enabled());
    EXPECT_FALSE(f.aikatimer->Enabled());
}

TEST_F(GameTest, BeersFollowTheTwoDrawRuleAndAFourthSpendsOnlyTheLatch)
{
    TForm1& f = Build();
    StartVisit();
    std::map<int, int> histogram;
    const int draws = 62500;
    for (int i = 0; i < draws; ++i) {
        f.beersLeft = 3;
        f.juokalja();
        histogram[static_cast<int>(f.beerBonus)]++;
    }
    for (int v = 0; v <= 24; ++v) {
        double expected = draws * (v >= 15 ? 40.0 : 15.0) / 625.0;
        EXPECT_NEAR(histogram[v], expected, 6 * std::sqrt(expected)) << "bonus " << v;
    }
    EXPECT_EQ(histogram.size(), 25u);

    f.alusta();
    f.waitingForStart = false;
    for (int i = 0; i < 3; ++i) Tap(vk::Return);
    EXPECT_EQ(f.kalja->Text(), "0");
    EXPECT_NEAR(f.waterGain, 0.775, 1e-12);
    double before = f.tolerance;
    Down(vk::Return);
    EXPECT_FALSE(f.keyLatch);
    EXPECT_EQ(f.tolerance, before);
    EXPECT_EQ(f.kalja->Text(), "0");
}

TEST_F(GameTest, EnterStartsTheCountdownAndSpendsTheLatchOnNoBeer)
{
    TForm1& f = Build();
    Down(vk::Return);
    EXPECT_FALSE(f.enter->Visible());
    EXPECT_EQ(f.count->Text(), "3");
    EXPECT_TRUE(f.countdowntimer->Enabled());
    EXPECT_EQ(f.beersLeft, 3);
    EXPECT_FALSE(f.keyLatch);
    Up(vk::Return);
    f.countdowntimerTimer(f.countdowntimer);
    EXPECT_EQ(f.count->Text(), "2");
    f.countdowntimerTimer(f.countdowntimer);
    f.countdowntimerTimer(f.countdowntimer);
    EXPECT_EQ(f.count->Text(), "SAUNO!");
    EXPECT_TRUE(f.spent->Visible());
    EXPECT_EQ(f.time->Text(), "0");
    EXPECT_TRUE(f.aikatimer->Enabled());
    EXPECT_TRUE(f.sietod->Enabled());
    EXPECT_FALSE(f.countdowntimer->Enabled());
}

TEST_F(GameTest, GameOverStoresTheResultAndListsTheRecordsThatExist)
{
    TForm1& f = Build();
    for (int seconds : {30, 42, 10}) {
        f.alusta();
        StartVisit();
        f.secondsInSauna = seconds;
        f.tolerance = 0.5;
        f.sietodTimer(f.sietod);
        ASSERT_TRUE(f.gameOver);
        EXPECT_TRUE(f.hisco->Visible());
        EXPECT_TRUE(f.again->Visible());
        Tap(KeyOf('y'));
        EXPECT_FALSE(f.gameOver);
    }
    f.alusta();
    StartVisit();
    f.secondsInSauna = 42;
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    // Four records, longest first, equal times in the order stored: four lines, no repeats.
    ASSERT_EQ(f.hasco->ChildCount(), 4);
    std::vector<std::string> lines;
    for (int i = 0; i < f.hasco->ChildCount(); ++i) {
        auto* line = dynamic_cast<THUDText*>(f.hasco->Child(i));
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->Position().Y(), 175.0f + 15.0f * i);
        EXPECT_EQ(line->Position().X(), 0.0f);
        EXPECT_EQ(line->BitmapFont(), f.font1);
        EXPECT_EQ(line->Owner(), &f);
        lines.push_back(line->Text());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"Name:pelaaja, Time in sauna:42\r", "Name:pelaaja, Time in sauna:42\r",
                                               "Name:pelaaja, Time in sauna:30\r", "Name:pelaaja, Time in sauna:10\r"}));
    // Every result is in the files, read back by another process.
    EXPECT_EQ(ListScores(), "pelaaja\t42\npelaaja\t42\npelaaja\t30\npelaaja\t10\n");
}

TEST_F(GameTest, TheListStopsAtTenLines)
{
    TForm1& f = Build();
    for (int i = 0; i < 12; ++i) {
        f.table1->Insert();
        f.table1->FieldByName("aika")->SetAsInteger(i);
        f.table1->Post();
    }
    StartVisit();
    f.tolerance = 0.1;
    f.sietodTimer(f.sietod);
    ASSERT_EQ(f.hasco->ChildCount(), 10);
    // Records stored without a name read back with an empty one.
    EXPECT_EQ(dynamic_cast<THUDText*>(f.hasco->Child(0))->Text(), "Name:, Time in sauna:11\r");
    EXPECT_EQ(dynamic_cast<THUDText*>(f.hasco->Child(9))->Text(), "Name:, Time in sauna:2\r");
}

TEST_F(GameTest, PlayAgainClearsTheListAndResetsTheValues)
{
    TForm1& f = Build();
    StartVisit();
    f.aikatimerTimer(f.aikatimer);
    Tap(vk::Left);
    Tap(vk::Return);
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    ASSERT_TRUE(f.gameOver);
    // After game over water and beer still count; the timers stay off.
    Tap(vk::Right);
    EXPECT_GT(f.tolerance, 0.5);
    EXPECT_FALSE(f.aikatimer->Enabled());
    Tap(KeyOf('y'));
    EXPECT_EQ(f.hasco->ChildCount(), 0);
    EXPECT_FALSE(f.hisco->Visible());
    EXPECT_FALSE(f.again->Visible());
    EXPECT_FALSE(f.gameOver);
    EXPECT_EQ(f.temp->Text(), "70");
    EXPECT_EQ(f.toohotarvo->Text(), "100");
    EXPECT_EQ(f.kalja->Text(), "3");
    EXPECT_FALSE(f.enter->Visible());  // "Press enter to start!" stays hidden after the first visit
    EXPECT_EQ(f.count->Text(), "SAUNO!");
    EXPECT_EQ(f.time->Text(), "1");
    EXPECT_FALSE(Application().Terminated());
    Tap(vk::Return);
    EXPECT_EQ(f.count->Text(), "3");
}

TEST_F(GameTest, QuitQuestionPausesExactlyWhatRunsAndNResumesIt)
{
    TForm1& f = Build();
    StartVisit();
    Tap(vk::Escape);
    EXPECT_TRUE(f.quitPending);
    EXPECT_TRUE(f.quittext->Visible());
    EXPECT_FALSE(f.aikatimer->Enabled());
    EXPECT_FALSE(f.sietod->Enabled());
    Tap(vk::Escape);  // a further Escape changes nothing
    Tap(KeyOf('n'));
    EXPECT_FALSE(f.quitPending);
    EXPECT_FALSE(f.quittext->Visible());
    EXPECT_TRUE(f.aikatimer->Enabled());
    EXPECT_TRUE(f.sietod->Enabled());
}

TEST_F(GameTest, QuitQuestionBeforeTheVisitStartsNothingUntilTheCountdownHasEnded)
{
    TForm1& f = Build();
    Tap(vk::Escape);  // waiting: nothing runs
    Tap(KeyOf('n'));
    EXPECT_FALSE(f.aikatimer->Enabled());
    EXPECT_FALSE(f.sietod->Enabled());

    Tap(vk::Return);
    Tap(vk::Escape);  // during the countdown, which goes on
    for (int i = 0; i < 3; ++i) f.countdowntimerTimer(f.countdowntimer);
    EXPECT_EQ(f.count->Text(), "SAUNO!");
    EXPECT_FALSE(f.waitingForStart);
    EXPECT_FALSE(f.aikatimer->Enabled()) << "the clock must not count seconds the player spends answering";
    EXPECT_FALSE(f.sietod->Enabled());
    Tap(KeyOf('n'));
    EXPECT_TRUE(f.aikatimer->Enabled());
    EXPECT_TRUE(f.sietod->Enabled());
}

TEST_F(GameTest, QuitQuestionAfterGameOverDoesNotStoreASecondResult)
{
    TForm1& f = Build();
    StartVisit();
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    ASSERT_TRUE(f.gameOver);
    Tap(vk::Escape);
    Down(KeyOf('n'));  // "No, don't quit": answers the quit question only
    EXPECT_FALSE(f.aikatimer->Enabled());
    EXPECT_FALSE(f.sietod->Enabled());
    EXPECT_EQ(f.table1->RecordCount(), 1);
    EXPECT_FALSE(Application().Terminated());
    EXPECT_FALSE(f.quitPending);
    EXPECT_FALSE(f.quittext->Visible());
    EXPECT_TRUE(f.gameOver);
    EXPECT_TRUE(f.again->Visible());
    Down(KeyOf('n'));  // the key held: the play-again question is now the one shown
    EXPECT_TRUE(Application().Terminated());
}

TEST_F(GameTest, AFailedStoreIsShownOnceAndTheGameGoesOn)
{
    TForm1& f = Build();
    f.table1->Insert();
    f.table1->FieldByName("nimi")->SetAsString("earlier");
    f.table1->FieldByName("aika")->SetAsInteger(99);
    f.table1->Post();
    // Files that cannot be written: the table opens read-only.
    f.table1->Close();
    std::filesystem::permissions(dir / "scores" / "enkat.DAT", std::filesystem::perms::owner_read);
    std::filesystem::permissions(dir / "scores" / "enkat.IDX", std::filesystem::perms::owner_read);
    f.table1->Open();
    ASSERT_TRUE(f.table1->ReadOnly);
    StartVisit();
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Your time was not stored in the high-score table: Cannot modify a read-only dataset. "
                         "The table in " + f.StoreDatabase1->Directory() +
                         " is read-only for you; whoever looks after this machine can let you write it.");
    EXPECT_TRUE(f.gameOver);
    EXPECT_TRUE(f.hisco->Visible());
    EXPECT_TRUE(f.again->Visible());
    ASSERT_EQ(f.hasco->ChildCount(), 1);
    EXPECT_EQ(dynamic_cast<THUDText*>(f.hasco->Child(0))->Text(), "Name:earlier, Time in sauna:99\r");
    EXPECT_EQ(f.table1->RecordCount(), 1);

    // The next visit plays and stores as usual once the table can be written.
    f.table1->Close();
    std::filesystem::permissions(dir / "scores" / "enkat.DAT", std::filesystem::perms::owner_all);
    std::filesystem::permissions(dir / "scores" / "enkat.IDX", std::filesystem::perms::owner_all);
    f.table1->Open();
    Tap(KeyOf('y'));
    StartVisit();
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    EXPECT_EQ(f.table1->RecordCount(), 2);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(ListScores(), "earlier\t99\npelaaja\t0\n");
}

namespace {
// The Nth file write from now on fails as on a full disk, until the guard goes.
struct FailingWrite {
    explicit FailingWrite(uint64_t n) { store::SetWriteFaults({n, 0}); }
    ~FailingWrite() { store::SetWriteFaults({}); }
};
std::string LineText(TForm1& f, int i) { return dynamic_cast<THUDText*>(f.hasco->Child(i))->Text(); }
}  // namespace

TEST_F(GameTest, AFailedPostIsCancelledShownOnceAndNeverStoredLater)
{
    TForm1& f = Build();
    f.table1->Insert();
    f.table1->FieldByName("nimi")->SetAsString("earlier");
    f.table1->FieldByName("aika")->SetAsInteger(99);
    f.table1->Post();
    StartVisit();
    f.secondsInSauna = 42;
    f.tolerance = 0.5;
    {
        FailingWrite full(1);  // the first write of the commit the first move makes
        f.sietodTimer(f.sietod);
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Your time was not stored in the high-score table: ", 0), 0u) << errors[0];
    EXPECT_EQ(f.table1->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(f.gameOver);
    EXPECT_TRUE(f.hisco->Visible());
    ASSERT_EQ(f.hasco->ChildCount(), 1) << "the earlier record is still readable";
    EXPECT_EQ(LineText(f, 0), "Name:earlier, Time in sauna:99\r");

    // The next visit's end stores its own result and not the lost one.
    Tap(KeyOf('y'));
    StartVisit();
    f.secondsInSauna = 7;
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(ListScores(), "earlier\t99\npelaaja\t7\n");
    ASSERT_EQ(f.hasco->ChildCount(), 2);
    EXPECT_EQ(LineText(f, 1), "Name:pelaaja, Time in sauna:7\r");
}

TEST_F(GameTest, AStoredResultWhoseListCannotBeReadIsNotCalledLost)
{
    // A table whose times are text, with one that is not a number, sorted after the others.
    std::filesystem::remove(dir / "scores" / "enkat.DAT");
    std::filesystem::remove(dir / "scores" / "enkat.IDX");
    const std::string tool = std::string(SAUNO_TABLE_TOOL) + " ";
    const std::string table = " '" + ScoreDir() + "' enkat ";
    ASSERT_EQ(std::system((tool + "create" + table + "nimi:string:40 aika:string:10 --index aika=aika- >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((tool + "insert" + table + "nimi=good aika=99 >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((tool + "insert" + table + "nimi=bad aika=!! >/dev/null").c_str()), 0);
    TForm1& f = Build();
    StartVisit();
    f.secondsInSauna = 42;
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Your time was stored in the high-score table, but the table could not be read: "
                         "'!!' is not a valid integer value");
    EXPECT_TRUE(f.gameOver);
    EXPECT_TRUE(f.again->Visible());
    // The lines before the bad record, once each.
    ASSERT_EQ(f.hasco->ChildCount(), 2);
    EXPECT_EQ(LineText(f, 0), "Name:good, Time in sauna:99\r");
    EXPECT_EQ(LineText(f, 1), "Name:pelaaja, Time in sauna:42\r");
    EXPECT_EQ(ListScores(), "good\t99\npelaaja\t42\nbad\t!!\n");
}

TEST_F(GameTest, TheWaysOut)
{
    TForm1& f = Build();
    Tap(vk::Escape);
    EXPECT_FALSE(Application().Terminated());
    Tap(KeyOf('y'));
    EXPECT_TRUE(Application().Terminated());
    EXPECT_FALSE(f.scnf->Active());

    Application().ResetTerminated();
    Tap(KeyOf('n'));
    Down(vk::Menu);
    Down(vk::F4);
    EXPECT_TRUE(Application().Terminated());
    Up(vk::F4);
    Up(vk::Menu);

    Application().ResetTerminated();
    StartVisit();
    f.tolerance = 0.5;
    f.sietodTimer(f.sietod);
    Tap(KeyOf('n'));
    EXPECT_TRUE(Application().Terminated());
}

TEST_F(GameTest, MouseDragOrbitsTheCameraAroundItsTargetOnlyWithTheLeftButton)
{
    TForm1& f = Build();
    auto distance = [&] { return Length3(Sub(f.Camera1->AbsolutePosition(), f.target->AbsolutePosition())); };
    const TVector4 start = f.Camera1->AbsolutePosition();
    EXPECT_NEAR(distance(), 0.35f, 1e-5f);
    f.scnMouseDown(f.scn, TMouseButton::mbLeft, ssLeft, 100, 100);
    f.scnMouseMove(f.scn, ssLeft, 110, 90);  // ten pixels right and up: turn -10, pitch +10 degrees
    EXPECT_EQ(f.lastMouseX, 110);
    EXPECT_EQ(f.lastMouseY, 90);
    const TVector4 moved = f.Camera1->AbsolutePosition();
    EXPECT_GT(Length3(Sub(moved, start)), 0.05f);
    EXPECT_NEAR(distance(), 0.35f, 1e-5f);
    // Without the left button the pointer is only followed.
    f.scnMouseMove(f.scn, 0, 10, 10);
    EXPECT_EQ(f.lastMouseX, 10);
    EXPECT_EQ(Length3(Sub(f.Camera1->AbsolutePosition(), moved)), 0.0f);
    f.scnMouseMove(f.scn, ssRight, 50, 50);
    EXPECT_EQ(Length3(Sub(f.Camera1->AbsolutePosition(), moved)), 0.0f);
}

// Enter's auto-repeat while it is held is one press: one beer, not three.
TEST_F(GameTest, EnterHeldDownDrinksOneBeerUntilAKeyIsReleased)
{
    TForm1& f = Build();
    StartVisit();
    for (int repeat = 0; repeat < 3; ++repeat) Down(vk::Return);
    EXPECT_EQ(f.beersLeft, 2);
    EXPECT_EQ(f.kalja->Text(), "2");
    Up(vk::Return);
    Down(vk::Return);
    EXPECT_EQ(f.beersLeft, 1);
}

// A drag turns the view by the start minus the pointer and pitches it by the pointer's rise.
TEST_F(GameTest, ADragTurnsByTheStartMinusThePointerAndPitchesByTheRise)
{
    TForm1& f = Build();
    auto state = [&] {
        return std::array{f.Camera1->Position().AsVector(), f.Camera1->Direction().AsVector(),
                          f.Camera1->Up().AsVector()};
    };
    const auto start = state();
    auto orbitFromStart = [&](float pitch, float turn) {
        f.Camera1->Position().SetAsVector(start[0]);
        f.Camera1->Direction().SetAsVector(start[1]);
        f.Camera1->Up().SetAsVector(start[2]);
        f.Camera1->OrbitTarget(pitch, turn);
        return state();
    };
    auto apart = [](const std::array<TVector4, 3>& a, const std::array<TVector4, 3>& b) {
        float most = 0;
        for (int i = 0; i < 3; ++i) most = std::max(most, Length3(Sub(a[i], b[i])));
        return most;
    };
    f.scnMouseDown(f.scn, TMouseButton::mbLeft, ssLeft, 100, 100);
    f.scnMouseMove(f.scn, ssLeft, 110, 90);  // ten pixels right and ten up
    const auto dragged = state();
    EXPECT_LT(apart(dragged, orbitFromStart(10, -10)), 1e-5f);
    EXPECT_GT(apart(dragged, orbitFromStart(10, 10)), 0.01f) << "the turn's sign";
    EXPECT_GT(apart(dragged, orbitFromStart(-10, -10)), 0.01f) << "the pitch's sign";
}

TEST_F(GameTest, TheHissAddsOneEmitterOnTheTargetPerTick)
{
    TForm1& f = Build();
    f.Timer1Timer(f.Timer1);
    f.Timer1Timer(f.Timer1);
    ASSERT_EQ(f.target->Behaviours().Count(), 2);
    auto* hiss = dynamic_cast<TBSoundEmitter*>(f.target->Behaviours().Items(1));
    ASSERT_NE(hiss, nullptr);
    EXPECT_EQ(hiss->Source().SoundName(), "sihahdus2.wav");
    EXPECT_EQ(hiss->Source().NbLoops(), 1);
    EXPECT_FLOAT_EQ(hiss->Source().Volume(), 0.5f);
    EXPECT_EQ(hiss->Source().SoundLibrary(), f.SoundLibrary1);
    EXPECT_TRUE(hiss->Playing());
}

TEST_F(GameTest, FinishedHissesGoAndALongVisitKeepsOnlyAFew)
{
    TForm1& f = Build();
    auto hiss = [&](int i) { return dynamic_cast<TBSoundEmitter*>(f.target->Behaviours().Items(i)); };
    f.Timer1Timer(f.Timer1);
    f.Timer1Timer(f.Timer1);
    TBSoundEmitter* second = hiss(1);
    // The first one's sound ends: the back-end frees its source.
    TSoundSource* source = hiss(0)->PlayingSource();
    ASSERT_NE(source, nullptr);
    source->Collection()->Delete(source);
    ASSERT_FALSE(hiss(0)->Playing());
    f.Timer1Timer(f.Timer1);
    ASSERT_EQ(f.target->Behaviours().Count(), 2);
    EXPECT_EQ(hiss(0), second);
    EXPECT_TRUE(hiss(1)->Playing());

    // An hour of hisses whose sounds are never refreshed to an end: the list stays small, the
    // newest plays, and the sound manager holds no more sources than there are emitters.
    for (int tick = 0; tick < 360; ++tick) f.Timer1Timer(f.Timer1);
    EXPECT_LE(f.target->Behaviours().Count(), 3);
    EXPECT_TRUE(hiss(f.target->Behaviours().Count() - 1)->Playing());
    EXPECT_LE(f.SMFMOD1->Sources().Count(), 1 + 3) << "the fire and the hisses";
}

TEST_F(GameTest, AVisitRunsOnTheRealLoopWithItsTimersAndTheDrainThread)
{
    TForm1& f = Build();
    auto runFor = [](int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) Application().HandleMessage(2);
    };
    Tap(vk::Return);
    // Three countdown ticks, one second apart, while the cadencer runs flat out; a loaded
    // machine may deliver them late, never early.
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::seconds(8);
    while (f.count->Text() != "SAUNO!" && std::chrono::steady_clock::now() < deadline)
        Application().HandleMessage(2);
    EXPECT_EQ(f.count->Text(), "SAUNO!");
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2900));
    EXPECT_FALSE(f.waitingForStart);
    runFor(2300);
    EXPECT_GE(f.secondsInSauna, 1);
    EXPECT_LE(f.secondsInSauna, 3);
    EXPECT_EQ(f.time->Text(), std::to_string(f.secondsInSauna));
    // The drain ticks once a second on its own thread, handed to this one.
    EXPECT_LT(f.tolerance, 100.0);
    EXPECT_GE(f.tolerance, 100.0 - 4 * 1.2);
    EXPECT_TRUE(errors.empty());
}

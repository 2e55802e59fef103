// The steam of a throw: made only by a throw that counts, gone after its two seconds.
#include "tests/game/game_fixture.h"

using namespace sauno;
using sauno::testing::GameTest;

TEST_F(GameTest, ASuccessfulThrowRaisesSteamThatIsGoneAfterTwoSeconds)
{
    TForm1& f = Build();
    ASSERT_NE(f.steam, nullptr);
    EXPECT_EQ(f.steam->Scene(), f.Scene1) << "not in the scene: never drawn";
    StartVisit();
    Tap(vk::Left);
    EXPECT_EQ(f.steam->Alive(), TSteam::kSpritesPerPuff);
    Tap(vk::Left);  // the same arrow again: no throw, no steam
    EXPECT_EQ(f.steam->Alive(), TSteam::kSpritesPerPuff);
    // Half-way the cloud is still there; after its life it is gone, in steps as frames come.
    for (int i = 0; i < 10; ++i) f.steam->DoProgress({0.1, 0});
    EXPECT_EQ(f.steam->Alive(), TSteam::kSpritesPerPuff);
    for (int i = 0; i < 15; ++i) f.steam->DoProgress({0.1, 0});
    EXPECT_EQ(f.steam->Alive(), 0);
    EXPECT_EQ(f.toohotarvo->Text(), FormatTolerance(f.tolerance));
}

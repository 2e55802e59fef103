#pragma once
// Builds the real game form from the real scene description in a scratch directory that stands
// in for the executable's, with the high-score table of its own there (made by sauno-table, as
// the build makes the game's), and scripts the keyboard the way key events would.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "game/peli.h"
#include "platform/keyboard.h"
#include "runtime/application.h"

namespace sauno::testing {

class GameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application().Initialize();
        Application().ResetTerminated();
        RegisterGameClasses();
        keyboard::ReleaseAll();
        Application().OnException = [this](const std::string& text) { errors.push_back(text); };
        dir = std::filesystem::temp_directory_path() /
              ("sauno_game_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "data");
        // The model the build makes, where the game looks for it.
        std::filesystem::copy_file(SAUNO_MODEL_FILE, dir / "data" / "sauna2.3ds");
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(SAUNO_MODEL_FILE).parent_path()))
            if (entry.path().extension() == ".jpg") std::filesystem::copy_file(entry.path(), dir / "data" / entry.path().filename());
        std::filesystem::create_directories(dir / "scores");
        previousDirectory = std::filesystem::current_path();
        MakeScoreTable();
    }

    // The game's table, empty, in a scratch directory of its own.
    void MakeScoreTable()
    {
        const std::string line = std::string(SAUNO_TABLE_TOOL) + " create-scores '" + ScoreDir() + "' >/dev/null";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }
    std::string ScoreDir() const { return (dir / "scores").string(); }
    // The table as sauno-table lists it, in the order of "aika".
    std::string ListScores() const
    {
        std::string out;
        const std::string line = std::string(SAUNO_TABLE_TOOL) + " list '" + ScoreDir() + "' enkat --index aika";
        if (FILE* pipe = ::popen(line.c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
            ::pclose(pipe);
        }
        return out;
    }
    // The description with that directory as the database directory.
    std::string Description() const
    {
        std::string text(SceneDescription());
        const size_t database = text.find("TStoreDatabase StoreDatabase1");
        const std::string key = "Directory = \"";
        const size_t start = text.find(key, database) + key.size();
        const size_t end = text.find('"', start);
        if (database == std::string::npos || end == std::string::npos) return text;
        return text.replace(start, end - start, ScoreDir());
    }

    void TearDown() override
    {
        form.reset();
        Application().OnException = nullptr;
        Application().ResetTerminated();
        keyboard::ReleaseAll();
        std::filesystem::current_path(previousDirectory);
        std::filesystem::remove_all(dir);
    }

    void WriteSettings(const std::string& text) { std::ofstream(dir / "settings.ini") << text; }

    TForm1& Build()
    {
        form = std::make_unique<TForm1>(nullptr);
        form->ExecutableDirectory = dir.string() + "/";
        form->ReadDescription(Description());
        return *form;
    }

    // A key goes down or up, then the handlers run, as for a key event.
    void Down(int key)
    {
        keyboard::SetVirtualKeyState(key, true);
        uint16_t k = static_cast<uint16_t>(key);
        form->FormKeyDown(form.get(), k, 0);
    }
    void Up(int key)
    {
        keyboard::SetVirtualKeyState(key, false);
        uint16_t k = static_cast<uint16_t>(key);
        form->FormKeyUp(form.get(), k, 0);
    }
    void Tap(int key)
    {
        Down(key);
        Up(key);
    }
    static int KeyOf(char c) { return keyboard::VirtualKeyForCharacter(c); }

    // Enter, then the three countdown ticks: the visit runs.
    void StartVisit()
    {
        Tap(vk::Return);
        for (int i = 0; i < 3; ++i) form->countdowntimerTimer(form->countdowntimer);
        ASSERT_FALSE(form->waitingForStart);
    }

    std::filesystem::path dir;
    std::filesystem::path previousDirectory;
    std::unique_ptr<TForm1> form;
    std::vector<std::string> errors;
};

}  // namespace sauno::testing

// The game's form as built, for the benchmarks that measure it: its settings
// and the room in its data folder. A figure of a game that could not load
// its room would be another game's, so any error (a missing file, an
// exception the application reports) prints "error: ..." and the caller
// stops without a figure.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "game/peli.h"
#include "runtime/application.h"

namespace sauno::bench {

class TGameAsBuilt {
public:
    // Initialises the application and registers the game's classes.
    TGameAsBuilt()
    {
        Application().Initialize();
        Application().OnException = [this](const std::string& text) {
            std::fprintf(stderr, "error: %s\n", text.c_str());
            failed_ = true;
        };
        RegisterGameClasses();
    }

    // The form read from the game's description in `gameDir`; nullptr after an error.
    std::unique_ptr<TForm1> Load(const std::filesystem::path& gameDir)
    {
        const std::filesystem::path model = gameDir / "data" / "sauna2.3ds";
        if (!std::filesystem::is_regular_file(model)) {
            std::fprintf(stderr, "error: File not found: \"%s\"\n", model.c_str());
            return nullptr;
        }
        auto form = std::make_unique<TForm1>(nullptr);
        form->ExecutableDirectory = gameDir.string() + "/";
        try {
            form->ReadDescription(SceneDescription());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "error: %s\n", error.what());
            return nullptr;
        }
        if (failed_) return nullptr;
        return form;
    }

    // Whether the application reported an error since.
    bool Failed() const { return failed_; }

private:
    bool failed_ = false;
};

}  // namespace sauno::bench

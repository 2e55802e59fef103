// The program entry: builds the game form from the embedded description and runs the loop.
#include <malloc.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string_view>

#include "game/peli.h"
#include "platform/messagebox.h"
#include "platform/privilege.h"
#include "runtime/application.h"
#include "store/StoreError.h"

namespace {

const char* const usage =
    "Usage: sauno [--help | --version]\n"
    "A sauna endurance game. Press Enter to start a visit, throw water with Left and Right in\n"
    "turn, drink a beer with Enter (three in all), pause with Escape. The visit ends when your\n"
    "toleration falls below zero; your time goes into the top ten.\n"
    "Settings are read from settings.ini beside the game; the model from its data folder.\n";

// Answers --help and --version without opening a window; returns -1 when the game should run.
int AnswerCommandLine(int argc, char** argv)
{
    if (argc <= 1) return -1;
    std::string_view arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && arg == "--version") {
        std::printf("sauno %s\n", SAUNO_VERSION);
        return 0;
    }
    std::fprintf(stderr, "sauno: unknown argument '%s'\n%s", argv[1], usage);
    return 2;
}

// The store's error, and for a missing table, or a table whose index file
// lost the index the game reads it by, the command that mends it.
std::string WithAdvice(const store::EStoreEngineError& error)
{
    std::string text = error.what();
    const std::string& table = error.Context().Table;
    if (table.empty()) return text;
    const std::string dir = std::filesystem::path(table).parent_path().string();
    if (error.Code() == store::STORE_OSENOENT) {
        text += ". The high-score table is missing from " + dir +
                "; make it with: sauno-table create-scores " + dir;
    } else if (error.Code() == store::STORE_HEADERCORRUPT || error.Code() == store::STORE_FILECORRUPT ||
               error.Code() == store::STORE_INDEXCORRUPT) {
        text += ". The high-score table in " + dir +
                " was left unfinished or damaged (a power cut, a full disk); mend it, keeping every whole record, with: "
                "sauno-table repair " + dir + " enkat";
    } else if (error.Code() == store::STORE_INVALIDINDEXNAME) {
        text += ". The index file of the high-score table in " + dir +
                " has lost its index '" + error.Context().Index +
                "'; the scores are kept: build it again with: sauno-table create-scores " + dir;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace sauno;
    // Installed set-group-ID: the group's rights are put aside before anything reads the
    // player's environment, and taken back only to open the high-score table.
    platform::SetAsidePrivilegedGroup();
    if (int status = AnswerCommandLine(argc, argv); status >= 0) return status;
    // The start makes and frees blocks of megabytes: pictures, their levels, texture storage.
    // With the default threshold, which rises with the first such block freed, the largest
    // stay in the heap after use and their pages stay resident. A fixed one keeps each of
    // those (a texture's levels, its storage) in a mapping of its own that goes back to the
    // system when freed; the smaller pictures' rows are reused from the heap meanwhile.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    std::unique_ptr<TForm1> form;
    try {
        Application().Initialize();
        RegisterGameClasses();
        form = std::make_unique<TForm1>(nullptr);
        form->ReadDescription(SceneDescription());
        // The table's files are open and locked: the group is not needed again.
        platform::GiveUpPrivilegedGroup();
        ReleaseSceneDescription();
    } catch (const ::store::EStoreEngineError& error) {
        // Mostly a missing or unreadable high-score table: say where and what to do.
        platform::GiveUpPrivilegedGroup();
        form.reset();
        platform::ShowMessageBox("Sauno", WithAdvice(error), platform::MessageKind::Error);
        return 1;
    } catch (const std::exception& error) {
        // The form could not be built: say why and end before any window shows.
        platform::GiveUpPrivilegedGroup();
        form.reset();
        platform::ShowMessageBox("Sauno", error.what(), platform::MessageKind::Error);
        return 1;
    }
    Application().SetMainForm(form.get());
    Application().Run();
    form.reset();
    return 0;
}

// The program entry: builds the game form from the embedded description and runs the loop.
#include <exception>
#include <memory>

#include "game/peli.h"
#include "platform/messagebox.h"
#include "runtime/application.h"

int main()
{
    using namespace sauno;
    std::unique_ptr<TForm1> form;
    try {
        Application().Initialize();
        RegisterGameClasses();
        form = std::make_unique<TForm1>(nullptr);
        form->ReadDescription(SceneDescription());
    } catch (const std::exception& error) {
        // The form could not be built: say why and end before any window shows.
        form.reset();
        platform::ShowMessageBox("Sauno", error.what(), platform::MessageKind::Error);
        return 1;
    }
    Application().SetMainForm(form.get());
    Application().Run();
    form.reset();
    return 0;
}

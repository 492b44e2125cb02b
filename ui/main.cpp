// Prelivo: joins the broken lines of copied text. Click into the window and
// the clipboard's text comes back joined, ready to paste.
#include <windows.h>

#include "main_window.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The command line and the requested show mode are not used: the window
    // always opens the same way.
    prelivo::MainWindow window;
    if (!window.create(instance)) return 1;
    window.show();
    return prelivo::runMessageLoop(window);
}

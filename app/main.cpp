#include "app/converter_app.h"
#include "platform/mbstring.h"

#include <windows.h>

namespace {

ConverterApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Paths are ANSI bytes; the runtime's multibyte searches must walk them in that code page.
    platform::useAnsiCodePage();
    theApp.InitInstance();
    return 0;
}

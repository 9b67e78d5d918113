// The process entry point and the one application object.
#include <windows.h>

#include "app/ostrel_app.h"

namespace {
ostrel::app::COstrelApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return theApp.Run(); }

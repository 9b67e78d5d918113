// A program that only carries Ostrel's resources, so that the resources can be read back from a
// linked executable independently of the rest of the Windows front end.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }

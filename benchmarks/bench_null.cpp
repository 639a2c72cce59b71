// A pass that costs nothing: the .vbs association points here while the flat-cost benchmark runs.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }

#include <windows.h>

#include "program.h"

// Arguments are ignored: the program takes none.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return run_program();
}

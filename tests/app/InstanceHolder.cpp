// Stands in for a running copy of the installer: it only waits, under
// whatever file name the test gave it, until the test ends it.
#include <windows.h>

int main()
{
    Sleep(120000);
    return 0;
}

#include "launcher/Launcher.h"

// The launcher has no options: whatever arguments it is given are ignored.
int main()
{
    return RunLauncher();
}

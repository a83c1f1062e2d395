// velmora-flat-assistant: the command line program; with --gui, the window.
#include "commandline.h"

#include <cstring>

// ---- the window's hook: built in when the window's library velmora_assistantgui exists ----
#ifdef VELMORA_ASSISTANT_GUI
#include "assistantwindow_main.h"
#endif

static bool asksForWindow(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gui") == 0)
            return true;
    return false;
}
// ---- end of the window's hook ----

int main(int argc, char **argv)
{
    if (asksForWindow(argc, argv)) {
#ifdef VELMORA_ASSISTANT_GUI
        return runAssistantWindow(argc, argv);
#else
        return windowNotBuilt();
#endif
    }
    return runCommandLine(argc, argv);
}

// The window of velmora-flat-assistant (--gui): builds the application and runs its event loop.
#pragma once

// Takes the program's arguments; understands --night (start in the night theme) and fills the window's fields from
// the run options of the command line (--indi, --camera, --light, --wheel, --filters, --table, ...).
int runAssistantWindow(int argc, char **argv);

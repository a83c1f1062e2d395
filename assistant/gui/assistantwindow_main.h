// The window of velmora-flat-assistant (--gui): builds the application and runs its event loop.
#pragma once

// Takes the program's arguments as the command line reads them (parseAssistantArguments): the window starts with
// the options that are right, in the theme --night asks for, and names each wrong one in its log and on standard
// error.
int runAssistantWindow(int argc, char **argv);

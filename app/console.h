// Where the program's text output and debug lines go. On Linux they go to the standard streams as they are. On
// Windows the program is a windowed one, which Windows starts without a console: there the debug lines go to the
// standard error stream whenever it leads somewhere (a console, a file, a pipe), and otherwise to the debugger's
// output as Qt sends them.
#pragma once

// For a run without a window (--headless, --help, --version): the console of the program that started it, or one
// of its own when there is none; the output goes there unless it is redirected. Called before the application
// object exists.
void useConsoleOfItsOwn();

// Sends the debug lines to the standard error stream where that leads somewhere.
void routeDebugLines();

// The server without a window: the box's controller, the lost-box watch and the Alpaca server on a
// QCoreApplication, for a computer at the telescope with no display.
#pragma once

class BoxController;
class QCoreApplication;

// Serves the box's controller until SIGTERM, SIGINT or SIGHUP; then the lamp goes off and the box is disconnected, as
// the window's close does.
int runHeadless(QCoreApplication &app, BoxController &controller);

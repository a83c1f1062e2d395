// Tells the box's controller while a message box or file dialog of the window waits for the user: the front
// ends beside the window refuse commands meanwhile.
#pragma once

class BoxController;
class QWidget;

void watchDialogs(QWidget &window, BoxController &controller);

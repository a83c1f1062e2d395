// A file of a Qt Core layer that includes Qt Widgets headers: the layer check must refuse it (tst_layercheck).
#pragma once

#include <QObject>
#include <QString>
#include "qmessagebox.h"
#include <QtWidgets/QLabel>
#  include <QWidget>

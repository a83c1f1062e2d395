#include "windowtest.h"

#include "messages.h"

#include <QAbstractButton>

std::unique_ptr<VelmoraFlat> makeWindow(const QString &autoSearch)
{
    MessageCapture capture;
    auto window = std::make_unique<VelmoraFlat>(nullptr, autoSearch);
    for (const QString &warning : capture.warnings()) {
        if (warning.contains(QLatin1String("connectSlotsByName")))
            QTest::qFail(qPrintable(QStringLiteral("slot wiring: ") + warning), __FILE__, __LINE__);
    }
    return window;
}

void pressButton(QWidget &window, const char *objectName)
{
    if (auto *button = child<QAbstractButton>(window, objectName))
        QTest::mousePress(button, Qt::LeftButton);
}

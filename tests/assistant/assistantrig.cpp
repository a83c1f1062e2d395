#include "assistantrig.h"

#include <QTest>

const QString AssistantRig::light = QStringLiteral("VELMORA Flat Box");
const QString AssistantRig::wheel = QStringLiteral("Filter Simulator");
const QString AssistantRig::camera = QStringLiteral("Model Camera");

bool AssistantRig::start(const RigSetup &setup)
{
    scale = setup.timeScale;
    if (!box.start()) {
        error = box.errorText();
        return false;
    }
    qputenv("VELMORA_TEST_CCD_BOX", setup.box.toUtf8());
    qputenv("VELMORA_TEST_CCD_BAYER", setup.bayer.toUtf8());
    qputenv("VELMORA_TEST_CCD_FAULT", setup.fault.toUtf8());
    qputenv("VELMORA_TEST_CCD_FAULT_AT", QByteArray::number(setup.faultAt));
    qputenv("VELMORA_TEST_CCD_TIME_SCALE", QByteArray::number(setup.timeScale));
    qputenv("VELMORA_TEST_AUX", setup.aux.toUtf8());
    QStringList drivers{VELMORA_INDI_DRIVER, QStringLiteral("indi_simulator_wheel"), VELMORA_TEST_CAMERA};
    if (!setup.aux.isEmpty())
        drivers.append(VELMORA_TEST_AUX);
    if (!indi.start(drivers, camera)) {
        error = indi.errorText();
        return false;
    }
    const QString device = light + QLatin1Char('.');
    if (!indi.set(device + "DEVICE_PORT.PORT=" + box.port()) || !indi.set(device + "CONNECTION.CONNECT=On")
        || !indi.waitFor({device + "CONNECTION._STATE==1", device + "CONNECTION.CONNECT==1"}, 10)) {
        error = QStringLiteral("the INDI driver did not connect to the box simulator");
        return false;
    }
    return true;
}

AssistantOptions AssistantRig::options(const QStringList &filters) const
{
    AssistantOptions options;
    options.indiPort = indi.port();
    options.camera = camera;
    options.light = light;
    options.wheel = wheel;
    options.filters = filters;
    options.search.exposure = scaled(2);
    options.search.minExposure = scaled(0.5);
    options.search.maxExposure = scaled(60);
    options.frameTimeoutS = 5;
    return options;
}

bool runToEnd(FlatAssistant &assistant, int timeoutMs)
{
    assistant.start();
    return QTest::qWaitFor(
        [&assistant] {
            const auto state = assistant.state();
            return state == FlatAssistant::State::Finished || state == FlatAssistant::State::Stopped
                   || state == FlatAssistant::State::Failed;
        },
        timeoutMs);
}

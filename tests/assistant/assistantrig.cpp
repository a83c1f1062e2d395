#include "assistantrig.h"

#include <QTest>

const QString AssistantRig::light = QStringLiteral("VELMORA Flat Box");
const QString AssistantRig::wheel = QStringLiteral("Filter Simulator");
const QString AssistantRig::camera = QStringLiteral("Model Camera");

bool AssistantRig::start(const RigSetup &setup)
{
    scale = setup.timeScale;
    current = setup;
    if (!box.start()) {
        error = box.errorText();
        return false;
    }
    qputenv("VELMORA_TEST_CCD_BOX", setup.box.toUtf8());
    qputenv("VELMORA_TEST_CCD_BAYER", setup.bayer.toUtf8());
    qputenv("VELMORA_TEST_CCD_FAULT", setup.fault.toUtf8());
    qputenv("VELMORA_TEST_CCD_FAULT_AT", QByteArray::number(setup.faultAt));
    qputenv("VELMORA_TEST_CCD_TIME_SCALE", QByteArray::number(setup.timeScale));
    qputenv("VELMORA_TEST_CCD_PWM_HZ", setup.pwmHz < 0 ? QByteArray() : QByteArray::number(setup.pwmHz));
    qputenv("VELMORA_TEST_CCD_DUTY", QByteArray::number(setup.duty));
    qputenv("VELMORA_TEST_CCD_LINE_TIME", QByteArray::number(setup.lineTime));
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

bool AssistantRig::configure(const RigSetup &setup)
{
    scale = setup.timeScale;
    current = setup;
    const QString pwm = setup.pwmHz < 0 ? QStringLiteral(" ") : QString::number(setup.pwmHz);
    return indi.set(camera + ".MODEL.BOX;RATE;TIME_SCALE;FAULT;FAULT_AT;PWM_HZ;DUTY;LINE_TIME=" + setup.box + "; ;"
                    + QString::number(setup.timeScale) + ';' + setup.fault + ';' + QString::number(setup.faultAt) + ';'
                    + pwm + ';' + QString::number(setup.duty) + ';' + QString::number(setup.lineTime));
}

AssistantRig *rigFor(std::unique_ptr<AssistantRig> &kept, const RigSetup &setup, QString &problem)
{
    if (kept && kept->setup().bayer == setup.bayer && kept->setup().aux == setup.aux && kept->configure(setup)
        && kept->indi.set(AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF=On")
        && kept->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1",
                               AssistantRig::light + ".CONNECTION._STATE==1"}, 3))
        return kept.get();
    kept.reset();
    kept = std::make_unique<AssistantRig>();
    if (kept->start(setup))
        return kept.get();
    problem = kept->errorText();
    kept.reset();
    return nullptr;
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
        [&assistant] { return FlatAssistant::isFinished(assistant.state()); },
        timeoutMs);
}

// The window's construction, close handling, slot table and pictures, with the test doubles.
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "testmain.h"
#include "windowtest.h"

#include <QGraphicsView>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSysInfo>
#include <QTabWidget>

namespace {

// QObject::receivers is protected; a pointer to it taken through a subclass may be called on any QObject.
struct ReceiversAccess : QObject
{
    using QObject::receivers;
};

int receiverCount(const QObject *sender, const char *signal)
{
    int (QObject::*receivers)(const char *) const = &ReceiversAccess::receivers;
    return (sender->*receivers)(signal);
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void slotTableInDeclaredOrder();
    void everySlotIsWiredOnce();
    void infoTabShowsVersions();
    void picturesInTheirViews_data();
    void picturesInTheirViews();
    void closeSwitchesOffAndDisconnectsAConnectedBox_data();
    void closeSwitchesOffAndDisconnectsAConnectedBox();
    void qtLogoShowsAboutQt();
    void destructorReleasesTheDevice();
};

void WindowTest::init()
{
    fakeflat::reset();
    fakeports::set({{QStringLiteral("ttyS0"), 0}});
    DialogResponder::instance().clear();
}

void WindowTest::slotTableInDeclaredOrder()
{
    const QStringList expected = {
        "showEvent(QShowEvent*)",
        "closeEvent(QCloseEvent*)",
        "on_qtLogo_pressed()",
        "on_MT_lampLevelSlider_valueChanged(int)",
        "on_ST_lampLevelSlider_valueChanged(int)",
        "on_ST_cameraSetting_currentTextChanged(QString)",
        "on_ST_modifyButton_pressed()",
        "on_ST_applyButton_pressed()",
        "on_FT_filterSetting_currentTextChanged(QString)",
        "on_FT_cameraTypeSetting_currentTextChanged(QString)",
        "on_FT_isobinSetting_currentTextChanged(QString)",
        "on_ST_isobinSetting_currentTextChanged(QString)",
        "on_ST_filterSetting_currentTextChanged(QString)",
        "on_FT_applySettingButton_pressed()",
        "on_MT_lampSwitch_stateChanged(int)",
        "on_MT_serialConnect_pressed()",
        "on_ST_saveButton_pressed()",
        "on_ST_openButton_pressed()",
        "on_ST_autoSearch_stateChanged(int)",
        "on_MT_serialDisconnect_pressed()",
        "on_ST_connectButton_pressed()",
        "on_MT_nightVisionButton_pressed()",
        "on_MT_lampLevelSpinBox_valueChanged(int)",
        "on_ST_lampLevelSpinBox_valueChanged(int)",
    };
    const QMetaObject &meta = VelmoraFlat::staticMetaObject;
    QCOMPARE(QString::fromLatin1(meta.className()), QStringLiteral("VelmoraFlat"));
    QStringList slotSignatures;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(QByteArray(method.typeName()), QByteArray("void"));
        QCOMPARE(method.access(), i - meta.methodOffset() < 2 ? QMetaMethod::Protected : QMetaMethod::Private);
        slotSignatures.append(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(slotSignatures, expected);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
}

void WindowTest::everySlotIsWiredOnce()
{
    auto window = makeWindow();
    struct Wiring
    {
        const char *object;
        const char *signal;
    };
    const Wiring wiring[] = {
        {"qtLogo", SIGNAL(pressed())},
        {"MT_lampLevelSlider", SIGNAL(valueChanged(int))},
        {"ST_lampLevelSlider", SIGNAL(valueChanged(int))},
        {"ST_cameraSetting", SIGNAL(currentTextChanged(QString))},
        {"ST_modifyButton", SIGNAL(pressed())},
        {"ST_applyButton", SIGNAL(pressed())},
        {"FT_filterSetting", SIGNAL(currentTextChanged(QString))},
        {"FT_cameraTypeSetting", SIGNAL(currentTextChanged(QString))},
        {"FT_isobinSetting", SIGNAL(currentTextChanged(QString))},
        {"ST_isobinSetting", SIGNAL(currentTextChanged(QString))},
        {"ST_filterSetting", SIGNAL(currentTextChanged(QString))},
        {"FT_applySettingButton", SIGNAL(pressed())},
        {"MT_lampSwitch", SIGNAL(stateChanged(int))},
        {"MT_serialConnect", SIGNAL(pressed())},
        {"ST_saveButton", SIGNAL(pressed())},
        {"ST_openButton", SIGNAL(pressed())},
        {"ST_autoSearch", SIGNAL(stateChanged(int))},
        {"MT_serialDisconnect", SIGNAL(pressed())},
        {"ST_connectButton", SIGNAL(pressed())},
        {"MT_nightVisionButton", SIGNAL(pressed())},
        {"MT_lampLevelSpinBox", SIGNAL(valueChanged(int))},
        {"ST_lampLevelSpinBox", SIGNAL(valueChanged(int))},
    };
    for (const Wiring &w : wiring) {
        QObject *sender = window->findChild<QObject *>(QLatin1String(w.object));
        QVERIFY2(sender, w.object);
        QCOMPARE(receiverCount(sender, w.signal), 1);
    }
}

void WindowTest::infoTabShowsVersions()
{
    fakeflat::setVersion("9.8.7 àè");
    auto window = makeWindow();
    QCOMPARE(child<QLineEdit>(*window, "infoVersion")->text(), QStringLiteral("0.3.0.0"));
    QCOMPARE(child<QLineEdit>(*window, "infoLibVersion")->text(), QString::fromUtf8("9.8.7 àè"));
    QCOMPARE(child<QLineEdit>(*window, "infoOS")->text(), QSysInfo::prettyProductName());
    QCOMPARE(fakeflat::callsOf(QStringLiteral("getAPIversion")).size(), 1);
}

void WindowTest::picturesInTheirViews_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QSize>("size");
    QTest::newRow("banner") << "velmoraBanner" << QSize(334, 59);
    QTest::newRow("filter wheel") << "filterImage" << QSize(200, 200);
    QTest::newRow("flat box") << "flatBoxImage" << QSize(280, 280);
}

void WindowTest::picturesInTheirViews()
{
    QFETCH(QString, view);
    QFETCH(QSize, size);
    auto window = makeWindow();
    auto *graphicsView = child<QGraphicsView>(*window, qPrintable(view));
    QVERIFY(graphicsView->scene());
    const auto items = graphicsView->scene()->items();
    QCOMPARE(items.size(), 1);
    auto *pixmapItem = qgraphicsitem_cast<QGraphicsPixmapItem *>(items.first());
    QVERIFY(pixmapItem);
    QCOMPARE(pixmapItem->pixmap().size(), size);
}

void WindowTest::closeSwitchesOffAndDisconnectsAConnectedBox_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<unsigned>("turnOffStatus");
    QTest::addColumn<QStringList>("expectedCalls");
    const QStringList all = {"isFlatConnected", "turnOff", "disconnect"};
    QTest::newRow("connected") << true << 0u << all;
    QTest::newRow("connected, lamp refuses") << true << 4u << all;
    QTest::newRow("not connected") << false << 0u << QStringList{"isFlatConnected"};
}

void WindowTest::closeSwitchesOffAndDisconnectsAConnectedBox()
{
    QFETCH(bool, connected);
    QFETCH(unsigned, turnOffStatus);
    QFETCH(QStringList, expectedCalls);
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    fakeflat::clearCalls();
    fakeflat::setConnected(connected);
    fakeflat::queueStatus(QStringLiteral("turnOff"), turnOffStatus);
    fakeflat::queueStatus(QStringLiteral("disconnect"), turnOffStatus);

    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    QCOMPARE(fakeflat::callNames(), expectedCalls);
    QVERIFY(DialogResponder::instance().shown().isEmpty());
}

void WindowTest::qtLogoShowsAboutQt()
{
    auto window = makeWindow();
    DialogResponder::instance().clear();
    pressButton(*window, "qtLogo");
    const auto boxes = DialogResponder::instance().shownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().title, QStringLiteral("About Qt"));
    QCOMPARE(boxes.first().parent, window.get());
}

void WindowTest::destructorReleasesTheDevice()
{
    {
        auto window = makeWindow();
        QCOMPARE(fakeflat::liveInstances(), 1);
    }
    QCOMPARE(fakeflat::liveInstances(), 0);
}

VELMORA_TEST_MAIN(WindowTest)
#include "tst_window.moc"

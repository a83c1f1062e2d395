// The window on high-density screens: at 100%, 150% and 200%, from a desktop's density or from the user's own
// QT_SCALE_FACTOR, in English and Italian, day and night, on every tab, the window is whole, every text fits its
// widget and every picture has at least the device pixels of its place. The density must be known before the
// application object is made, so each row starts velmora-scaledwindow with it.
#include <QProcess>
#include <QtTest>

class ScalingTest : public QObject
{
    Q_OBJECT

private slots:
    void windowAtDensity_data();
    void windowAtDensity();
};

void ScalingTest::windowAtDensity_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("desktopDpi");      // what the desktop tells programs: 96 for 100%, 192 for 200%
    QTest::addColumn<QByteArray>("userVariable");    // NAME=value, set by the user before starting the program
    QTest::addColumn<QString>("expectedRatio");

    QTest::newRow("1x") << "en" << QByteArray("96") << QByteArray() << "1";
    QTest::newRow("1.25x desktop at 120 dpi") << "en" << QByteArray("120") << QByteArray() << "1.25";
    QTest::newRow("1.5x desktop at 144 dpi") << "en" << QByteArray("144") << QByteArray() << "1.5";
    QTest::newRow("2x desktop at 192 dpi") << "en" << QByteArray("192") << QByteArray() << "2";
    QTest::newRow("1x italiano") << "it" << QByteArray("96") << QByteArray() << "1";
    QTest::newRow("1.5x italiano") << "it" << QByteArray("144") << QByteArray() << "1.5";
    QTest::newRow("2x italiano") << "it" << QByteArray("192") << QByteArray() << "2";
    QTest::newRow("QT_SCALE_FACTOR=1.5 on a 96 dpi desktop")
        << "en" << QByteArray("96") << QByteArray("QT_SCALE_FACTOR=1.5") << "1.5";
    QTest::newRow("QT_SCALE_FACTOR=2 on a 96 dpi desktop")
        << "en" << QByteArray("96") << QByteArray("QT_SCALE_FACTOR=2") << "2";
    QTest::newRow("QT_SCREEN_SCALE_FACTORS=1.5 on a 192 dpi desktop")
        << "en" << QByteArray("192") << QByteArray("QT_SCREEN_SCALE_FACTORS=1.5") << "1.5";
}

void ScalingTest::windowAtDensity()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, desktopDpi);
    QFETCH(QByteArray, userVariable);
    QFETCH(QString, expectedRatio);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_SCALE_FACTOR_ROUNDING_POLICY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The offscreen screen has no density of its own: the desktop's comes in as its logical dpi.
    env.insert(QStringLiteral("QT_FONT_DPI"), QString::fromLatin1(desktopDpi));
    if (!userVariable.isEmpty()) {
        const QList<QByteArray> nameAndValue = userVariable.split('=');
        env.insert(QString::fromLatin1(nameAndValue.at(0)), QString::fromLatin1(nameAndValue.at(1)));
    }

    QProcess window;
    window.setProcessEnvironment(env);
    window.start(QStringLiteral(VELMORA_SCALED_WINDOW), {language});
    QVERIFY(window.waitForFinished(60000));
    QCOMPARE(window.exitCode(), 0);

    QStringList lines = QString::fromUtf8(window.readAllStandardOutput()).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.size() >= 2);
    const qreal ratio = expectedRatio.toDouble();
    QCOMPARE(lines.takeFirst(), QStringLiteral("ratio ") + expectedRatio);
    QCOMPARE(lines.takeFirst(), QStringLiteral("window %1x%2").arg(480 * ratio).arg(640 * ratio));
    QCOMPARE(lines, QStringList()); // no text clipped, nothing outside its widget, no picture too coarse
}

QTEST_GUILESS_MAIN(ScalingTest)
#include "tst_scaling.moc"

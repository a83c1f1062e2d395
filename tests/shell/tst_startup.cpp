// The program's start-up: identity, preference, translation, and the real executable's debug lines.
#include "messages.h"
#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void titleFromTheApplicationIdentity();
    void preferenceDebugLines_data();
    void preferenceDebugLines();
    void translationOnlyInTheWorkingDirectoryIsIgnored();
    void translationBesideTheExecutableIsInstalled();
    void executableWritesTheStartupLines_data();
    void executableWritesTheStartupLines();

private:
    QString translationBesideExecutable() const;
};

void StartupTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    setApplicationIdentity();
}

void StartupTest::titleFromTheApplicationIdentity()
{
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("VELMORA Flat Box"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("VELMORA"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("0.3.0.0"));
    QCOMPARE(mainWindowTitle(), QStringLiteral("VELMORA Flat Box - v.0.3.0.0"));
}

void StartupTest::preferenceDebugLines_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("absent") << QVariant() << QString();
    QTest::newRow("true") << QVariant(QStringLiteral("true")) << QStringLiteral("true");
    QTest::newRow("false") << QVariant(QStringLiteral("false")) << QStringLiteral("false");
    QTest::newRow("other casing kept") << QVariant(QStringLiteral("TRUE")) << QStringLiteral("TRUE");
    QTest::newRow("blanks kept") << QVariant(QStringLiteral(" true ")) << QStringLiteral(" true ");
}

void StartupTest::preferenceDebugLines()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, expectedText);
    QSettings settings;
    if (stored.isValid())
        settings.setValue(QStringLiteral("auto_search"), stored);
    else
        settings.remove(QStringLiteral("auto_search"));

    MessageCapture capture;
    const QString read = readAutoSearchPreference(settings);
    QCOMPARE(read, expectedText);
    const QStringList expectedLines = {
        QStringLiteral("Settings:  %1").arg(debugQuoted(settings.fileName())),
        QStringLiteral("autosearch:  \"%1\"").arg(expectedText),
    };
    QCOMPARE(capture.debugLines(), expectedLines);
    settings.remove(QStringLiteral("auto_search"));
}

QString StartupTest::translationBesideExecutable() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/velmoralang_it.qm");
}

// Runs before the test that installs a translator: an installed one stays for the rest of the process.
void StartupTest::translationOnlyInTheWorkingDirectoryIsIgnored()
{
    QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    QFile::remove(translationBesideExecutable());
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_TEST_QM), workDir.filePath(QStringLiteral("velmoralang_it.qm"))));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(workDir.path());

    const bool installed = installTranslation(*QCoreApplication::instance());
    QDir::setCurrent(previous);
    QVERIFY(!installed);
    QCOMPARE(QCoreApplication::translate("VelmoraFlat", "Connect"), QStringLiteral("Connect"));
}

void StartupTest::translationBesideTheExecutableIsInstalled()
{
    QFile::remove(translationBesideExecutable());
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_TEST_QM), translationBesideExecutable()));
    const bool installed = installTranslation(*QCoreApplication::instance());
    QFile::remove(translationBesideExecutable());
    QVERIFY(installed);
    QCOMPARE(QCoreApplication::translate("VelmoraFlat", "Connect"), QStringLiteral("Connetti"));
}

void StartupTest::executableWritesTheStartupLines_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("absent") << QString();
    QTest::newRow("false") << QStringLiteral("false");
    QTest::newRow("True") << QStringLiteral("True");
}

// The real program, with a private settings store and an extra port so that no box is waited for.
void StartupTest::executableWritesTheStartupLines()
{
    QFETCH(QString, stored);
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    // The preference's place: a file below XDG_CONFIG_HOME on Linux, the user's registry on Windows.
    const bool registry = QSysInfo::productType() == QLatin1String("windows");
    const QString settingsPlace = registry
        ? QStringLiteral("\\HKEY_CURRENT_USER\\Software\\VELMORA\\VELMORA Flat Box")
        : configHome.filePath(QStringLiteral("VELMORA/VELMORA Flat Box.conf"));
    {
        std::unique_ptr<QSettings> preset = registry
            ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("VELMORA"),
                                          QStringLiteral("VELMORA Flat Box"))
            : std::make_unique<QSettings>(settingsPlace, QSettings::IniFormat);
        preset->remove(QStringLiteral("auto_search"));
        if (!stored.isNull())
            preset->setValue(QStringLiteral("auto_search"), stored);
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VELMORA_FLAT_EXTRA_PORTS"), configHome.filePath(QStringLiteral("no-such-port")));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VELMORA_EXECUTABLE), QStringList());
    QVERIFY(program.waitForStarted());

    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (!output.contains("autosearch: ") && clock.elapsed() < 60000) {
        program.waitForReadyRead(1000);
        output += program.readAllStandardError();
    }
    program.kill();
    program.waitForFinished();

    // Keep the program's own lines; the platform may add warnings of its own.
    QStringList lines = QString::fromUtf8(output).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    lines = lines.filter(QRegularExpression(QStringLiteral("^(Settings|autosearch): ")));
    QVERIFY2(lines.size() == 2, output.constData());
    QCOMPARE(lines.at(0), QStringLiteral("Settings:  %1").arg(debugQuoted(settingsPlace)));
    QCOMPARE(lines.at(1), QStringLiteral("autosearch:  \"%1\"").arg(stored));
}

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"

// Flat table at scale, through the real window (with the device and port test doubles): the user's steps on a
// 100 000-line file, each timed from the button press to the end of its slot. Open and save include Qt's file
// dialog, answered at once by the test dialog responder; the "dialog alone" line shows what the dialog costs.
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "tablebench.h"
#include "testmain.h"
#include "windowtest.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace tablebench;

namespace {

QComboBox *combo(VelmoraFlat &w, const char *name)
{
    return w.findChild<QComboBox *>(QLatin1String(name));
}

} // namespace

int main(int argc, char *argv[])
{
    velmoratest::prepareEnvironment();
    QApplication app(argc, argv);
    velmoratest::prepareApplication(app);
    fakeports::set({{QStringLiteral("ttyS0"), 0}});

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("table.vfc"));
    const QString saved = dir.filePath(QStringLiteral("saved.vfc"));
    const QByteArray contents = tableFile();
    if (!dir.isValid() || !writeFile(source, contents))
        return 1;
    QDir::setCurrent(dir.path());

    VelmoraFlat w(nullptr, QString());
    VelmoraFlatTestAccess::setLampControlsEnabled(w, true);
    w.show();
    QApplication::processEvents();
    DialogResponder &dialogs = DialogResponder::instance();
    std::vector<QString> &table = VelmoraFlatTestAccess::flatTable(w);
    const int runs = 7;

    std::printf("window (velmora_window + test doubles), %s platform, %d runs\n",
                qPrintable(QGuiApplication::platformName()), runs);
    printHeader(contents.size());

    printStep("dialog alone (open dialog, cancelled)", measure(runs, [&] {
                  dialogs.queueFileCancel();
                  QApplication::processEvents();
              }, [&] { pressButton(w, "ST_openButton"); }),
              contents.size());

    const QString oneLine = dir.filePath(QStringLiteral("one.vfc"));
    writeFile(oneLine, lastLine.toUtf8() + '\n');
    printStep("open a 1-line file (dialog included)", measure(runs, [&] {
                  dialogs.queueFileAnswer(oneLine);
                  QApplication::processEvents();
              }, [&] { pressButton(w, "ST_openButton"); }),
              contents.size());

    printStep("open 100 000 lines (dialog included)", measure(runs, [&] {
                  std::vector<QString>().swap(table);
                  dialogs.queueFileAnswer(source);
                  QApplication::processEvents();
              }, [&] { pressButton(w, "ST_openButton"); }),
              contents.size());
    bool ok = table.size() == size_t(lineCount);

    printStep("filters tab lookup of the last line", measure(runs, [&] {
                  combo(w, "FT_cameraTypeSetting")->setCurrentText(QStringLiteral("CCD"));
                  combo(w, "FT_isobinSetting")->setCurrentText(QStringLiteral("8x8"));
                  combo(w, "FT_filterSetting")->setCurrentText(QStringLiteral("Red"));
              }, [&] { combo(w, "FT_filterSetting")->setCurrentText(QStringLiteral("SII")); }),
              contents.size());
    ok = ok && w.findChild<QLineEdit *>(QStringLiteral("FT_exposureSetting"))->text() == "4.5 s";

    printStep("filters tab Apply (lamp, settings tab lookups)", measure(runs, [&] {
                  combo(w, "ST_cameraSetting")->setCurrentText(QStringLiteral("DSLR"));
                  w.findChild<QSpinBox *>(QStringLiteral("MT_lampLevelSpinBox"))->setValue(0);
              }, [&] { pressButton(w, "FT_applySettingButton"); }),
              contents.size());
    ok = ok && w.findChild<QSpinBox *>(QStringLiteral("MT_lampLevelSpinBox"))->value() == 200;

    printStep("settings tab Apply (replace the last line)", measure(runs, [&] {
                  pressButton(w, "ST_modifyButton");
                  w.findChild<QLineEdit *>(QStringLiteral("ST_exposureValue"))->setText(QStringLiteral("4.5 s"));
              }, [&] { pressButton(w, "ST_applyButton"); }),
              contents.size());
    ok = ok && table.size() == size_t(lineCount) && table.back() == lastLine;

    printStep("save 100 000 lines (dialog included)", measure(runs, [&] {
                  QFile::remove(saved);
                  dialogs.queueFileAnswer(saved);
                  QApplication::processEvents();
              }, [&] { pressButton(w, "ST_saveButton"); }),
              contents.size());

    QFile check(saved);
    ok = ok && check.open(QIODevice::ReadOnly) && check.readAll() == contents && dialogs.shownMessageBoxes().isEmpty();
    std::printf("saved file equals the opened one, no message box: %s\n", ok ? "yes" : "NO");
    return ok ? 0 : 1;
}

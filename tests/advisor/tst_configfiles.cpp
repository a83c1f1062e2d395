// Saving and opening configuration files through the window, with the file dialogs answered as a user would.
#include "advisorwindow.h"
#include "testmain.h"
#include "unsavedtable.h"

#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTextCodec>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace advisortest;

namespace {

const QString saveCaption = QStringLiteral("Save configuration as");
const QString openCaption = QStringLiteral("Open configuration as");
const QString nameFilter = QStringLiteral("Velmora Flat Configuration (*.vfc)");

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), qint64(contents.size()));
}

void saveAs(VelmoraFlat &w, const QString &path)
{
    DialogResponder::instance().queueFileAnswer(path);
    pressButton(w, "ST_saveButton");
}

void openFile(VelmoraFlat &w, const QString &path)
{
    DialogResponder::instance().queueFileAnswer(path);
    pressButton(w, "ST_openButton");
}

QList<ShownDialog> boxesTitled(const QString &title)
{
    QList<ShownDialog> boxes;
    for (const ShownDialog &box : DialogResponder::instance().shownMessageBoxes())
        if (box.title == title)
            boxes.append(box);
    return boxes;
}

// Lowers the process's file-size limit, as a full disk would stop a write; SIGXFSZ ignored so the write fails instead.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = SIG_DFL;
};

// Removes a file the moment a file dialog closes: the file the user chose is gone when the window opens it.
class RemoveWhenDialogCloses : public QObject
{
public:
    explicit RemoveWhenDialogCloses(const QString &path) : m_path(path) { qApp->installEventFilter(this); }
    ~RemoveWhenDialogCloses() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && qobject_cast<QFileDialog *>(watched))
            QFile::remove(m_path);
        return false;
    }

private:
    QString m_path;
};

// Makes the folder read-only and the file in it writable or not. Root may write anywhere, so as root the
// process runs as "nobody" until the end of the scope (the saved user id lets it return).
class ReadOnlyFolder
{
public:
    ReadOnlyFolder(const QString &folder, const QString &file, bool fileWritable) : m_folder(folder)
    {
        chmod(qPrintable(file), fileWritable ? 0666 : 0444);
        chmod(qPrintable(folder), 0555);
        m_dropped = geteuid() == 0 && setresuid(65534, 65534, 0) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_dropped)
            setresuid(0, 0, 0);
        chmod(qPrintable(m_folder), 0700);
    }

private:
    QString m_folder;
    bool m_dropped = false;
};

const QStringList storedTable = {"DSLR 800 Red 2.5 140", "", "DSLR 100 Light Pollution 3 90",
                                 "DSLR 100 Luminance 2.5 s 120", "CCD 2x2 Blue  60", "DSLR 800 Red 9 99"};

} // namespace

class ConfigFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dialogsStartInWorkingFolder_data();
    void dialogsStartInWorkingFolder();
    void saveWritesOneLinePerEntry_data();
    void saveWritesOneLinePerEntry();
    void saveOverExistingFileReplacesIt_data();
    void saveOverExistingFileReplacesIt();
    void saveThenOpenGivesSameTable();
    void open_data();
    void open();
    void openLeavesLampLevelAlone();
    void failedOpenKeepsTable_data();
    void failedOpenKeepsTable();
    void failedSaveKeepsOldFileAndTable_data();
    void failedSaveKeepsOldFileAndTable();
    void exposureWithSpaceSurvivesFile();
    void unsavedTableQuestion_data();
    void unsavedTableQuestion();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList folderEntries() const
    {
        return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousFolder;
};

void ConfigFilesTest::init()
{
    resetDoubles();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void ConfigFilesTest::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    m_dir.reset();
}

void ConfigFilesTest::dialogsStartInWorkingFolder_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("caption");
    QTest::newRow("save") << "ST_saveButton" << saveCaption;
    QTest::newRow("open") << "ST_openButton" << openCaption;
}

// Cancelling either dialog changes nothing.
void ConfigFilesTest::dialogsStartInWorkingFolder()
{
    QFETCH(QString, button);
    QFETCH(QString, caption);

    auto w = lampOnWindow();
    setTable(*w, storedTable);
    DialogResponder::instance().queueFileCancel();
    pressButton(*w, qPrintable(button));

    const QList<ShownDialog> shown = DialogResponder::instance().shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].className, QStringLiteral("QFileDialog"));
    QCOMPARE(shown[0].title, caption);
    QCOMPARE(shown[0].nameFilters, QStringList{nameFilter});
    QCOMPARE(shown[0].directory, QDir::currentPath());
    QCOMPARE(shown[0].parent, static_cast<QObject *>(w.get()));
    QVERIFY(!shown[0].timedOut);
    QCOMPARE(tableLines(*w), storedTable);
    QVERIFY(folderEntries().isEmpty());
}

void ConfigFilesTest::saveWritesOneLinePerEntry_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("empty table: empty file") << QStringList{} << "empty.vfc" << QByteArray();
    QTest::newRow("LF after every line, blank lines kept")
        << QStringList{"DSLR 100 Red 1 2", "", "CCD 1x1 Blue  4"} << "table.vfc"
        << QByteArray("DSLR 100 Red 1 2\n\nCCD 1x1 Blue  4\n");
    QTest::newRow("no extension added") << QStringList{"DSLR 100 Red 1 2"} << "table.txt"
                                        << QByteArray("DSLR 100 Red 1 2\n");
    QTest::newRow("name without extension") << QStringList{"DSLR 100 Red 1 2"} << "table"
                                            << QByteArray("DSLR 100 Red 1 2\n");
}

void ConfigFilesTest::saveWritesOneLinePerEntry()
{
    QFETCH(QStringList, table);
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);

    auto w = lampOnWindow();
    setTable(*w, table);
    saveAs(*w, path(name));

    QCOMPARE(folderEntries(), QStringList{name});
    QCOMPARE(contentsOf(path(name)), contents);
    QCOMPARE(tableLines(*w), table);
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
}

void ConfigFilesTest::saveOverExistingFileReplacesIt_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("place");

    QTest::newRow("shorter table") << QStringList{"DSLR 100 Red 1 2"} << QByteArray("DSLR 100 Red 1 2\n") << "";
    QTest::newRow("empty table cuts the file to nothing") << QStringList{} << QByteArray() << "";
    QTest::newRow("read-only folder, writable file: written in place")
        << QStringList{"DSLR 100 Red 1 2"} << QByteArray("DSLR 100 Red 1 2\n") << "read-only folder";
    QTest::newRow("symbolic link: the link stays, its target gets the table")
        << QStringList{"DSLR 100 Red 1 2"} << QByteArray("DSLR 100 Red 1 2\n") << "symbolic link";
}

// Qt's dialog asks whether to replace the file; the user answers Yes.
void ConfigFilesTest::saveOverExistingFileReplacesIt()
{
    QFETCH(QStringList, table);
    QFETCH(QByteArray, contents);
    QFETCH(QString, place);

    QTemporaryDir elsewhere;
    const QString target = place == "symbolic link" ? elsewhere.filePath("flats.vfc") : path("table.vfc");
    writeFile(target, QByteArray("CCD 8x8 SII 30 255\n").repeated(50));
    if (place == "symbolic link")
        QVERIFY(QFile::link(target, path("table.vfc")));
    auto w = lampOnWindow();
    setTable(*w, table);
    {
        std::unique_ptr<ReadOnlyFolder> readOnly(
            place == "read-only folder" ? new ReadOnlyFolder(m_dir->path(), target, true) : nullptr);
        saveAs(*w, path("table.vfc"));
    }

    const QList<ShownDialog> questions = boxesTitled(saveCaption);
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions[0].text.contains("table.vfc"));
    QCOMPARE(contentsOf(target), contents);
    QCOMPARE(folderEntries(), QStringList{"table.vfc"});
    QCOMPARE(QFileInfo(path("table.vfc")).isSymLink(), place == "symbolic link");
    QVERIFY(boxesTitled(QStringLiteral("Save Configuration Failed")).isEmpty());
}

void ConfigFilesTest::saveThenOpenGivesSameTable()
{
    auto w = lampOnWindow();
    setTable(*w, storedTable);
    saveAs(*w, path("table.vfc"));

    auto other = lampOnWindow();
    setTable(*other, {"CCD 1x1 Red 1 1"});
    openFile(*other, path("table.vfc"));

    QCOMPARE(tableLines(*other), storedTable);
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
}

void ConfigFilesTest::open_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("shownExposure"); // both tabs show DSLR 100 Luminance
    QTest::addColumn<QString>("shownLevel");
    QTest::addColumn<QString>("warning"); // what the one warning box says, if one is expected

    QTest::newRow("LF line ends") << QByteArray("DSLR 100 Red 1 2\nDSLR 100 Luminance 3 40\n")
                                  << QStringList{"DSLR 100 Red 1 2", "DSLR 100 Luminance 3 40"} << "3" << "40" << "";
    QTest::newRow("CR LF line ends") << QByteArray("DSLR 100 Red 1 2\r\nDSLR 100 Luminance 3 40\r\n")
                                     << QStringList{"DSLR 100 Red 1 2", "DSLR 100 Luminance 3 40"} << "3" << "40" << "";
    QTest::newRow("last line without line end") << QByteArray("DSLR 100 Red 1 2\nDSLR 100 Luminance 3 40")
                                                << QStringList{"DSLR 100 Red 1 2", "DSLR 100 Luminance 3 40"} << "3"
                                                << "40" << "";
    QTest::newRow("blank line in the middle") << QByteArray("DSLR 100 Red 1 2\n\nDSLR 100 Luminance 3 40\n")
                                              << QStringList{"DSLR 100 Red 1 2", "", "DSLR 100 Luminance 3 40"}
                                              << "3" << "40" << "";
    QTest::newRow("empty file empties the table") << QByteArray() << QStringList{} << "0" << "0" << "";
    QTest::newRow("lines of other shapes are kept") << QByteArray("# my flats\n  x\nDSLR 100 Luminance\n")
                                                    << QStringList{"# my flats", "  x", "DSLR 100 Luminance"}
                                                    << "Luminance" << "Luminance" << "";
    QTest::newRow("UTF-16 with its byte-order mark")
        << QTextCodec::codecForName("UTF-16LE")->fromUnicode(QStringLiteral("DSLR 100 Luminance 5 s 50\n"))
        << QStringList{"DSLR 100 Luminance 5 s 50"} << "5 s" << "50" << "";
    QTest::newRow("Windows-1252 file") << QByteArray("DSLR 100 Luminance \xB5 \xE9 70\r\n")
                                       << QStringList{QString::fromUtf8("DSLR 100 Luminance \u00b5 \u00e9 70")}
                                       << QString::fromUtf8("\u00b5 \u00e9") << "70" << "";
    QTest::newRow("NUL padding: the lines before it")
        << QByteArray("DSLR 100 Luminance 3 40\n") + QByteArray(4096, 0) << QStringList{"DSLR 100 Luminance 3 40"}
        << "3" << "40" << "was damaged, as an interrupted save leaves it: 4096 zero bytes";
}

void ConfigFilesTest::open()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, table);
    QFETCH(QString, shownExposure);
    QFETCH(QString, shownLevel);
    QFETCH(QString, warning);

    writeFile(path("table.vfc"), contents);
    auto w = lampOnWindow();
    setTable(*w, {"DSLR 100 Luminance 7 70", "CCD 1x1 Red 1 1"});
    openFile(*w, path("table.vfc"));

    QCOMPARE(tableLines(*w), table);
    QCOMPARE(text(*w, "FT_exposureSetting"), shownExposure);
    QCOMPARE(text(*w, "FT_lightSetting"), shownLevel);
    QCOMPARE(text(*w, "ST_exposureValue"), shownExposure);
    const QList<ShownDialog> boxes = DialogResponder::instance().shownMessageBoxes();
    QCOMPARE(boxes.size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty())
        QVERIFY2(boxes[0].title == "Configuration File Damaged" && boxes[0].text.contains(warning),
                 qPrintable(boxes[0].text));
}

void ConfigFilesTest::openLeavesLampLevelAlone()
{
    writeFile(path("table.vfc"), "DSLR 100 Luminance 4 200\n");
    auto w = lampOnWindow();
    child<QSpinBox>(*w, "MT_lampLevelSpinBox")->setValue(42);
    fakeflat::clearCalls();

    openFile(*w, path("table.vfc"));

    QCOMPARE(text(*w, "ST_exposureValue"), QStringLiteral("4"));
    QCOMPARE(text(*w, "FT_lightSetting"), QStringLiteral("200"));
    QCOMPARE(lampLevels(*w), QList<int>({42, 42, 42, 42}));
    QVERIFY(brightnessSent().isEmpty());
}

void ConfigFilesTest::failedOpenKeepsTable_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("vanishes");
    QTest::addColumn<QString>("reason");

    QByteArray tooLarge = QByteArray("DSLR 100 Luminance 1 1\n").repeated(400000);
    tooLarge.truncate(int(8 * 1024 * 1024 + 1));
    QTest::newRow("file over 8 MiB") << tooLarge << false << "larger than 8 MiB";
    QTest::newRow("NUL byte") << QByteArray("DSLR 100 Luminance 1 1\n\0\n", 25) << false << "not a text file";
    QTest::newRow("file gone when it is opened") << QByteArray("DSLR 100 Luminance 1 1\n") << true
                                                 << "No such file or directory";
}

void ConfigFilesTest::failedOpenKeepsTable()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, vanishes);
    QFETCH(QString, reason);

    const QString file = path("table.vfc");
    writeFile(file, contents);
    auto w = lampOnWindow();
    setTable(*w, storedTable);
    selectOnFiltersTab(*w, "DSLR", "800", "Red");
    selectOnSettingsTab(*w, "DSLR", "100", "Luminance");
    child<QSpinBox>(*w, "MT_lampLevelSpinBox")->setValue(42);
    fakeflat::clearCalls();
    {
        std::unique_ptr<RemoveWhenDialogCloses> remover(vanishes ? new RemoveWhenDialogCloses(file) : nullptr);
        openFile(*w, file);
    }

    const QList<ShownDialog> boxes = DialogResponder::instance().shownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Open Configuration Failed"));
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes[0].buttons, QStringList{"OK"});
    QCOMPARE(boxes[0].parent, static_cast<QObject *>(w.get()));
    QVERIFY2(boxes[0].text.contains(QDir::toNativeSeparators(file)), qPrintable(boxes[0].text));
    QVERIFY2(boxes[0].text.contains(reason), qPrintable(boxes[0].text));

    QCOMPARE(tableLines(*w), storedTable);
    QCOMPARE(text(*w, "FT_exposureSetting"), QStringLiteral("2.5"));
    QCOMPARE(text(*w, "FT_lightSetting"), QStringLiteral("140"));
    QCOMPARE(text(*w, "ST_exposureValue"), QStringLiteral("2.5 s"));
    QCOMPARE(lampLevels(*w), QList<int>({42, 42, 42, 42}));
    QVERIFY(brightnessSent().isEmpty());
}

void ConfigFilesTest::failedSaveKeepsOldFileAndTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("oldFile");
    QTest::addColumn<int>("fileSizeLimit"); // 0: none
    QTest::addColumn<bool>("readOnlyFolder");

    QTest::newRow("missing folder") << "missing/table.vfc" << false << 0 << false;
    QTest::newRow("path below a regular file") << "plain.txt/table.vfc" << false << 0 << false;
    QTest::newRow("disk full while writing over an old file") << "table.vfc" << true << 64 << false;
    QTest::newRow("disk full while writing a new file") << "new.vfc" << false << 64 << false;
    QTest::newRow("read-only folder, new file") << "new.vfc" << false << 0 << true;
    QTest::newRow("read-only folder, read-only file") << "table.vfc" << true << 0 << true;
}

void ConfigFilesTest::failedSaveKeepsOldFileAndTable()
{
    QFETCH(QString, name);
    QFETCH(bool, oldFile);
    QFETCH(int, fileSizeLimit);
    QFETCH(bool, readOnlyFolder);

    const QByteArray oldContents("CCD 8x8 SII 30 255\n");
    writeFile(path("plain.txt"), "not a folder\n");
    if (oldFile)
        writeFile(path(name), oldContents);
    const QStringList entriesBefore = folderEntries();
    auto w = lampOnWindow();
    QStringList table = storedTable;
    for (int i = 0; i < 100; ++i)
        table.append(QStringLiteral("DSLR %1 Green 1 1").arg(i));
    setTable(*w, table);
    {
        std::unique_ptr<FileSizeLimit> limit(fileSizeLimit ? new FileSizeLimit(rlim_t(fileSizeLimit)) : nullptr);
        std::unique_ptr<ReadOnlyFolder> readOnly(readOnlyFolder ? new ReadOnlyFolder(m_dir->path(), path(name), false)
                                                                : nullptr);
        saveAs(*w, path(name));
    }

    const QList<ShownDialog> boxes = boxesTitled(QStringLiteral("Save Configuration Failed"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes[0].buttons, QStringList{"OK"});
    QCOMPARE(boxes[0].parent, static_cast<QObject *>(w.get()));
    QVERIFY2(boxes[0].text.contains(QDir::toNativeSeparators(path(name))), qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].text.endsWith(": the folder is read-only"), readOnlyFolder);

    QCOMPARE(tableLines(*w), table);
    QCOMPARE(folderEntries(), entriesBefore); // no half-written file, no temporary left over
    if (oldFile)
        QCOMPARE(contentsOf(path(name)), oldContents);
}

// The line the editor writes for "2.5 s" at level 140 comes back from the file as "2.5 s" and 140,
// and Apply then sets the lamp to 140.
void ConfigFilesTest::exposureWithSpaceSurvivesFile()
{
    auto w = lampOnWindow();
    child<QSpinBox>(*w, "MT_lampLevelSpinBox")->setValue(140);
    typeExposure(*w, "2.5 s");
    pressButton(*w, "ST_applyButton");
    saveAs(*w, path("table.vfc"));
    QCOMPARE(contentsOf(path("table.vfc")), QByteArray("DSLR 100 Luminance 2.5 s 140\n"));

    auto other = lampOnWindow();
    openFile(*other, path("table.vfc"));
    QCOMPARE(text(*other, "FT_exposureSetting"), QStringLiteral("2.5 s"));
    QCOMPARE(text(*other, "FT_lightSetting"), QStringLiteral("140"));
    QCOMPARE(text(*other, "ST_exposureValue"), QStringLiteral("2.5 s"));
    fakeflat::clearCalls();
    pressButton(*other, "FT_applySettingButton");
    QCOMPARE(lampLevels(*other), QList<int>({140, 140, 140, 140}));
    QCOMPARE(distinctBrightnessSent(), QSet<uint>({140}));
}

void ConfigFilesTest::unsavedTableQuestion_data()
{
    QTest::addColumn<QString>("action"); // "close" the window or "open" another file
    QTest::addColumn<bool>("changed");   // Apply pressed after the last save
    QTest::addColumn<int>("answer");     // the button pressed on the question
    QTest::addColumn<QString>("saveAs"); // the save dialog's answer; empty: cancelled
    QTest::addColumn<bool>("goesOn");    // the window closed, or the other file opened

    for (const char *action : {"close", "open"}) {
        QTest::addRow("%s, table unchanged: no question", action) << action << false << 0 << "" << true;
        QTest::addRow("%s, Save", action) << action << true << int(QMessageBox::Save) << "saved.vfc" << true;
        QTest::addRow("%s, Save, save dialog cancelled", action) << action << true << int(QMessageBox::Save) << ""
                                                                 << false;
        QTest::addRow("%s, Save, save failed", action) << action << true << int(QMessageBox::Save)
                                                       << "missing/saved.vfc" << false;
        QTest::addRow("%s, Discard", action) << action << true << int(QMessageBox::Discard) << "" << true;
        QTest::addRow("%s, Cancel", action) << action << true << int(QMessageBox::Cancel) << "" << false;
    }
    QTest::newRow("open with the space key, Cancel") << "space" << true << int(QMessageBox::Cancel) << "" << false;
    QTest::newRow("open with the space key, Discard") << "space" << true << int(QMessageBox::Discard) << "" << true;
}

// The question comes before the close handler and the Open button's slot: Cancel leaves both unrun.
void ConfigFilesTest::unsavedTableQuestion()
{
    QFETCH(QString, action);
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(QString, saveAs);
    QFETCH(bool, goesOn);

    writeFile(path("other.vfc"), "CCD 1x1 Red 1 1\n");
    writeFile(path("next.vfc"), "CCD 2x2 Blue 2 2\n");
    auto w = lampOnWindow();
    guardUnsavedTable(*w);
    openFile(*w, path("other.vfc"));
    if (changed)
        pressButton(*w, "ST_applyButton");
    const QStringList table = tableLines(*w);
    w->show();
    DialogResponder::instance().clear();
    DialogResponder::instance().setMessageBoxButton(QMessageBox::StandardButton(answer));
    if (answer == QMessageBox::Save && saveAs.isEmpty())
        DialogResponder::instance().queueFileCancel();
    else if (answer == QMessageBox::Save)
        DialogResponder::instance().queueFileAnswer(path(saveAs));
    if (action == "close") {
        QCOMPARE(w->close(), goesOn);
    } else if (action == "space") {
        DialogResponder::instance().queueFileAnswer(path("next.vfc"));
        QTest::keyClick(child<QWidget>(*w, "ST_openButton"), Qt::Key_Space);
    } else {
        openFile(*w, path("next.vfc"));
    }

    const QList<ShownDialog> questions = boxesTitled("Unsaved Configurations");
    QCOMPARE(questions.size(), int(changed));
    if (changed)
        QCOMPARE(questions[0].buttons.size(), 3);
    if (saveAs == "saved.vfc")
        QCOMPARE(QString::fromUtf8(contentsOf(path("saved.vfc"))), table.join('\n') + '\n');
    QCOMPARE(!fakeflat::callsOf("isFlatConnected").isEmpty(), action == "close" && goesOn);
    QCOMPARE(tableLines(*w), action != "close" && goesOn ? QStringList{"CCD 2x2 Blue 2 2"} : table);
}

VELMORA_TEST_MAIN(ConfigFilesTest)
#include "tst_configfiles.moc"

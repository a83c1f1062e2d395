// The Italian translation source against the program's sources: lupdate lists every text that the sources and the
// form pass through tr(), and each of them must have a finished Italian translation in ui/velmoralang_it.ts.
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

// The folders lupdate reads, relative to the source tree; the assistant's window builds this test with its own.
#ifndef VELMORA_TRANSLATED_FOLDERS
#define VELMORA_TRANSLATED_FOLDERS "app device advisor ui"
#endif

namespace {

struct TsEntry
{
    QString context;
    QString source;
    QString translation;
    QString type; // "", "unfinished", "obsolete" or "vanished"
};

QString keyOf(const QString &context, const QString &source)
{
    return context + QLatin1Char('\n') + source;
}

// The messages of a Qt Linguist file, in file order.
QList<TsEntry> readTs(const QString &path, QString &error)
{
    QList<TsEntry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString context;
    TsEntry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            entry = TsEntry{context, {}, {}, {}};
        } else if (xml.name() == QLatin1String("source")) {
            entry.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            entry.type = xml.attributes().value(QLatin1String("type")).toString();
            entry.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            entries.append(entry);
        }
    }
    if (xml.hasError())
        error = xml.errorString();
    return entries;
}

QString leadingBlanks(const QString &text)
{
    return QRegularExpression(QStringLiteral("^\\s*")).match(text).captured();
}

QString trailingBlanks(const QString &text)
{
    return QRegularExpression(QStringLiteral("\\s*$")).match(text).captured();
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    auto matches = QRegularExpression(QStringLiteral("%\\d+")).globalMatch(text);
    while (matches.hasNext())
        found.append(matches.next().captured());
    found.sort();
    return found;
}

} // namespace

class TranslationSourceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyShownTextHasAnItalianTranslation_data();
    void everyShownTextHasAnItalianTranslation();

private:
    QList<TsEntry> m_sourceTexts;         // what lupdate finds in the sources now
    QHash<QString, TsEntry> m_translated; // the committed Italian translation source
};

void TranslationSourceTest::initTestCase()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString currentTs = scratch.filePath(QStringLiteral("current.ts"));

    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(VELMORA_SOURCE_DIR));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(VELMORA_LUPDATE),
                  QStringLiteral(VELMORA_TRANSLATED_FOLDERS).split(QLatin1Char(' '))
                      + QStringList{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-ts"),
                                    currentTs});
    QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
    const QByteArray output = lupdate.readAll();
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, output.constData());

    QString error;
    m_sourceTexts = readTs(currentTs, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(!m_sourceTexts.isEmpty(), output.constData());

    const QList<TsEntry> translated = readTs(QStringLiteral(VELMORA_ITALIAN_TS), error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    for (const TsEntry &entry : translated)
        m_translated.insert(keyOf(entry.context, entry.source), entry);
}

void TranslationSourceTest::everyShownTextHasAnItalianTranslation_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    for (const TsEntry &entry : qAsConst(m_sourceTexts))
        QTest::newRow(qPrintable(QLatin1Char('"') + entry.source + QLatin1Char('"'))) << entry.context << entry.source;
}

void TranslationSourceTest::everyShownTextHasAnItalianTranslation()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    const QString howToFix = QStringLiteral(" (run lupdate over " VELMORA_TRANSLATED_FOLDERS " into " VELMORA_ITALIAN_TS
                                            " and translate it)");

    const auto found = m_translated.constFind(keyOf(context, source));
    QVERIFY2(found != m_translated.constEnd(), qPrintable(QStringLiteral("missing from the .ts") + howToFix));
    QVERIFY2(found->type.isEmpty(), qPrintable(QStringLiteral("marked ") + found->type + howToFix));
    QVERIFY2(!found->translation.trimmed().isEmpty(), qPrintable(QStringLiteral("no translation") + howToFix));

    // The blanks around a text are part of it (" FLAT BOX CONNECTED "), and every %n must reach the message.
    QCOMPARE(leadingBlanks(found->translation), leadingBlanks(source));
    QCOMPARE(trailingBlanks(found->translation), trailingBlanks(source));
    QCOMPARE(placeholders(found->translation), placeholders(source));
}

QTEST_GUILESS_MAIN(TranslationSourceTest)

#include "tst_translationsource.moc"

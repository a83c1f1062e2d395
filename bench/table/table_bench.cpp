// Flat table at scale, pure functions only (no window, no dialog): open a 100 000-line configuration file, look
// up the configuration on its last line, make the settings tab's Apply edit, save it. Prints time and peak memory
// of each step.
#include "configfile.h"
#include "flattable.h"
#include "tablebench.h"

#include <QSaveFile>
#include <QTemporaryDir>

using namespace tablebench;

int main()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("table.vfc"));
    const QString saved = dir.filePath(QStringLiteral("saved.vfc"));
    const QByteArray contents = tableFile();
    if (!dir.isValid() || !writeFile(source, contents))
        return 1;
    const int runs = 11;
    std::vector<QString> table;
    bool ok = true;

    std::printf("pure functions: configfile::readConfiguration/writeConfiguration, lookUpConfiguration; %d runs\n",
                runs);
    printHeader(contents.size());

    auto emptyTable = [&table] { std::vector<QString>().swap(table); };
    printStep("open (QFile + read + replace table)", measure(runs, emptyTable, [&] {
                  QFile file(source);
                  ok = ok && file.open(QIODevice::ReadOnly);
                  configfile::ReadResult read = configfile::readConfiguration(file);
                  ok = ok && read.status == configfile::ReadStatus::Ok;
                  table = std::move(read.lines);
              }),
              contents.size());
    ok = ok && table.size() == size_t(lineCount);

    printStep("lookup of the last line", measure(runs, nullptr, [&] {
                  const FlatTableMatch match = lookUpConfiguration(table, lastKey);
                  ok = ok && match.found && match.index == lineCount - 1 && match.exposure == "4.5 s";
              }),
              contents.size());

    printStep("settings Apply edit (lookup, erase, append)", measure(runs, nullptr, [&] {
                  const FlatTableMatch match = lookUpConfiguration(table, lastKey);
                  if (match.found)
                      table.erase(table.begin() + match.index);
                  table.push_back(lastLine);
              }),
              contents.size());

    printStep("save (QSaveFile + write + commit)", measure(runs, nullptr, [&] {
                  QSaveFile file(saved);
                  ok = ok && file.open(QIODevice::WriteOnly) && configfile::writeConfiguration(file, table) &&
                       file.commit();
              }),
              contents.size());

    QFile check(saved);
    ok = ok && check.open(QIODevice::ReadOnly) && check.readAll() == contents;
    std::printf("saved file equals the opened one: %s\n", ok ? "yes" : "NO");
    return ok ? 0 : 1;
}

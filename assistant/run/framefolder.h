// The folder a capture program writes test frames into: each FITS file that appears after the watch began, once its
// size has stopped changing, is reported once.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

class FrameFolder : public QObject
{
    Q_OBJECT
public:
    // Files already in the folder are not test frames.
    explicit FrameFolder(const QString &path, QObject *parent = nullptr);

    void watch();
    void stop();

signals:
    void frameWritten(const QString &path, const QDateTime &written);

private:
    void look();
    QFileInfoList fitsFiles() const;

    QDir folder;
    QTimer poll;
    QSet<QString> seen;
    QHash<QString, qint64> growing; // name -> size at the last look
};

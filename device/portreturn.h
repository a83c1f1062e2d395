// Tells when a serial port that went away may be back, without polling where the system can say so.
#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

// The device path that a serial port's name stands for ("ttyACM0" is /dev/ttyACM0; a path stays itself).
QString serialPortNode(const QString &portName);

// What is at a port's device path now: empty when nothing is there, otherwise the node it leads to
// with its inode, so that a node made anew or a symlink pointed elsewhere reads differently.
QByteArray serialPortNodeIdentity(const QString &portName);

class PortReturnWatch : public QObject
{
    Q_OBJECT

public:
    explicit PortReturnWatch(QObject *parent = nullptr);
    ~PortReturnWatch() override;

    // Starts looking out for the ports, above all for `portName`.
    // - Linux with a running udev: its tty events (a socket notifier on the udev monitor).
    // - Ports named by a path (a symlink or a pty, which udev never announces) and systems where udev
    //   does not run (containers): changes of the directory that holds the port's node, and of the one
    //   that holds a symlink's target (inotify). A change tells only when the port's node is made anew
    //   or an entry appears there, not for every unrelated file event.
    // - Elsewhere: a look at the port list every 2 s.
    void start(const QString &portName);
    void stop();
    bool isActive() const { return active; }

signals:
    // Ports may have come or gone: look again.
    void portsChanged();

private:
    bool startUdevMonitor();
    void stopUdevMonitor();
    void readUdevEvents();
    void directoryChanged(const QString &path);
    void watchDirectory(const QString &path);

    QString watchedPort;
    QByteArray watchedNode;
    QHash<QString, QSet<QString>> entries; // per watched directory, the names in it

    bool active = false;
    QFileSystemWatcher directories;
    QTimer listingTimer;
    struct Udev;
    std::unique_ptr<Udev> udevWatch;
    std::unique_ptr<QSocketNotifier> udevNotifier;
};

// A program built on the device library that never runs a Qt event loop, as a driver or a command-line
// tool is: connects to the port given, waits up to 10 s to hear of the box's loss and prints what it heard.
// Usage: velmora-lostbox-probe none|application PORT [throw]
#include "velmora/flat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    std::unique_ptr<QCoreApplication> application;
    if (std::strcmp(argv[1], "application") == 0)
        application = std::make_unique<QCoreApplication>(argc, argv);
    const bool throws = argc > 3 && std::strcmp(argv[3], "throw") == 0;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> lost{false};
    std::atomic<bool> onMainThread{false};
    velmora::Flat flat;
    flat.setLostHandler([&](const std::string &) {
        onMainThread = std::this_thread::get_id() == mainThread;
        lost = true;
        if (throws)
            throw std::runtime_error("handler failure");
    });
    if (flat.connect(argv[2], false) != velmora::Ok) {
        std::printf("not connected\n");
        return 1;
    }
    std::printf("connected\n");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    while (!lost && clock.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!lost) {
        std::printf("not heard of\n");
        return 1;
    }
    const long long lostMs = clock.elapsed();
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // a throwing handler's warning goes out
    std::printf("lost after %lld ms on the %s thread\n", lostMs,
                onMainThread ? "main" : "library's");
    bool connected = true;
    flat.isFlatConnected(connected);
    std::printf("calls after the loss: %s\n", flat.turnOn() == velmora::NotConnected && !connected ? "NotConnected" : "other");
    return 0;
}

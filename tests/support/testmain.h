#pragma once

// main() of the window tests: an offscreen application with a fixed font, test-mode settings and the dialog
// responder installed before the first window is built.

#include <QApplication>
#include <QtTest>

namespace velmoratest {
void prepareEnvironment();
void prepareApplication(QApplication &app);
}

#define VELMORA_TEST_MAIN(TestObject)                                                                              \
    int main(int argc, char *argv[])                                                                               \
    {                                                                                                              \
        velmoratest::prepareEnvironment();                                                                         \
        QApplication app(argc, argv);                                                                              \
        velmoratest::prepareApplication(app);                                                                      \
        TestObject test;                                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
        return QTest::qExec(&test, argc, argv);                                                                    \
    }

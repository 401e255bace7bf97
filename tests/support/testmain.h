#pragma once

#include <QDir>
#include <QThread>
#include <QtTest>

namespace mosscatch {

// Qt's threads are detached: wait() returns while a thread is still ending, and
// LeakSanitizer's exit-time scan crashes when it meets one half gone. So a test
// program ends once it is back to its one thread (waiting at most 5 s).
struct LoneThreadAtExit
{
    ~LoneThreadAtExit()
    {
        const auto threads = [] {
            return QDir(QStringLiteral("/proc/self/task"), {}, QDir::NoSort,
                        QDir::Dirs | QDir::NoDotAndDotDot)
                    .count();
        };
        for (int i = 0; i < 500 && threads() > 1; ++i)
            QThread::msleep(10);
    }
};

}

#define MOSSCATCH_TEST_MAIN(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, mosscatch::LoneThreadAtExit lone; QTEST_MAIN_SETUP())
#define MOSSCATCH_TEST_GUILESS_MAIN(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, mosscatch::LoneThreadAtExit lone; \
                       QTEST_QAPP_SETUP(QCoreApplication))
#define MOSSCATCH_TEST_APPLESS_MAIN(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, mosscatch::LoneThreadAtExit lone;)

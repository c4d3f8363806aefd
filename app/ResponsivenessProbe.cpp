#include "app/ResponsivenessProbe.h"

#include "platform/system/EnvironmentSwitches.h"

#include <QCoreApplication>

#include <cstdio>

void ResponsivenessProbe::installFromEnvironment()
{
    if (EnvironmentSwitches::responsivenessProbe()) new ResponsivenessProbe(QCoreApplication::instance());
}

ResponsivenessProbe::ResponsivenessProbe(QObject* parent) : QObject(parent)
{
    clock_.start();
    startTimer(10, Qt::PreciseTimer);
}

ResponsivenessProbe::~ResponsivenessProbe()
{
    std::fprintf(stderr, "responsiveness: largest gap %lld ms\n", static_cast<long long>(largest_));
}

void ResponsivenessProbe::timerEvent(QTimerEvent*)
{
    const qint64 now = clock_.elapsed();
    if (last_) {
        largest_ = qMax(largest_, now - last_);
    } else {
        // The first tick: the window is up and the event loop runs; a benchmark waits for this.
        std::fprintf(stderr, "responsiveness: probing\n");
        std::fflush(stderr);
    }
    last_ = now;
}

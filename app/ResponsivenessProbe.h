#pragma once
#include <QElapsedTimer>
#include <QObject>

// A diagnostic for benchmarks: a 10 ms timer that keeps the largest gap between two of its
// ticks, printed to standard error when the program ends. On only with
// VESMOR_RESPONSIVENESS_PROBE=1.
class ResponsivenessProbe : public QObject {
public:
    static void installFromEnvironment();
    ~ResponsivenessProbe() override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    explicit ResponsivenessProbe(QObject* parent);
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 largest_ = 0;
};

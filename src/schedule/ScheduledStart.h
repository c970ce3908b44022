#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QTime>
#include <QTimer>

// Whether the wall clock, at `now`, has reached the chosen date and time. The fields
// are compared, not instants: a time in the hour that the autumn change repeats comes
// at its first pass, and one in the hour that the spring change skips comes at the
// first second after the gap. A day that does not exist in its month never comes.
bool ScheduledMomentHasCome(const QDateTime& now, const QDate& date, const QTime& time);

// A capture's delayed start without the window: at a date and time (compared as the
// window compares them), or after a number of seconds. It reads the Clock stand-in
// and checks at least once a second; due() is emitted once, on the first check at or
// after the moment.
class ScheduledWait : public QObject {
    Q_OBJECT
public:
    explicit ScheduledWait(QObject* parent = nullptr);

    // The moment to wait for; the last one set counts.
    void setMoment(const QDateTime& localMoment);
    void setDelay(int seconds);

    // Starts checking (the first check at once).
    void start();
    // One check: emits due() when the moment has come, else arms the next check. The
    // timer's handler; tests call it after moving the clock.
    void check();

    bool isDone() const { return m_done; }
    // Milliseconds from now to the moment (0 once it has come).
    qint64 remainingMs() const;

signals:
    void due();

private:
    QDate m_date;
    QTime m_time;
    QDateTime m_deadline; // for a delay: an instant
    QTimer m_timer;
    bool m_done = false;
};

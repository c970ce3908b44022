#include "ScheduledStart.h"

#include "Clock.h"

#include <algorithm>

bool ScheduledMomentHasCome(const QDateTime& now, const QDate& date, const QTime& time) {
    if (!date.isValid()) return false;
    const QDate today = now.date();
    if (today != date) return today > date;
    return now.time() >= time;
}

ScheduledWait::ScheduledWait(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ScheduledWait::check);
}

void ScheduledWait::setMoment(const QDateTime& localMoment) {
    m_date = localMoment.date();
    m_time = QTime(localMoment.time().hour(), localMoment.time().minute(), localMoment.time().second());
    m_deadline = {};
}

void ScheduledWait::setDelay(int seconds) {
    m_date = {};
    m_time = {};
    m_deadline = Clock::now().addSecs(seconds);
}

void ScheduledWait::start() {
    m_done = false;
    check();
}

qint64 ScheduledWait::remainingMs() const {
    const QDateTime now = Clock::now();
    if (m_deadline.isValid()) return std::max<qint64>(0, now.msecsTo(m_deadline));
    if (ScheduledMomentHasCome(now, m_date, m_time)) return 0;
    return std::max<qint64>(1, now.msecsTo(QDateTime(m_date, m_time)));
}

void ScheduledWait::check() {
    if (m_done) return;
    const qint64 remaining = remainingMs();
    if (remaining <= 0) {
        m_done = true;
        m_timer.stop();
        emit due();
        return;
    }
    // At most a second between checks: the wall clock may be set meanwhile.
    m_timer.start(int(std::clamp<qint64>(remaining, 1, 1000)));
}

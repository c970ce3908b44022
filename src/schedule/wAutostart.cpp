#include "wAutostart.h"

#include "Clock.h"
#include "Master.h"
#include "ScheduledStart.h"
#include "Vars.h"
#include "cMaster.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

QPointer<wAutostart> g_window;

// "#00": at least two digits, never cut.
QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// A spin control with the label that shows its value; "00" before the first change.
QLabel* makeDisplay(const QString& name, UpDown* control, QWidget* parent) {
    auto* display = makeLabel(name, QStringLiteral("00"), parent);
    display->setFrameShape(QFrame::StyledPanel);
    display->setFrameShadow(QFrame::Sunken);
    display->setAlignment(Qt::AlignCenter);
    display->setMinimumWidth(26);
    QObject::connect(control, &QSpinBox::valueChanged, display,
                     [display](int value) { display->setText(twoDigits(value)); });
    return display;
}

// The system's time format with its seconds, without the time zone a long format adds.
QString timeText(const QTime& time) {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return QLocale::system().toString(time, format.trimmed());
}

} // namespace

wAutostart::wAutostart(Master& master) : QWidget(&master, Qt::Window), m(master) {
    setObjectName(QStringLiteral("wAutostart"));
    setWindowTitle(QStringLiteral("Autostart"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    Form_Load();
}

wAutostart::~wAutostart() = default;

wAutostart* wAutostart::instance() {
    return g_window.data();
}

wAutostart* wAutostart::Show(Master& master) {
    if (!g_window) {
        g_window = new wAutostart(master);
        g_window->Form_Activate();
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window.data();
}

void wAutostart::CloseIfOpen() {
    if (g_window) g_window->close();
}

void wAutostart::buildControls() {
    auto* layout = new QVBoxLayout(this);

    counttag = new QTabBar(this);
    counttag->setObjectName(QStringLiteral("counttag"));
    counttag->addTab(QStringLiteral("by CountDown"));
    counttag->addTab(QStringLiteral("by Time and Date"));
    layout->addWidget(counttag);

    // Element 2: the countdown.
    countframe[2] = new QFrame(this);
    countframe[2]->setObjectName(QStringLiteral("countframe_2"));
    countframe[2]->setFrameShape(QFrame::StyledPanel);
    auto* countdown = new QHBoxLayout(countframe[2]);
    chor = new UpDown(QStringLiteral("chor"), 0, 23, QString(), countframe[2]);
    cmin = new UpDown(QStringLiteral("cmin"), 0, 59, QString(), countframe[2]);
    csec = new UpDown(QStringLiteral("csec"), 0, 59, QString(), countframe[2]);
    dhor = makeDisplay(QStringLiteral("dhor"), chor, countframe[2]);
    dmin = makeDisplay(QStringLiteral("dmin"), cmin, countframe[2]);
    dsec = makeDisplay(QStringLiteral("dsec"), csec, countframe[2]);
    const char* const kCountCaptions[] = {"Hour", "Minutes", "Seconds"};
    const std::array<std::pair<QLabel*, UpDown*>, 3> countUnits{{{dhor, chor}, {dmin, cmin}, {dsec, csec}}};
    for (int i = 0; i < 3; ++i) {
        effects[size_t(i)] =
            makeLabel(QStringLiteral("effects_%1").arg(i), QLatin1String(kCountCaptions[i]), countframe[2]);
        countdown->addWidget(countUnits[size_t(i)].first);
        countdown->addWidget(countUnits[size_t(i)].second);
        countdown->addWidget(effects[size_t(i)]);
        countdown->addSpacing(8);
    }
    countdown->addStretch(1);
    layout->addWidget(countframe[2]);

    // Element 1: the date and time.
    countframe[1] = new QFrame(this);
    countframe[1]->setObjectName(QStringLiteral("countframe_1"));
    countframe[1]->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(countframe[1]);
    bh = new UpDown(QStringLiteral("bh"), 0, 23, QString(), countframe[1]);
    bm = new UpDown(QStringLiteral("bm"), 0, 59, QString(), countframe[1]);
    bs = new UpDown(QStringLiteral("bs"), 0, 59, QString(), countframe[1]);
    hd = makeDisplay(QStringLiteral("hd"), bh, countframe[1]);
    md = makeDisplay(QStringLiteral("md"), bm, countframe[1]);
    sd = makeDisplay(QStringLiteral("sd"), bs, countframe[1]);
    ano = new QComboBox(countframe[1]);
    ano->setObjectName(QStringLiteral("ano"));
    mes = new QComboBox(countframe[1]);
    mes->setObjectName(QStringLiteral("mes"));
    dia = new QComboBox(countframe[1]);
    dia->setObjectName(QStringLiteral("dia"));
    const char* const kDateCaptions[] = {"Hour", "Minutes", "Seconds", "Month", "Year", "Day"};
    for (int i = 0; i < 6; ++i)
        effects[size_t(3 + i)] = makeLabel(QStringLiteral("effects_%1").arg(3 + i),
                                           QLatin1String(kDateCaptions[i]), countframe[1]);
    const std::array<std::pair<QLabel*, UpDown*>, 3> timeUnits{{{hd, bh}, {md, bm}, {sd, bs}}};
    for (int i = 0; i < 3; ++i) {
        auto* unit = new QHBoxLayout;
        unit->setSpacing(0);
        unit->addWidget(timeUnits[size_t(i)].first);
        unit->addWidget(timeUnits[size_t(i)].second);
        unit->addSpacing(4);
        unit->addWidget(effects[size_t(3 + i)]);
        unit->addStretch(1);
        grid->addLayout(unit, 0, i);
    }
    const std::array<std::pair<QLabel*, QComboBox*>, 3> dateUnits{
        {{effects[6], mes}, {effects[7], ano}, {effects[8], dia}}};
    for (int i = 0; i < 3; ++i) {
        auto* unit = new QHBoxLayout;
        unit->addWidget(dateUnits[size_t(i)].first);
        unit->addWidget(dateUnits[size_t(i)].second, 1);
        grid->addLayout(unit, 1, i);
    }
    layout->addWidget(countframe[1]);

    RealDate = makeLabel(QStringLiteral("RealDate"), QString(), this);
    RealTime = makeLabel(QStringLiteral("RealTime"), QString(), this);
    auto* clock = new QHBoxLayout;
    clock->addWidget(RealDate, 1);
    clock->addWidget(RealTime);
    layout->addLayout(clock);

    start = new QPushButton(QStringLiteral("OK"), this);
    start->setObjectName(QStringLiteral("start"));
    cancelbutton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelbutton->setObjectName(QStringLiteral("cancelbutton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(start);
    buttons->addWidget(cancelbutton);
    layout->addLayout(buttons);

    CDTimer = new QTimer(this);
    CDTimer->setObjectName(QStringLiteral("CDTimer"));
    tcountdown = new QTimer(this);
    tcountdown->setObjectName(QStringLiteral("tcountdown"));
    tdata = new QTimer(this);
    tdata->setObjectName(QStringLiteral("tdata"));
    for (QTimer* timer : {CDTimer, tcountdown, tdata})
        timer->setInterval(1000);

    connect(CDTimer, &QTimer::timeout, this, &wAutostart::CDTimer_Timer);
    connect(tcountdown, &QTimer::timeout, this, &wAutostart::tcountdown_Timer);
    connect(tdata, &QTimer::timeout, this, &wAutostart::tdata_Timer);
    connect(counttag, &QTabBar::currentChanged, this, &wAutostart::counttag_Click);
    connect(start, &QPushButton::clicked, this, &wAutostart::start_Click);
    connect(cancelbutton, &QPushButton::clicked, this, &QWidget::close);
}

void wAutostart::Form_Load() {
    counttag->setCurrentIndex(0);
    counttag_Click(0);
    CDTimer_Timer(); // the clock labels at once

    const QDate today = Clock::now().date();
    ano->clear();
    for (int year = today.year(); year <= today.year() + 10; ++year)
        ano->addItem(QString::number(year));
    ano->setCurrentIndex(0);
    mes->clear();
    for (int month = 1; month <= 12; ++month)
        mes->addItem(QLocale::system().monthName(month, QLocale::LongFormat));
    mes->setCurrentIndex(today.month() - 1);
    dia->clear();
    for (int day = 1; day <= 31; ++day)
        dia->addItem(QString::number(day));
    dia->setCurrentIndex(today.day() - 1);

    CDTimer->start();
}

void wAutostart::Form_Activate() {
    // Only when the window opens: going to the main window and back must neither undo
    // the user's edits nor restart a running countdown.
    if (Vars::ScheduledStartHours >= 0 && Vars::ScheduledStartHours <= 23)
        chor->setValue(Vars::ScheduledStartHours);
    if (Vars::ScheduledStartMinutes >= 0 && Vars::ScheduledStartMinutes <= 59)
        cmin->setValue(Vars::ScheduledStartMinutes);
    if (Vars::ScheduledStartSeconds >= 0 && Vars::ScheduledStartSeconds <= 59)
        csec->setValue(Vars::ScheduledStartSeconds);
}

void wAutostart::CDTimer_Timer() {
    const QDateTime now = Clock::now();
    const QDate today = now.date();
    const QTime time = now.time();
    const QLocale locale = QLocale::system();
    RealDate->setText(locale.dayName(today.dayOfWeek(), QLocale::LongFormat) + QStringLiteral(", ") +
                      locale.toString(today, QStringLiteral("dd MMMM yyyy")));
    RealTime->setText(timeText(time));

    if (ano->count() == 0) return; // still loading
    // Armed, the clock never moves the choice: a choice that the present has reached
    // starts now. (Moving it up would push an hour or a minute that has just come
    // further away, as the adjustment below moves the fields one by one.)
    if (tdata->isActive()) {
        tdata_Timer();
        return;
    }

    // The chosen date, within the present year, not before today.
    if (ano->currentText().toInt() == today.year()) {
        const int month = mes->currentIndex() + 1; // as chosen, before the month is moved
        if (mes->currentIndex() >= 0 && month < today.month()) mes->setCurrentIndex(today.month() - 1);
        if (dia->currentIndex() >= 0 && month == today.month() && dia->currentText().toInt() < today.day())
            dia->setCurrentIndex(today.day() - 1);
    }

    // The chosen time of today, not before now.
    if (ano->currentText().toInt() != today.year() || mes->currentIndex() + 1 != today.month() ||
        dia->currentText().toInt() != today.day())
        return;
    if (bh->value() < time.hour()) bh->setValue(time.hour());
    if (bh->value() == time.hour()) {
        if (bm->value() < time.minute()) bm->setValue(time.minute());
        if (bm->value() == time.minute() && bs->value() < time.second()) bs->setValue(time.second());
    }
}

void wAutostart::counttag_Click(int tab) {
    if (tab < 0) return;
    countframe[2]->setVisible(tab == 0);
    countframe[1]->setVisible(tab == 1);
}

void wAutostart::start_Click() {
    if (counttag->currentIndex() == 0) {
        tcountdown->start();
        for (QWidget* w : {static_cast<QWidget*>(start), static_cast<QWidget*>(chor),
                           static_cast<QWidget*>(cmin), static_cast<QWidget*>(csec)})
            w->hide();
    } else {
        tdata->start();
        for (QWidget* w : {static_cast<QWidget*>(start), static_cast<QWidget*>(bh), static_cast<QWidget*>(bm),
                           static_cast<QWidget*>(bs)})
            w->hide();
        mes->setEnabled(false);
        ano->setEnabled(false);
        dia->setEnabled(false);
    }
    counttag->setEnabled(false); // the way of starting is fixed once armed
}

void wAutostart::tcountdown_Timer() {
    if (!tcountdown->isActive()) return; // a tick after the capture was called
    int h = chor->value();
    int mi = cmin->value();
    int s = csec->value();
    if (h == 0 && mi == 0 && s == 0) {
        tcountdown->stop();
        startCapture();
        return;
    }
    if (s > 0) {
        s -= 1;
    } else {
        s = 59;
        if (mi > 0) {
            mi -= 1;
        } else {
            mi = 59;
            h -= 1;
        }
    }
    chor->setValue(h);
    cmin->setValue(mi);
    csec->setValue(s);
}

bool wAutostart::chosenMomentHasCome() const {
    const QDate date(ano->currentText().toInt(), mes->currentIndex() + 1, dia->currentText().toInt());
    return ScheduledMomentHasCome(Clock::now(), date, QTime(bh->value(), bm->value(), bs->value()));
}

void wAutostart::tdata_Timer() {
    // At or after the chosen second: a tick that comes late on a busy machine must
    // not skip it.
    if (!tdata->isActive()) return; // a tick after the capture was called
    if (!chosenMomentHasCome()) return;
    tdata->stop();
    startCapture();
}

void wAutostart::startCapture() {
    // The capture action closes this window first (its CloseScheduledStart hook).
    cMaster::CaptureAction(m, true);
}

void wAutostart::closeEvent(QCloseEvent* event) {
    Vars::ScheduledStartHours = qint16(chor->value());
    Vars::ScheduledStartMinutes = qint16(cmin->value());
    Vars::ScheduledStartSeconds = qint16(csec->value());
    CDTimer->stop();
    tcountdown->stop();
    tdata->stop();
    event->accept();
}

#include "SourceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <tuple>

SourceDialog::SourceDialog(QWidget* parent, CaptureDriver& driver)
    : QDialog(parent), m_driver(driver), m_start(driver.controls()) {
    setObjectName(QStringLiteral("VideoSourceDialog"));
    setWindowTitle(QStringLiteral("Video Source"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const DriverControl& control : m_start) {
        addControl(control);
        QWidget* widget = m_widgets[control.id];
        if (auto* slider = qobject_cast<QSlider*>(widget)) {
            auto* row = new QHBoxLayout;
            row->addWidget(slider);
            row->addWidget(m_valueLabels[control.id]);
            form->addRow(control.name, row);
        } else {
            form->addRow(control.name, widget);
        }
    }
    if (m_start.empty())
        form->addRow(new QLabel(QStringLiteral("This device has no adjustable settings."), this));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("controlStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_dragTimer.setInterval(kDragWriteMs);
    m_dragTimer.setSingleShot(true);
    connect(&m_dragTimer, &QTimer::timeout, this, &SourceDialog::flush);
    m_eventTimer.setInterval(kEventPollMs);
    connect(&m_eventTimer, &QTimer::timeout, this, &SourceDialog::takeControlChanges);
    m_driver.takeControlChanges(); // what was announced before the dialog is shown as it is now
    m_eventTimer.start();
}

bool SourceDialog::keepsValue(const DriverControl& control) {
    return control.kind != DriverControl::Kind::Button && control.kind != DriverControl::Kind::Steps;
}

void SourceDialog::takeControlChanges() {
    if (m_driver.takeControlChanges()) refresh();
}

void SourceDialog::addControl(const DriverControl& control) {
    const std::uint32_t id = control.id;
    QWidget* widget = nullptr;
    switch (control.kind) {
    case DriverControl::Kind::CheckBox: {
        auto* box = new QCheckBox(this);
        box->setChecked(control.value != 0);
        connect(box, &QCheckBox::toggled, this, [this, id](bool on) { change(id, on); });
        widget = box;
        break;
    }
    case DriverControl::Kind::Menu: {
        auto* combo = new QComboBox(this);
        for (qsizetype i = 0; i < control.menuItems.size(); ++i)
            if (!control.menuItems[i].isEmpty())
                combo->addItem(control.menuItems[i], control.minimum + int(i));
        if (combo->findData(control.value) < 0) combo->addItem(QString::number(control.value), control.value);
        combo->setCurrentIndex(std::max(0, combo->findData(control.value)));
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, id, combo](int) { change(id, combo->currentData().toInt()); });
        widget = combo;
        break;
    }
    case DriverControl::Kind::Slider: {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(std::max(1, control.step));
        slider->setValue(control.value);
        // The number first: a refused write sets it back to the camera's value.
        auto* number = new QLabel(QString::number(control.value), this);
        number->setObjectName(QStringLiteral("value_%1").arg(id));
        connect(slider, &QSlider::valueChanged, number, qOverload<int>(&QLabel::setNum));
        m_valueLabels[id] = number;
        connect(slider, &QSlider::valueChanged, this, [this, id, slider](int v) {
            if (!slider->isSliderDown()) return change(id, v);
            m_pending[id] = v;
            if (!m_dragTimer.isActive()) m_dragTimer.start();
        });
        connect(slider, &QSlider::sliderReleased, this, [this, slider, returns = control.returnsToZero] {
            flush();
            if (returns) slider->setValue(0); // a speed: releasing it stops the motion
        });
        widget = slider;
        break;
    }
    case DriverControl::Kind::Button: {
        auto* button = new QPushButton(control.name, this);
        connect(button, &QPushButton::clicked, this, [this, id] { change(id, 1); });
        widget = button;
        break;
    }
    case DriverControl::Kind::Steps: {
        // Each press moves by one step; there is no position to show.
        widget = new QWidget(this);
        auto* row = new QHBoxLayout(widget);
        row->setContentsMargins(0, 0, 0, 0);
        const int step = std::max(1, control.step);
        for (const auto& [name, text, value] :
             {std::tuple{QStringLiteral("less_%1"), QStringLiteral("-"), -step},
              std::tuple{QStringLiteral("more_%1"), QStringLiteral("+"), step}}) {
            auto* button = new QPushButton(text, widget);
            button->setObjectName(name.arg(id));
            connect(button, &QPushButton::clicked, this, [this, id, value = value] { change(id, value); });
            row->addWidget(button);
        }
        break;
    }
    }
    widget->setObjectName(QStringLiteral("control_%1").arg(id));
    widget->setEnabled(!control.inactive);
    if (control.inactive) widget->setToolTip(QStringLiteral("Set by its automatic control"));
    m_widgets[id] = widget;
}

void SourceDialog::change(std::uint32_t id, int value) {
    flush(); // in the order the user made them
    write(id, value);
}

void SourceDialog::flush() {
    m_dragTimer.stop();
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (const auto& [id, value] : pending)
        write(id, value);
}

bool SourceDialog::write(std::uint32_t id, int value) {
    const bool ok = m_driver.setControl(id, value);
    const auto control =
        std::find_if(m_start.begin(), m_start.end(), [id](const DriverControl& c) { return c.id == id; });
    const QString name = control != m_start.end() ? control->name : QString::number(id);
    if (!ok)
        m_status->setText(QStringLiteral("\"%1\" was not changed: %2").arg(name, m_driver.lastError()));
    else
        m_status->clear();
    // A refused value shows the camera's own again; the camera announces what a write
    // changed in the others (an automatic control switched off), and an automatic
    // control is read back anyway for a driver that announces nothing.
    const bool announced = m_driver.takeControlChanges();
    if (!ok || announced || (control != m_start.end() && control->updatesOthers)) refresh();
    return ok;
}

void SourceDialog::refresh() {
    for (const DriverControl& control : m_driver.controls()) {
        const auto it = m_widgets.find(control.id);
        if (it == m_widgets.end()) continue;
        QWidget* widget = it->second;
        const QSignalBlocker block(widget);
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            box->setChecked(control.value != 0);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setCurrentIndex(std::max(0, combo->findData(control.value)));
        } else if (auto* slider = qobject_cast<QSlider*>(widget); slider && !slider->isSliderDown()) {
            // One being dragged keeps the user's value.
            slider->setValue(control.value);
            m_valueLabels[control.id]->setNum(control.value);
        }
        widget->setEnabled(!control.inactive);
        widget->setToolTip(control.inactive ? QStringLiteral("Set by its automatic control") : QString());
    }
}

void SourceDialog::restore() {
    m_dragTimer.stop();
    m_pending.clear();
    // Automatic controls first: the manual controls they govern take a value only
    // once they are off again, and one still governed is left to its automatic.
    for (bool automatic : {true, false}) {
        const std::vector<DriverControl> now = m_driver.controls();
        for (const DriverControl& control : m_start) {
            if (control.updatesOthers != automatic || !keepsValue(control)) continue;
            const auto it = std::find_if(now.begin(), now.end(),
                                         [&](const DriverControl& c) { return c.id == control.id; });
            if (it != now.end() && !it->inactive && it->value != control.value)
                m_driver.setControl(control.id, control.value);
        }
    }
}

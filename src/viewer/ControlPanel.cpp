#include "ControlPanel.h"

#include "CameraFeed.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

using Key = ViewerTexts::Key;
using platform::CameraControl;
using platform::CameraSetting;

namespace {

Key keyFor(CameraSetting setting)
{
    switch (setting) {
    case CameraSetting::Brightness:
        return Key::Brightness;
    case CameraSetting::Contrast:
        return Key::Contrast;
    case CameraSetting::Saturation:
        return Key::Saturation;
    case CameraSetting::Sharpness:
        return Key::Sharpness;
    case CameraSetting::Gain:
        return Key::Gain;
    case CameraSetting::ExposureAuto:
        return Key::ExposureAuto;
    case CameraSetting::Exposure:
        return Key::Exposure;
    case CameraSetting::WhiteBalanceAuto:
        return Key::WhiteBalanceAuto;
    case CameraSetting::WhiteBalanceTemperature:
        return Key::WhiteBalanceTemperature;
    case CameraSetting::PowerLineFrequency:
        return Key::PowerLineFrequency;
    case CameraSetting::FocusAuto:
        return Key::FocusAuto;
    case CameraSetting::Focus:
        return Key::FocusDistance;
    case CameraSetting::Zoom:
        return Key::Zoom;
    }
    return Key::CameraSettings;
}

} // namespace

ControlPanel::ControlPanel(const ViewerTexts &texts, CameraFeed &camera, QWidget *parent)
    : QWidget(parent), texts(texts), camera(camera)
{
    setObjectName(QStringLiteral("controlPanel"));
    auto *layout = new QVBoxLayout(this);
    form = new QWidget(this);
    formLayout = new QFormLayout(form);
    formLayout->setRowWrapPolicy(QFormLayout::WrapAllRows);
    layout->addWidget(form);
    auto *reset = new QPushButton(texts.text(Key::Reset), this);
    reset->setObjectName(QStringLiteral("resetControls"));
    connect(reset, &QPushButton::clicked, this, [this] {
        this->camera.resetControls();
        rebuild();
    });
    layout->addWidget(reset);
    layout->addStretch(1);
    setMinimumWidth(260);
}

QString ControlPanel::caption(CameraSetting setting, const CameraControl &) const
{
    return texts.text(keyFor(setting));
}

void ControlPanel::change(CameraSetting setting, std::int32_t value)
{
    if (!camera.setControl(setting, value))
        qDebug().noquote() << "<ControlPanel> the camera refused" << static_cast<int>(setting) << value;
    else
        qDebug().noquote() << "<ControlPanel> control" << static_cast<int>(setting) << "set to" << value;
    // An automatic switch enables or disables its manual partner: read
    // everything again, after this signal's handling is over.
    QTimer::singleShot(0, this, &ControlPanel::rebuild);
}

void ControlPanel::rebuild()
{
    while (formLayout->rowCount() > 0)
        formLayout->removeRow(0);
    const auto controls = camera.controls();
    qDebug().noquote() << "<ControlPanel>" << controls.size() << "controls";
    for (const auto &[setting, control] : controls) {
        QWidget *editor = nullptr;
        const CameraSetting which = setting;
        switch (control.kind) {
        case CameraControl::Kind::Boolean: {
            auto *box = new QCheckBox(form);
            box->setChecked(control.value != 0);
            connect(box, &QCheckBox::toggled, this, [this, which](bool on) { change(which, on ? 1 : 0); });
            editor = box;
            break;
        }
        case CameraControl::Kind::Menu: {
            auto *list = new QComboBox(form);
            for (const auto &[value, name] : control.menu) {
                list->addItem(QString::fromStdString(name), value);
                if (value == control.value)
                    list->setCurrentIndex(list->count() - 1);
            }
            connect(list, &QComboBox::activated, this,
                    [this, which, list](int index) { change(which, list->itemData(index).toInt()); });
            editor = list;
            break;
        }
        case CameraControl::Kind::Integer: {
            auto *slider = new QSlider(Qt::Horizontal, form);
            slider->setRange(control.minimum, control.maximum);
            slider->setSingleStep(control.step);
            slider->setPageStep(std::max(control.step, (control.maximum - control.minimum) / 10));
            slider->setValue(control.value);
            slider->setToolTip(QString::number(control.value));
            // Set when the user lets go (or steps by key), not for every
            // pixel of a drag: each change is an ioctl and rebuilds the panel.
            connect(slider, &QSlider::valueChanged, this, [this, which, slider](int value) {
                slider->setToolTip(QString::number(value));
                if (!slider->isSliderDown())
                    change(which, value);
            });
            connect(slider, &QSlider::sliderReleased, this,
                    [this, which, slider] { change(which, slider->value()); });
            editor = slider;
            break;
        }
        }
        editor->setEnabled(!control.inactive);
        editor->setObjectName(QStringLiteral("control%1").arg(static_cast<int>(setting)));
        auto *label = new QLabel(caption(setting, control), form);
        label->setWordWrap(true);
        formLayout->addRow(label, editor);
    }
}

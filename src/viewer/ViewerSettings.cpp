#include "ViewerSettings.h"

namespace {

QString cameraGroup(const QString &camera)
{
    QString key = camera;
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    key.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QStringLiteral("cameras/") + key + QLatin1Char('/');
}

QString controlKey(const QString &camera, platform::CameraSetting setting)
{
    return cameraGroup(camera) + QStringLiteral("controls/%1").arg(static_cast<int>(setting));
}

} // namespace

ViewerSettings::ViewerSettings()
    : settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brivara"), QStringLiteral("tessel"))
{
}

int ViewerSettings::rotation() const
{
    return settings.value(QStringLiteral("picture/rotation"), 0).toInt();
}

void ViewerSettings::setRotation(int degrees)
{
    settings.setValue(QStringLiteral("picture/rotation"), degrees);
}

bool ViewerSettings::captureAsJpeg() const
{
    return settings.value(QStringLiteral("capture/format")).toString() != QLatin1String("png");
}

void ViewerSettings::setCaptureAsJpeg(bool jpeg)
{
    settings.setValue(QStringLiteral("capture/format"), jpeg ? QStringLiteral("jpeg") : QStringLiteral("png"));
}

std::optional<FormatChooser::Choice> ViewerSettings::cameraChoice(const QString &camera) const
{
    const QSize size = settings.value(cameraGroup(camera) + QStringLiteral("resolution")).toSize();
    const double rate = settings.value(cameraGroup(camera) + QStringLiteral("rate")).toDouble();
    if (!size.isValid() || size.isEmpty() || rate <= 0)
        return std::nullopt;
    return FormatChooser::Choice{size, rate};
}

void ViewerSettings::setCameraChoice(const QString &camera, const FormatChooser::Choice &choice)
{
    settings.setValue(cameraGroup(camera) + QStringLiteral("resolution"), choice.size);
    settings.setValue(cameraGroup(camera) + QStringLiteral("rate"), choice.rate);
}

std::optional<std::int32_t> ViewerSettings::cameraControl(const QString &camera, platform::CameraSetting setting) const
{
    bool ok = false;
    const int value = settings.value(controlKey(camera, setting)).toInt(&ok);
    return ok ? std::optional<std::int32_t>(value) : std::nullopt;
}

void ViewerSettings::setCameraControl(const QString &camera, platform::CameraSetting setting, std::int32_t value)
{
    settings.setValue(controlKey(camera, setting), value);
}

void ViewerSettings::forgetCameraControl(const QString &camera, platform::CameraSetting setting)
{
    settings.remove(controlKey(camera, setting));
}

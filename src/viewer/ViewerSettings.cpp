#include "ViewerSettings.h"

namespace {

// A camera's key: its name, not its node, which changes between plug-ins.
QString cameraKey(const QString &camera)
{
    QString key = camera;
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("cameras/") + key + QStringLiteral("/resolution");
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
    return settings.value(QStringLiteral("capture/format")).toString() == QLatin1String("jpeg");
}

void ViewerSettings::setCaptureAsJpeg(bool jpeg)
{
    settings.setValue(QStringLiteral("capture/format"), jpeg ? QStringLiteral("jpeg") : QStringLiteral("png"));
}

std::optional<QSize> ViewerSettings::cameraFormat(const QString &camera) const
{
    const QSize size = settings.value(cameraKey(camera)).toSize();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    return size;
}

void ViewerSettings::setCameraFormat(const QString &camera, const QSize &resolution)
{
    settings.setValue(cameraKey(camera), resolution);
}

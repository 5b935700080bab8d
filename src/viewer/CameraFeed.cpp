#include "CameraFeed.h"

#include "CameraLocator.h"
#include "FormatChooser.h"
#include "FrameConverter.h"
#include "ViewerSettings.h"

#include <QDebug>

CameraFeed::CameraFeed(ViewerSettings &settings, QObject *parent)
    : CameraSource(parent), settings(settings)
{
    session.setVideoSink(&sink);
    connect(&sink, &QVideoSink::videoFrameChanged, this, &CameraFeed::onFrame);
    connect(&devices, &QMediaDevices::videoInputsChanged, this, &CameraSource::camerasChanged);
}

CameraFeed::~CameraFeed()
{
    close();
}

bool CameraFeed::open(const CameraLocator::VideoNode &node)
{
    close();
    const QList<QCameraDevice> cameras = QMediaDevices::videoInputs();
    QList<CameraLocator::ListedCamera> listed;
    for (const QCameraDevice &device : cameras)
        listed.append({device.id(), device.description()});
    const std::optional<qsizetype> found = CameraLocator::cameraFor(node, listed);
    if (!found)
        return false;
    const QCameraDevice &device = cameras[*found];

    QList<FormatChooser::Offer> offers;
    const QList<QCameraFormat> formats = device.videoFormats();
    for (const QCameraFormat &format : formats)
        offers.append({format.resolution(), format.maxFrameRate()});
    const std::optional<QSize> remembered = settings.cameraFormat(device.description());
    const std::optional<qsizetype> chosen = FormatChooser::choose(offers, remembered);

    camera = std::make_unique<QCamera>(device);
    if (chosen) {
        const QCameraFormat &format = formats[*chosen];
        camera->setCameraFormat(format);
        settings.setCameraFormat(device.description(), format.resolution());
        qDebug().noquote() << QStringLiteral("<CameraFeed> opening %1 \"%2\" at %3x%4, up to %5 frames a second")
                                  .arg(node.node, device.description())
                                  .arg(format.resolution().width())
                                  .arg(format.resolution().height())
                                  .arg(double(format.maxFrameRate()));
    } else {
        qDebug().noquote() << QStringLiteral("<CameraFeed> opening %1 \"%2\" in its own format")
                                  .arg(node.node, device.description());
    }
    connect(camera.get(), &QCamera::errorOccurred, this, [this](QCamera::Error, const QString &text) {
        if (camera)
            emit failed(text.isEmpty() ? QStringLiteral("camera error") : text);
    });
    session.setCamera(camera.get());
    openNode = node.node;
    camera->start();
    return true;
}

void CameraFeed::close()
{
    if (!camera)
        return;
    qDebug().noquote() << "<CameraFeed> closing" << openNode;
    camera->stop();
    session.setCamera(nullptr);
    camera.reset();
    openNode.clear();
}

void CameraFeed::onFrame(const QVideoFrame &frame)
{
    if (!camera || !frame.isValid())
        return;
    const QImage image = frame_converter::toImage(frame);
    if (!image.isNull())
        emit frameArrived(image);
}

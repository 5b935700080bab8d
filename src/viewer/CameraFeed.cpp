#include "CameraFeed.h"

#include "ViewerSettings.h"

#include <QDebug>

#include <algorithm>

CameraFeed::CameraFeed(ViewerSettings &settings, DeviceOpener opener, QObject *parent)
    : CameraSource(parent), settings(settings), openDevice(std::move(opener))
{
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, [this] {
        if (device)
            startStream(captureDone && fullMode ? *fullMode : liveMode);
    });
    connect(&pipeline, &CameraPipeline::frameReady, this, &CameraFeed::onFrameReady);
    connect(&pipeline, &CameraPipeline::problem, this, &CameraFeed::onProblem);
}

CameraFeed::~CameraFeed()
{
    close();
}

bool CameraFeed::open(const CameraLocator::VideoNode &node)
{
    close();
    std::unique_ptr<platform::CameraDevice> opened = openDevice(node.node.toStdString());
    if (!opened)
        return false;
    const std::vector<platform::CameraMode> offered = opened->modes();
    QList<platform::CameraMode> listed(offered.begin(), offered.end());
    const std::optional<qsizetype> live = FormatChooser::live(listed, settings.cameraChoice(node.key()));
    if (!live) {
        qDebug().noquote() << "<CameraFeed>" << node.node << "offers no format the viewer can show";
        return false;
    }
    device = std::move(opened);
    openNode = node;
    modes = listed;
    liveMode = modes[*live];
    const std::optional<qsizetype> largest = FormatChooser::largest(modes);
    fullMode = largest ? std::optional(modes[*largest]) : std::nullopt;
    qDebug().noquote() << QStringLiteral("<CameraFeed> opening %1 \"%2\" at %3x%4 %5, %6 frames a second")
                              .arg(node.node, node.name)
                              .arg(liveMode.width)
                              .arg(liveMode.height)
                              .arg(FormatChooser::formatName(liveMode.pixelFormat))
                              .arg(liveMode.rate());
    restoreControls();
    retryMs = FirstRetryMs;
    inTrouble = false;
    startStream(liveMode);
    return true;
}

void CameraFeed::close()
{
    retry.stop();
    if (!device)
        return;
    qDebug().noquote() << "<CameraFeed> closing" << openNode.node;
    pipeline.stop();
    device.reset();
    openNode = {};
    modes.clear();
    if (captureDone)
        finishCapture({});
}

void CameraFeed::reopen()
{
    if (!device)
        return;
    qDebug().noquote() << "<CameraFeed> starting" << openNode.node << "afresh";
    retry.stop();
    retryMs = FirstRetryMs;
    startStream(liveMode);
}

void CameraFeed::startStream(const platform::CameraMode &mode)
{
    if (!pipeline.start(openNode.node, mode))
        onProblem(CameraPipeline::Problem::Stopped, QStringLiteral("GStreamer cannot stream the camera"));
}

void CameraFeed::onFrameReady()
{
    const std::shared_ptr<const CameraFrame> frame = pipeline.takeFrame();
    if (!frame)
        return;
    if (inTrouble) {
        inTrouble = false;
        retryMs = FirstRetryMs;
        qDebug().noquote() << "<CameraFeed> frames again";
        emit streaming();
    }
    if (captureDone) {
        // Frames of the live mode still on their way are not the capture.
        if (fullMode && pipeline.mode() == *fullMode)
            finishCapture(*frame);
        return;
    }
    emit frameArrived(*frame);
}

void CameraFeed::onProblem(CameraPipeline::Problem problem, const QString &detail)
{
    pipeline.stop();
    // Busy while a stream of ours that had frames is still being taken down
    // is our own reader holding the camera, not another program.
    const bool busy = problem == CameraPipeline::Problem::Busy && CameraPipeline::teardownsPending() == 0;
    const Trouble kind = busy ? Trouble::Busy : Trouble::Stopped;
    qDebug().noquote() << "<CameraFeed>" << openNode.node
                       << (kind == Trouble::Busy ? "is in use by another program" : "stopped sending pictures")
                       << "(" + detail + "), trying again in" << retryMs << "ms";
    if (captureDone)
        finishCapture({});
    inTrouble = true;
    emit trouble(kind, detail);
    retry.start(retryMs);
    retryMs = std::min(retryMs * 2, LongestRetryMs);
}

QList<FormatChooser::Choice> CameraFeed::choices() const
{
    return FormatChooser::choices(modes);
}

std::optional<FormatChooser::Choice> CameraFeed::current() const
{
    if (!device)
        return std::nullopt;
    return FormatChooser::Choice{QSize(liveMode.width, liveMode.height), liveMode.rate()};
}

void CameraFeed::choose(const FormatChooser::Choice &choice)
{
    if (!device)
        return;
    const std::optional<qsizetype> live = FormatChooser::live(modes, choice);
    if (!live)
        return;
    settings.setCameraChoice(openNode.key(), choice);
    liveMode = modes[*live];
    qDebug().noquote() << QStringLiteral("<CameraFeed> streaming %1x%2 %3, %4 frames a second as chosen")
                              .arg(liveMode.width)
                              .arg(liveMode.height)
                              .arg(FormatChooser::formatName(liveMode.pixelFormat))
                              .arg(liveMode.rate());
    if (!captureDone)
        startStream(liveMode);
}

std::vector<std::pair<platform::CameraSetting, platform::CameraControl>> CameraFeed::controls() const
{
    return device ? device->controls() : std::vector<std::pair<platform::CameraSetting, platform::CameraControl>>{};
}

bool CameraFeed::setControl(platform::CameraSetting setting, std::int32_t value)
{
    if (!device)
        return false;
    for (const auto &[which, control] : device->controls()) {
        if (which != setting)
            continue;
        if (!device->setControl(control.id, value))
            return false;
        settings.setCameraControl(openNode.key(), setting, value);
        return true;
    }
    return false;
}

void CameraFeed::resetControls()
{
    if (!device)
        return;
    // Manual values first: they are taken only while their automatic
    // switch is off, and the switches' defaults turn them on.
    auto listed = device->controls();
    std::stable_sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) {
        const auto manual = [](const auto &entry) { return entry.second.kind == platform::CameraControl::Kind::Integer; };
        return manual(a) > manual(b);
    });
    for (const auto &[setting, control] : listed) {
        device->setControl(control.id, control.defaultValue);
        settings.forgetCameraControl(openNode.key(), setting);
    }
    qDebug().noquote() << "<CameraFeed> controls back to the camera's defaults";
}

void CameraFeed::restoreControls()
{
    // Twice: a manual value is refused while its automatic switch is on, and
    // the first pass turns a switch saved off off.
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto &[setting, control] : device->controls()) {
            const std::optional<std::int32_t> saved = settings.cameraControl(openNode.key(), setting);
            if (saved && *saved != control.value && !control.inactive)
                device->setControl(control.id, *saved);
        }
    }
}

void CameraFeed::captureFullSize(std::function<void(const CameraFrame &)> done)
{
    if (!device || captureDone || !fullMode) {
        if (done)
            done({});
        return;
    }
    captureDone = std::move(done);
    pipeline.setFullFrames(true);
    if (pipeline.running() && pipeline.mode() == *fullMode)
        return; // the next live frame is the picture
    qDebug().noquote() << QStringLiteral("<CameraFeed> switching to %1x%2 for a picture").arg(fullMode->width).arg(fullMode->height);
    startStream(*fullMode);
}

void CameraFeed::finishCapture(const CameraFrame &frame)
{
    auto done = std::exchange(captureDone, nullptr);
    pipeline.setFullFrames(false);
    if (device && pipeline.mode() != liveMode && !retry.isActive())
        startStream(liveMode);
    if (done)
        done(frame);
}

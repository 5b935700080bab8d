#include "MockVideoNode.h"

#include "Testbed.h"

#include <umockdev.h>

#include <linux/version.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace camera_standin {

struct MockVideoNode::Answer
{
    v4l2_capability capability{};
};

namespace {

void release(gpointer data, GClosure *)
{
    delete static_cast<MockVideoNode::Answer *>(data);
}

gboolean handleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    const auto &answer = *static_cast<const MockVideoNode::Answer *>(data);
    if (umockdev_ioctl_client_get_request(client) != VIDIOC_QUERYCAP) {
        // What the node cannot do it refuses, as a driver does.
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    GError *error = nullptr;
    UMockdevIoctlData *buffer =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(v4l2_capability), &error);
    g_clear_error(&error);
    if (!buffer) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    std::memcpy(buffer->data, &answer.capability, sizeof answer.capability);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

void copyText(__u8 *field, std::size_t room, const std::string &text)
{
    std::memcpy(field, text.data(), std::min(text.size(), room - 1));
}

} // namespace

MockVideoNode::MockVideoNode(Testbed &testbed, std::string node, Kind kind, const std::string &cardName)
    : testbed(testbed), nodePath(std::move(node))
{
    // Nothing is ever read from the node; /dev/null spares umockdev a pty.
    if (!testbed.linkNode(nodePath, "/dev/null"))
        return;
    auto *answer = new Answer;
    v4l2_capability &capability = answer->capability;
    copyText(capability.driver, sizeof capability.driver, "uvcvideo");
    copyText(capability.card, sizeof capability.card, cardName);
    copyText(capability.bus_info, sizeof capability.bus_info, "usb-0000:00:14.0-standin");
    capability.version = KERNEL_VERSION(6, 1, 0);
    // uvcvideo: capabilities are those of the whole function, device_caps
    // those of this node.
    const __u32 common = V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
    capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | common | V4L2_CAP_DEVICE_CAPS;
    capability.device_caps = (kind == Kind::Capture ? V4L2_CAP_VIDEO_CAPTURE : V4L2_CAP_META_CAPTURE) | common;

    handler = umockdev_ioctl_base_new();
    g_signal_connect_data(handler, "handle-ioctl", G_CALLBACK(handleIoctl), answer, release, GConnectFlags(0));
    GError *error = nullptr;
    attached = umockdev_testbed_attach_ioctl(testbed.handle(), nodePath.c_str(), handler, &error);
    g_clear_error(&error);
}

MockVideoNode::~MockVideoNode()
{
    if (attached) {
        GError *error = nullptr;
        umockdev_testbed_detach_ioctl(testbed.handle(), nodePath.c_str(), &error);
        g_clear_error(&error);
    }
    if (handler)
        g_object_unref(handler);
    testbed.removeNode(nodePath);
}

} // namespace camera_standin

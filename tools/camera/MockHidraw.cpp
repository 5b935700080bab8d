#include "MockHidraw.h"

#include "Pty.h"
#include "Testbed.h"

#include <umockdev.h>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace camera_standin {

struct MockHidraw::Shared
{
    struct Entry
    {
        std::vector<std::uint8_t> report;
        int error = 0;
    };

    std::string node;
    MockHidraw::Identity identity;
    MockHidraw::Callbacks callbacks;
    std::mutex mutex;
    std::condition_variable idle;
    Pty pty;
    bool gone = false;
    bool detached = false; // the owner is gone: callbacks must not run
    int callbacksRunning = 0;
    std::deque<Entry> queue;
    std::size_t doorbells = 0; // bytes written to the pty, not yet taken back

    bool push(Entry entry);
    void takeBackDoorbells();
    void closePty();
    template <typename Call> void callOut(Call call);
};

namespace {

void release(gpointer data, GClosure *)
{
    delete static_cast<std::shared_ptr<MockHidraw::Shared> *>(data);
}

MockHidraw::Shared &sharedOf(gpointer data)
{
    return **static_cast<std::shared_ptr<MockHidraw::Shared> *>(data);
}

// Copies text into an ioctl's buffer the way the kernel does for
// HIDIOCGRAWNAME: at most the buffer, NUL included; returns the length.
long copyString(UMockdevIoctlData *arg, const std::string &text, std::size_t room)
{
    GError *error = nullptr;
    UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(arg, 0, room, &error);
    if (!buffer) {
        g_clear_error(&error);
        return -EFAULT;
    }
    const std::size_t length = std::min(text.size() + 1, room);
    std::memcpy(buffer->data, text.c_str(), length);
    return static_cast<long>(length);
}

gboolean handleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    MockHidraw::Shared &shared = sharedOf(data);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    {
        std::lock_guard lock(shared.mutex);
        if (shared.gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
    }
    const MockHidraw::Identity &identity = shared.identity;
    GError *error = nullptr;
    long result = -EINVAL;
    if (request == HIDIOCGRAWINFO) {
        if (UMockdevIoctlData *info = umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_devinfo), &error)) {
            hidraw_devinfo value{identity.bus, static_cast<__s16>(identity.vendorId),
                                 static_cast<__s16>(identity.productId)};
            std::memcpy(info->data, &value, sizeof value);
            result = 0;
        }
    } else if (request == HIDIOCGRDESCSIZE) {
        if (UMockdevIoctlData *size = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), &error)) {
            const int value = static_cast<int>(identity.reportDescriptor.size());
            std::memcpy(size->data, &value, sizeof value);
            result = 0;
        }
    } else if (request == HIDIOCGRDESC) {
        if (UMockdevIoctlData *descriptor =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), &error)) {
            hidraw_report_descriptor value;
            std::memcpy(&value, descriptor->data, sizeof value);
            value.size = std::min<__u32>(value.size, static_cast<__u32>(identity.reportDescriptor.size()));
            std::copy_n(identity.reportDescriptor.begin(), value.size, value.value);
            std::memcpy(descriptor->data, &value, sizeof value);
            result = 0;
        }
    } else if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == _IOC_NR(HIDIOCGRAWNAME(0))) {
        result = copyString(arg, identity.name, _IOC_SIZE(request));
    }
    g_clear_error(&error);
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0);
    return TRUE;
}

gboolean handleRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    MockHidraw::Shared &shared = sharedOf(data);
    UMockdevIoctlData *buffer = umockdev_ioctl_client_get_arg(client);
    std::unique_lock lock(shared.mutex);
    if (shared.gone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    if (shared.queue.empty()) {
        shared.takeBackDoorbells();
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
    }
    MockHidraw::Shared::Entry entry = std::move(shared.queue.front());
    shared.queue.pop_front();
    shared.takeBackDoorbells();
    lock.unlock();
    if (entry.error != 0) {
        shared.callOut([&](MockHidraw::Callbacks &callbacks) {
            if (callbacks.readFailed)
                callbacks.readFailed(entry.error);
        });
        umockdev_ioctl_client_complete(client, -1, entry.error);
        return TRUE;
    }
    // Like hidraw: a report longer than the buffer is cut to it.
    const std::size_t length = std::min(entry.report.size(), static_cast<std::size_t>(buffer->data_len));
    std::copy_n(entry.report.begin(), length, buffer->data);
    umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
    return TRUE;
}

gboolean handleWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    MockHidraw::Shared &shared = sharedOf(data);
    UMockdevIoctlData *buffer = umockdev_ioctl_client_get_arg(client);
    {
        std::lock_guard lock(shared.mutex);
        if (shared.gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
    }
    const std::vector<std::uint8_t> bytes(buffer->data, buffer->data + buffer->data_len);
    std::vector<std::vector<std::uint8_t>> answers;
    shared.callOut([&](MockHidraw::Callbacks &callbacks) {
        if (callbacks.written)
            answers = callbacks.written(bytes);
    });
    for (std::vector<std::uint8_t> &answer : answers)
        shared.push({std::move(answer), 0});
    umockdev_ioctl_client_complete(client, static_cast<long>(bytes.size()), 0);
    return TRUE;
}

void clientConnected(UMockdevIoctlBase *, UMockdevIoctlClient *, gpointer data)
{
    MockHidraw::Shared &shared = sharedOf(data);
    shared.callOut([&shared](MockHidraw::Callbacks &callbacks) {
        if (callbacks.opened)
            callbacks.opened(shared.node);
    });
}

} // namespace

bool MockHidraw::Shared::push(Entry entry)
{
    std::lock_guard lock(mutex);
    if (gone)
        return false;
    if (!pty.ring())
        return false; // the pty is full: thousands of reports nobody reads
    ++doorbells;
    queue.push_back(std::move(entry));
    return true;
}

// Takes back the doorbells of reports already served. A doorbell may not
// have crossed the pty yet; it is taken back on a later call.
void MockHidraw::Shared::takeBackDoorbells()
{
    if (doorbells > queue.size())
        doorbells -= pty.takeBack(doorbells - queue.size());
}

void MockHidraw::Shared::closePty()
{
    pty.close();
}

// Runs a callback without holding the mutex (it may queue reports), while
// the destructor waits for running callbacks and stops new ones.
template <typename Call> void MockHidraw::Shared::callOut(Call call)
{
    {
        std::lock_guard lock(mutex);
        if (detached)
            return;
        ++callbacksRunning;
    }
    call(callbacks);
    std::lock_guard lock(mutex);
    if (--callbacksRunning == 0)
        idle.notify_all();
}

MockHidraw::MockHidraw(Testbed &testbed, std::string node, Identity identity, Callbacks callbacks)
    : testbed(testbed), nodePath(std::move(node)), shared(std::make_shared<Shared>())
{
    shared->node = nodePath;
    shared->identity = std::move(identity);
    shared->callbacks = std::move(callbacks);
    if (!shared->pty.open() || !testbed.linkNode(nodePath, shared->pty.slaveName()))
        return;
    handler = umockdev_ioctl_base_new();
    // Each connection holds a reference to the shared state, released with
    // the handler: umockdev may call us for as long as a program keeps the
    // node open, even after this object is gone.
    const auto connect = [this](const char *signal, GCallback callback) {
        g_signal_connect_data(handler, signal, callback, new std::shared_ptr<Shared>(shared), release,
                              GConnectFlags(0));
    };
    connect("handle-ioctl", G_CALLBACK(handleIoctl));
    connect("handle-read", G_CALLBACK(handleRead));
    connect("handle-write", G_CALLBACK(handleWrite));
    connect("client-connected", G_CALLBACK(clientConnected));
    GError *error = nullptr;
    attached = umockdev_testbed_attach_ioctl(testbed.handle(), nodePath.c_str(), handler, &error);
    g_clear_error(&error);
}

MockHidraw::~MockHidraw()
{
    hangUp();
    {
        std::unique_lock lock(shared->mutex);
        shared->detached = true;
        shared->idle.wait(lock, [this] { return shared->callbacksRunning == 0; });
    }
    if (attached) {
        GError *error = nullptr;
        umockdev_testbed_detach_ioctl(testbed.handle(), nodePath.c_str(), &error);
        g_clear_error(&error);
    }
    if (handler)
        g_object_unref(handler);
}

bool MockHidraw::valid() const
{
    return attached;
}

MockHidraw::Queued MockHidraw::queueReport(std::vector<std::uint8_t> report)
{
    {
        std::lock_guard lock(shared->mutex);
        if (shared->queue.size() >= BufferedReports)
            return Queued::BufferFull;
    }
    return shared->push({std::move(report), 0}) ? Queued::Yes : Queued::HungUp;
}

bool MockHidraw::queueReadFailure(int error)
{
    return shared->push({{}, error});
}

void MockHidraw::hangUp()
{
    std::lock_guard lock(shared->mutex);
    if (shared->gone)
        return;
    shared->gone = true;
    shared->queue.clear();
    shared->closePty();
}

} // namespace camera_standin

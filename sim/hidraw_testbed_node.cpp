// The node's handler: what an open, a close, an ioctl, a read or a write on
// /dev/hidraw0 does, answered by the device model.
#include "hidraw_testbed_state.h"

#include <cerrno>
#include <cstring>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <utility>

namespace vireon::testbed {
namespace {

using State = HidrawTestbed::State;

void complete(UMockdevIoctlClient *client, glong result, int error) { umockdev_ioctl_client_complete(client, result, error); }

void onConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto &s = *static_cast<State *>(data);
    std::lock_guard<std::mutex> lock(s.m);
    s.clients[client] = s.connected && !std::exchange(s.hangUpNextOpen, false) ? s.generation : -1;
}

void onVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto &s = *static_cast<State *>(data);
    std::lock_guard<std::mutex> lock(s.m);
    s.clients.erase(client);
    if (s.waiting == client) {
        g_object_unref(s.waiting);
        s.waiting = nullptr;
    }
}

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto &s = *static_cast<State *>(data);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard<std::mutex> lock(s.m);
    if (!s.alive(client)) {
        complete(client, -1, ENODEV);
        return TRUE;
    }
    UMockdevIoctlData *target = nullptr;
    if (request == HIDIOCGRDESCSIZE) { // hidapi's test that the node is hidraw
        target = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
        *reinterpret_cast<int *>(target->data) = sizeof kDescriptor;
    } else if (request == HIDIOCGRDESC) {
        target = umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), nullptr);
        auto *descriptor = reinterpret_cast<hidraw_report_descriptor *>(target->data);
        if (descriptor->size > HID_MAX_DESCRIPTOR_SIZE) {
            g_object_unref(target);
            complete(client, -1, EINVAL);
            return TRUE;
        }
        std::memcpy(descriptor->value, kDescriptor, std::min<size_t>(descriptor->size, sizeof kDescriptor));
    } else if (request == HIDIOCGRAWINFO) {
        target = umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_devinfo), nullptr);
        *reinterpret_cast<hidraw_devinfo *>(target->data) = hidraw_devinfo{3, 0x1502, 0x0101};
    } else {
        return FALSE; // umockdev fails it
    }
    g_object_unref(target);
    complete(client, 0, 0);
    return TRUE;
}

gboolean onWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto &s = *static_cast<State *>(data);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client); // the bytes written
    std::lock_guard<std::mutex> lock(s.m);
    if (!s.alive(client))
        return complete(client, -1, ENODEV), TRUE;
    if (arg->data_len != kReport + 1 || arg->data[0] != 0)
        return complete(client, -1, EINVAL), TRUE;
    ++s.exchanges;
    if (++s.chipExchanges == s.faultExchange && s.model.currentTarget() == s.faultChip) {
        s.faultExchange = 0;
        s.goneLocked();
        complete(client, -1, ENODEV);
        s.post([&s] { s.unplug(); });
        return TRUE;
    }
    const std::vector<uint8_t> answer = s.model.handleRequest(arg->data + 1, kReport);
    if (!answer.empty())
        s.sendLocked(answer);
    if (s.model.restartRequested() && !s.restarting) {
        s.restarting = true;
        s.post([&s] { s.restart(); });
    }
    complete(client, glong(arg->data_len), 0);
    return TRUE;
}

gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto &s = *static_cast<State *>(data);
    std::lock_guard<std::mutex> lock(s.m);
    if (!s.alive(client)) {
        complete(client, -1, EIO);
    } else if (s.replies.empty()) {
        if (s.waiting != nullptr) // one reader at a time, as the workers read
            complete(client, -1, EBUSY);
        else
            s.waiting = UMOCKDEV_IOCTL_CLIENT(g_object_ref(client));
    } else {
        s.handOverLocked(client, s.replies.front());
        s.replies.pop_front();
    }
    return TRUE;
}

} // namespace

void serveNode(UMockdevIoctlBase *handler, State &state)
{
    g_signal_connect(handler, "client-connected", G_CALLBACK(onConnected), &state);
    g_signal_connect(handler, "client-vanished", G_CALLBACK(onVanished), &state);
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), &state);
    g_signal_connect(handler, "handle-read", G_CALLBACK(onRead), &state);
    g_signal_connect(handler, "handle-write", G_CALLBACK(onWrite), &state);
}

} // namespace vireon::testbed

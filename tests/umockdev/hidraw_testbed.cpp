#include "hidraw_testbed.h"

#include <umockdev.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <linux/hidraw.h>
#include <map>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vireon::testbed {
namespace {

constexpr size_t kReport = 64;

// A vendor-defined collection with one 64-byte input and one 64-byte output
// report, without report ids.
constexpr uint8_t kDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x15, 0x00, 0x26,
                                   0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0x09, 0x03, 0x15, 0x00,
                                   0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02, 0xC0};

// The devices, parents first.
const char *const kDevices[] = {"/sys/devices/usb1/1-1", "/sys/devices/usb1/1-1/1-1:1.0",
                                "/sys/devices/usb1/1-1/1-1:1.0/0003:1502:0101.0001",
                                "/sys/devices/usb1/1-1/1-1:1.0/0003:1502:0101.0001/hidraw/hidraw0"};

std::string sysfsText(dev_t node)
{
    std::string descriptor;
    char hex[3];
    for (uint8_t byte : kDescriptor) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        descriptor += hex;
    }
    const std::string numbers = std::to_string(major(node)) + ":" + std::to_string(minor(node));
    return std::string("P: ") + (kDevices[0] + 4) +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: PRODUCT=1502/101/100\n"
           "A: idVendor=1502\nA: idProduct=0101\nA: bcdDevice=0100\nA: manufacturer=Vireon\n"
           "A: product=Vireon Surface\nA: serial=\n\n"
           "P: " + (kDevices[1] + 4) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\n\n"
           "P: " + (kDevices[2] + 4) + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00001502:00000101\n"
           "E: HID_NAME=Vireon Vireon Surface\nE: HID_UNIQ=\nH: report_descriptor=" + descriptor + "\n\n"
           "P: " + (kDevices[3] + 4) + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw0\nE: MAJOR=" +
           std::to_string(major(node)) + "\nE: MINOR=" + std::to_string(minor(node)) + "\nA: dev=" + numbers +
           "\nL: device=../..\n";
}

void makeRaw(int fd)
{
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);
}

} // namespace

// umockdev_in_mock_environment() answers only once a testbed exists, and
// keeps its first answer.
bool underPreload() { return dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD) != nullptr; }

struct HidrawTestbed::State {
    State(std::vector<sim::TargetConfig> chain, std::chrono::milliseconds offBus) : model(std::move(chain)), offBus(offBus) {}

    UMockdevTestbed *bed = nullptr;
    UMockdevIoctlBase *handler = nullptr;
    std::string root;

    // Guards the model and everything up to the bus thread's members.
    mutable std::mutex m;
    mutable std::condition_variable changed;
    sim::Bootloader model;
    const std::chrono::milliseconds offBus;
    bool connected = false; // the device answers
    bool present = false;   // its node and sysfs tree exist
    int generation = 0;     // plug-ins so far
    std::map<UMockdevIoctlClient *, int> clients; // open connections and the plug-in they were opened in
    int master = -1, slave = -1;                   // the pty behind the node
    std::string pts;
    std::deque<std::vector<uint8_t>> replies;
    UMockdevIoctlClient *waiting = nullptr;        // a read waiting for a report
    int exchanges = 0, chipExchanges = 0;
    size_t faultChip = 0;
    int faultExchange = 0;
    bool deny = false, restarting = false;

    std::mutex busMutex; // one plug or unplug at a time
    std::mutex taskMutex;
    std::condition_variable taskReady;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    std::thread bus; // runs unplugs and restarts that the handler decides on

    bool alive(UMockdevIoctlClient *client) const
    {
        const auto it = clients.find(client);
        return connected && it != clients.end() && it->second == generation;
    }
    // The device stops answering: pending and queued reports are lost.
    void goneLocked()
    {
        connected = false;
        if (waiting != nullptr) {
            umockdev_ioctl_client_complete(waiting, -1, EIO);
            g_object_unref(waiting);
            waiting = nullptr;
        }
        replies.clear();
    }
    void handOverLocked(UMockdevIoctlClient *client, const std::vector<uint8_t> &report)
    {
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        const size_t n = std::min(size_t(arg->data_len), report.size());
        std::memcpy(arg->data, report.data(), n);
        char token;
        if (read(slave, &token, 1) != 1) // the byte the client's poll() saw
            g_warning("hidraw testbed: no token byte");
        umockdev_ioctl_client_complete(client, glong(n), 0);
    }
    void sendLocked(std::vector<uint8_t> report)
    {
        report.resize(kReport);
        if (write(master, "", 1) != 1)
            g_warning("hidraw testbed: token not written");
        if (waiting != nullptr) {
            handOverLocked(waiting, report);
            g_object_unref(waiting);
            waiting = nullptr;
        } else {
            replies.push_back(std::move(report));
        }
    }
    void post(std::function<void()> task)
    {
        std::lock_guard<std::mutex> lock(taskMutex);
        tasks.push_back(std::move(task));
        taskReady.notify_one();
    }
    void runTasks()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(taskMutex);
            taskReady.wait(lock, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty())
                return;
            auto task = std::move(tasks.front());
            tasks.pop_front();
            lock.unlock();
            task();
        }
    }

    void plug();
    void unplug();
    void restart();
};

void HidrawTestbed::State::plug()
{
    std::lock_guard<std::mutex> serial(busMutex);
    std::unique_lock<std::mutex> lock(m);
    if (present)
        return;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) < 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    makeRaw(master);
    makeRaw(slave);
    fcntl(slave, F_SETFL, O_NONBLOCK);
    struct stat node {};
    fstat(slave, &node);
    pts = name;
    chmod(name, deny ? 0 : 0666);
    const std::string link = root + "/dev/hidraw0";
    mkdir((root + "/dev").c_str(), 0755);
    unlink(link.c_str());
    if (symlink(name, link.c_str()) < 0)
        throw std::runtime_error("symlink " + link + ": " + std::strerror(errno));
    connected = true;
    ++generation;
    chipExchanges = 0;
    lock.unlock();

    // Under the preload this sends the "add" uevents, parents first.
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(bed, sysfsText(node.st_rdev).c_str(), &error))
        throw std::runtime_error(std::string("umockdev: ") + error->message);
    lock.lock();
    present = true;
    changed.notify_all();
}

void HidrawTestbed::State::unplug()
{
    std::lock_guard<std::mutex> serial(busMutex);
    {
        std::lock_guard<std::mutex> lock(m);
        if (!present)
            return;
        goneLocked();
        close(master); // the client's descriptor now polls as hung up
        close(slave);
        master = slave = -1;
    }
    // Children first: removing a parent leaves a child's links and node behind.
    for (int i = 3; i >= 0; --i) {
        umockdev_testbed_uevent(bed, kDevices[i], "remove");
        umockdev_testbed_remove_device(bed, kDevices[i]);
    }
    std::lock_guard<std::mutex> lock(m);
    present = false;
    changed.notify_all();
}

void HidrawTestbed::State::restart()
{
    unplug();
    std::this_thread::sleep_for(offBus);
    {
        std::lock_guard<std::mutex> lock(m);
        model.restart();
        restarting = false;
    }
    plug();
}

namespace {

using State = HidrawTestbed::State;

void complete(UMockdevIoctlClient *client, glong result, int error) { umockdev_ioctl_client_complete(client, result, error); }

void onConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto &s = *static_cast<State *>(data);
    std::lock_guard<std::mutex> lock(s.m);
    s.clients[client] = s.connected ? s.generation : -1;
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

HidrawTestbed::HidrawTestbed(std::vector<sim::TargetConfig> chain, std::chrono::milliseconds offBusAfterExit)
    : state_(std::make_unique<State>(std::move(chain), offBusAfterExit))
{
    State &s = *state_;
    s.bed = umockdev_testbed_new(); // sets $UMOCKDEV_DIR for this process and its children
    gchar *root = umockdev_testbed_get_root_dir(s.bed);
    s.root = root;
    g_free(root);
    s.handler = umockdev_ioctl_base_new();
    g_signal_connect(s.handler, "client-connected", G_CALLBACK(onConnected), &s);
    g_signal_connect(s.handler, "client-vanished", G_CALLBACK(onVanished), &s);
    g_signal_connect(s.handler, "handle-ioctl", G_CALLBACK(onIoctl), &s);
    g_signal_connect(s.handler, "handle-read", G_CALLBACK(onRead), &s);
    g_signal_connect(s.handler, "handle-write", G_CALLBACK(onWrite), &s);
    GError *error = nullptr;
    if (!umockdev_testbed_attach_ioctl(s.bed, "/dev/hidraw0", s.handler, &error))
        throw std::runtime_error(std::string("umockdev: ") + error->message);
    s.bus = std::thread([&s] { s.runTasks(); });
    s.plug();
}

HidrawTestbed::~HidrawTestbed()
{
    State &s = *state_;
    {
        std::lock_guard<std::mutex> lock(s.taskMutex);
        s.stopping = true;
        s.taskReady.notify_one();
    }
    s.bus.join();
    s.unplug();
    umockdev_testbed_detach_ioctl(s.bed, "/dev/hidraw0", nullptr);
    g_object_unref(s.handler);
    g_object_unref(s.bed); // removes its directory
}

void HidrawTestbed::plug() { state_->plug(); }
void HidrawTestbed::unplug() { state_->unplug(); }

bool HidrawTestbed::plugged() const
{
    std::lock_guard<std::mutex> lock(state_->m);
    return state_->present;
}

bool HidrawTestbed::waitPlugged(bool on, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(state_->m);
    return state_->changed.wait_for(lock, timeout, [&] { return state_->present == on; });
}

void HidrawTestbed::unplugAt(size_t chip, int exchange)
{
    std::lock_guard<std::mutex> lock(state_->m);
    state_->faultChip = chip;
    state_->faultExchange = exchange;
}

void HidrawTestbed::denyAccess(bool deny)
{
    std::lock_guard<std::mutex> lock(state_->m);
    state_->deny = deny;
    if (state_->present)
        chmod(state_->pts.c_str(), deny ? 0 : 0666);
}

sim::Bootloader &HidrawTestbed::device() { return state_->model; }
std::unique_lock<std::mutex> HidrawTestbed::lock() { return std::unique_lock<std::mutex>(state_->m); }

int HidrawTestbed::exchanges() const
{
    std::lock_guard<std::mutex> lock(state_->m);
    return state_->exchanges;
}

std::string HidrawTestbed::root() const { return state_->root; }
std::string HidrawTestbed::hidDevicePath() const { return state_->root + kDevices[2]; }

} // namespace vireon::testbed

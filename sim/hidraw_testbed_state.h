// Inside the hidraw testbed: the surface's description (its sysfs tree and
// report descriptor) and the state its handler, its bus thread and its owner
// share.
#ifndef VIREON_SIM_HIDRAW_TESTBED_STATE_H
#define VIREON_SIM_HIDRAW_TESTBED_STATE_H

#include "hidraw_testbed.h"

#include <umockdev.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

namespace vireon::testbed {

inline constexpr size_t kReport = 64;

// A vendor-defined collection with one 64-byte input and one 64-byte output
// report, without report ids.
inline constexpr uint8_t kDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x15, 0x00, 0x26,
                                          0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0x09, 0x03, 0x15, 0x00,
                                          0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02, 0xC0};

// Surface `index`'s devices, parents first.
std::vector<std::string> devicePaths(unsigned index);

// The devices' sysfs tree in umockdev's text form, the hidraw node numbered
// `node`.
// `enumeration` counts the surface's plug-ins: its USB device number, which
// the kernel gives anew at every enumeration, follows it.
std::string sysfsText(dev_t node, unsigned index, const std::string &serial, int enumeration);

// The process's one umockdev testbed, shared by every surface it serves.
struct SharedBed {
    SharedBed();
    ~SharedBed();
    UMockdevTestbed *bed = nullptr;
    std::string root;
    std::mutex m; // one change to the testbed at a time
    static std::shared_ptr<SharedBed> acquire();
};

struct HidrawTestbed::State {
    State(std::vector<sim::TargetConfig> chain, std::chrono::milliseconds offBus, unsigned index, std::string serial)
        : model(std::move(chain)), offBus(offBus), index(index), serial(std::move(serial)), devices(devicePaths(index)),
          node("/dev/hidraw" + std::to_string(index))
    {
    }

    std::shared_ptr<SharedBed> shared;
    UMockdevTestbed *bed = nullptr;
    UMockdevIoctlBase *handler = nullptr;
    std::string root;

    // Guards the model and everything up to the bus thread's members.
    mutable std::mutex m;
    mutable std::condition_variable changed;
    sim::Bootloader model;
    const std::chrono::milliseconds offBus;
    const unsigned index;
    const std::string serial;
    const std::vector<std::string> devices;
    const std::string node;
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
    bool deny = false, restarting = false, hangUpNextOpen = false;

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

// Connects the node's handler to the state: opens, closes, ioctls, reads
// and writes on the surface's node.
void serveNode(UMockdevIoctlBase *handler, HidrawTestbed::State &state);

} // namespace vireon::testbed

#endif

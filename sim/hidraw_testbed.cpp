#include "hidraw_testbed_state.h"

#include <dlfcn.h>
#include <stdexcept>
#include <sys/stat.h>

namespace vireon::testbed {

// umockdev_in_mock_environment() answers only once a testbed exists, and
// keeps its first answer.
bool underPreload() { return dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD) != nullptr; }

HidrawTestbed::HidrawTestbed(std::vector<sim::TargetConfig> chain, std::chrono::milliseconds offBusAfterExit)
    : state_(std::make_unique<State>(std::move(chain), offBusAfterExit))
{
    State &s = *state_;
    s.bed = umockdev_testbed_new(); // sets $UMOCKDEV_DIR for this process and its children
    gchar *root = umockdev_testbed_get_root_dir(s.bed);
    s.root = root;
    g_free(root);
    s.handler = umockdev_ioctl_base_new();
    serveNode(s.handler, s);
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

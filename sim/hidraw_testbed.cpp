#include "hidraw_testbed_state.h"

#include <dlfcn.h>
#include <stdexcept>
#include <sys/stat.h>

namespace vireon::testbed {

// umockdev_in_mock_environment() answers only once a testbed exists, and
// keeps its first answer.
bool underPreload() { return dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD) != nullptr; }

SharedBed::SharedBed() : bed(umockdev_testbed_new()) // sets $UMOCKDEV_DIR for this process and its children
{
    gchar *dir = umockdev_testbed_get_root_dir(bed);
    root = dir;
    g_free(dir);
}

SharedBed::~SharedBed() { g_object_unref(bed); } // removes its directory

std::shared_ptr<SharedBed> SharedBed::acquire()
{
    static std::mutex guard;
    static std::weak_ptr<SharedBed> current;
    std::lock_guard<std::mutex> lock(guard);
    std::shared_ptr<SharedBed> bed = current.lock();
    if (!bed) {
        bed = std::make_shared<SharedBed>();
        current = bed;
    }
    return bed;
}

HidrawTestbed::HidrawTestbed(std::vector<sim::TargetConfig> chain, std::chrono::milliseconds offBusAfterExit,
                             unsigned index, std::string serial)
    : state_(std::make_unique<State>(std::move(chain), offBusAfterExit, index, std::move(serial)))
{
    State &s = *state_;
    s.shared = SharedBed::acquire();
    s.bed = s.shared->bed;
    s.root = s.shared->root;
    s.handler = umockdev_ioctl_base_new();
    serveNode(s.handler, s);
    GError *error = nullptr;
    std::unique_lock<std::mutex> change(s.shared->m);
    if (!umockdev_testbed_attach_ioctl(s.bed, s.node.c_str(), s.handler, &error))
        throw std::runtime_error(std::string("umockdev: ") + error->message);
    change.unlock();
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
    {
        std::lock_guard<std::mutex> change(s.shared->m);
        umockdev_testbed_detach_ioctl(s.bed, s.node.c_str(), nullptr);
    }
    g_object_unref(s.handler);
} // the last testbed's state releases the umockdev testbed

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

void HidrawTestbed::hangUpAtNextOpen()
{
    std::lock_guard<std::mutex> lock(state_->m);
    state_->hangUpNextOpen = true;
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
std::string HidrawTestbed::hidDevicePath() const { return state_->root + state_->devices[2]; }
std::string HidrawTestbed::nodePath() const { return state_->node; }

} // namespace vireon::testbed

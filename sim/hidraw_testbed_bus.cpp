// Plugging the surface in and out: the pty behind the node, the sysfs tree
// with its "add" and "remove" uevents, and the restart after the exit
// command.
#include "hidraw_testbed_state.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vireon::testbed {
namespace {

void makeRaw(int fd)
{
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);
}

} // namespace

void HidrawTestbed::State::plug()
{
    std::lock_guard<std::mutex> oneAtATime(busMutex);
    std::unique_lock<std::mutex> lock(m);
    if (present)
        return;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) < 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    makeRaw(master);
    makeRaw(slave);
    fcntl(slave, F_SETFL, O_NONBLOCK);
    struct stat numbers {};
    fstat(slave, &numbers);
    pts = name;
    chmod(name, deny ? 0 : 0666);
    const std::string link = root + node;
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
    {
        std::lock_guard<std::mutex> change(shared->m);
        if (!umockdev_testbed_add_from_string(bed, sysfsText(numbers.st_rdev, index, serial, generation).c_str(), &error))
            throw std::runtime_error(std::string("umockdev: ") + error->message);
    }
    lock.lock();
    present = true;
    changed.notify_all();
}

void HidrawTestbed::State::unplug()
{
    std::lock_guard<std::mutex> oneAtATime(busMutex);
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
    {
        std::lock_guard<std::mutex> change(shared->m);
        for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
            umockdev_testbed_uevent(bed, device->c_str(), "remove");
            umockdev_testbed_remove_device(bed, device->c_str());
        }
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

} // namespace vireon::testbed

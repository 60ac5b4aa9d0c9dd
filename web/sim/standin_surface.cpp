// The simulated surface behind the page's stand-in for navigator.hid: the
// desktop tests' simulated bus (sim/), compiled to WebAssembly, with its
// device model, its faults (--fault KIND:STAGE:N, as the demo programs take
// them) and its restarts, which leave the bus and come back. The stand-in
// (standin.js) turns its presence into WebHID's connect and disconnect
// events and its reports into sendReport and inputreport.
#include "cyacd_gen.h"
#include "fault_option.h"
#include "hidsim_internal.h"

#include <hidapi/hidapi.h>

#include <emscripten.h>

#include <map>
#include <memory>
#include <string>

namespace {

using namespace vireon;

struct Standin {
    std::vector<tools::ImageSpec> images;
    std::shared_ptr<sim::Surface> surface;
    std::map<int, hid_device *> handles;
    int nextHandle = 1;
    std::string text; // the last text handed over
};

Standin &standin()
{
    static Standin state;
    return state;
}

std::string narrow(const wchar_t *text)
{
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text)
        out += static_cast<char>(*text < 0x80 ? *text : '?');
    return out;
}

} // namespace

extern "C" {

// Attaches the surface: two chips for the example file (rows 0), or for the
// generator's two-chip images of `rows` rows of `rowSize` bytes; `chip` 2
// powers it up in its second chip's bootloader, as an update stopped between
// its images leaves it. `serial` may be empty, as the surface's is.
EMSCRIPTEN_KEEPALIVE void sim_attach(int rows, int rowSize, int chip, const char *serial)
{
    Standin &state = standin();
    sim::Bus::instance().reset();
    state.images = rows == 0 ? tools::exampleImages()
                             : tools::twoChipImages(static_cast<uint16_t>(rows), static_cast<uint16_t>(rowSize));
    sim::SurfaceOptions options;
    options.targets = tools::targetsFor(state.images);
    options.serialNumber = std::wstring(serial, serial + std::char_traits<char>::length(serial));
    state.surface = sim::Bus::instance().attach(options);
    if (chip == 2) {
        auto lock = state.surface->lock();
        state.surface->device().powerUpAs(1);
    }
}

// Adds a fault as KIND:STAGE:N; empty, or why it is not one.
EMSCRIPTEN_KEEPALIVE const char *sim_add_fault(const char *text)
{
    Standin &state = standin();
    std::string why;
    const std::optional<sim::Fault> fault = sim::parseFaultOption(text, &why);
    if (fault)
        state.surface->addFault(*fault);
    state.text = why;
    return state.text.c_str();
}

// The surface's appearance on the bus: a number that changes each time it
// comes back, 0 while it is off the bus.
EMSCRIPTEN_KEEPALIVE double sim_presence()
{
    const auto surfaces = sim::Bus::instance().surfaces();
    if (surfaces.empty() || !surfaces.front()->onBus())
        return 0;
    return static_cast<double>(static_cast<sim::SurfaceImpl *>(surfaces.front().get())->enumeration());
}

// Unplugs the surface now; it stays off the bus until plugged back in.
EMSCRIPTEN_KEEPALIVE void sim_unplug() { sim::Bus::instance().detach(standin().surface); }

EMSCRIPTEN_KEEPALIVE void sim_plug_in() { sim::Bus::instance().plugBackIn(standin().surface); }

// A handle on the surface, or 0.
EMSCRIPTEN_KEEPALIVE int sim_open()
{
    Standin &state = standin();
    hid_device *device = hid_open_path(state.surface->path().c_str());
    if (device == nullptr)
        return 0;
    state.handles[state.nextHandle] = device;
    return state.nextHandle++;
}

EMSCRIPTEN_KEEPALIVE void sim_close(int handle)
{
    Standin &state = standin();
    const auto found = state.handles.find(handle);
    if (found == state.handles.end())
        return;
    hid_close(found->second);
    state.handles.erase(found);
}

// hid_write's result for one report (its id first).
EMSCRIPTEN_KEEPALIVE int sim_write(int handle, const unsigned char *report, int length)
{
    const auto found = standin().handles.find(handle);
    return found == standin().handles.end() ? -1 : hid_write(found->second, report, static_cast<size_t>(length));
}

// An answer waiting on the handle: its length in `into` (64 bytes), 0 for
// none, -1 for a failed read.
EMSCRIPTEN_KEEPALIVE int sim_read(int handle, unsigned char *into)
{
    const auto found = standin().handles.find(handle);
    return found == standin().handles.end() ? -1 : hid_read_timeout(found->second, into, 64, 0);
}

// The simulated hidapi's words for the handle's last failure.
EMSCRIPTEN_KEEPALIVE const char *sim_error(int handle)
{
    Standin &state = standin();
    const auto found = state.handles.find(handle);
    state.text = found == state.handles.end() ? "" : narrow(hid_error(found->second));
    return state.text.c_str();
}

// Whether chip `chip` (1 or 2) holds its image of the file, row for row.
EMSCRIPTEN_KEEPALIVE int sim_holds_image(int chip)
{
    Standin &state = standin();
    auto lock = state.surface->lock();
    const tools::Rows rows = tools::imageRows(state.images.at(static_cast<size_t>(chip - 1)));
    const sim::Bootloader::Flash &flash = state.surface->device().flash(static_cast<size_t>(chip - 1));
    return sim::Bootloader::Flash(rows.begin(), rows.end()) == flash ? 1 : 0;
}

// The requests chip `chip` (1 or 2) received, and the surface's restarts.
EMSCRIPTEN_KEEPALIVE int sim_requests_to(int chip)
{
    auto lock = standin().surface->lock();
    int count = 0;
    for (const sim::Bootloader::Received &request : standin().surface->device().received())
        count += request.target == static_cast<size_t>(chip - 1) ? 1 : 0;
    return count;
}
EMSCRIPTEN_KEEPALIVE int sim_restarts() { return standin().surface->restarts(); }

} // extern "C"

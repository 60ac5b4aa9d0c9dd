// hidapi's C API served by simulated surfaces on a simulated bus.
//
// Every surface attached to the Bus appears in hid_enumerate and can be
// opened with hid_open or hid_open_path. An output report (report id 0 and
// 64 bytes) crosses the bus at a frame boundary and reaches the surface's
// device model; the device's answer comes back as one 64-byte input report
// in a later frame, queued on every handle open on the surface, as hidraw
// queues input reports per open file. Results, byte counts and error texts
// follow the Linux hidraw backend of hidapi 0.13.
#include "hidsim.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <optional>
#include <time.h>

using Clock = std::chrono::steady_clock;

namespace vireon::sim {
namespace {

constexpr size_t kReportBytes = 64;  // the device's input and output report size
constexpr size_t kQueueLimit = 64;   // input reports a handle keeps before dropping new ones

std::wstring widen(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring errnoText(int code)
{
    return widen(std::strerror(code));
}

// Sleeps until an absolute point of the monotonic clock (the clock behind
// steady_clock), so oversleeping one frame does not delay the next.
void sleepUntil(Clock::time_point when)
{
    const auto since = when.time_since_epoch();
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(since);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(secs.count());
    ts.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - secs).count());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

} // namespace

class SurfaceImpl;

} // namespace vireon::sim

// One open handle. It belongs to one appearance of its surface on the bus:
// once the surface leaves the bus the handle fails for good, as a hidraw
// file descriptor of a removed device does.
struct hid_device_ {
    std::shared_ptr<vireon::sim::SurfaceImpl> surface;
    uint64_t generation = 0;
    bool nonblocking = false;
    struct InputReport {
        std::vector<uint8_t> bytes;
        Clock::time_point readyAt;
        bool error = false; // the read that takes it fails
    };
    std::deque<InputReport> input; // guarded by the surface's mutex
    std::wstring error;            // the last failure of a call on this handle
    bool hasError = false;
    hid_device_info info{};
};

namespace vireon::sim {
namespace {

enum class State { Present, Off, OffUntil, Gone };

thread_local std::wstring globalError;
thread_local bool globalHasError = false;

void setGlobalError(const std::wstring &text)
{
    globalError = text;
    globalHasError = true;
}

void clearGlobalError()
{
    globalHasError = false;
}

void setError(hid_device *dev, const std::wstring &text)
{
    dev->error = text;
    dev->hasError = true;
}

void clearError(hid_device *dev)
{
    dev->hasError = false;
}

wchar_t *copyWide(const std::wstring &text)
{
    auto *out = static_cast<wchar_t *>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    if (out)
        std::wmemcpy(out, text.c_str(), text.size());
    return out;
}

char *copyNarrow(const std::string &text)
{
    auto *out = static_cast<char *>(std::calloc(text.size() + 1, 1));
    if (out)
        std::memcpy(out, text.c_str(), text.size());
    return out;
}

struct ScriptedFault {
    Fault fault;
    bool fired = false;
};

// What the faults say about one exchange.
struct ExchangeFaults {
    bool writeFails = false;
    bool unplug = false;
    std::chrono::milliseconds backAfter{-1};
    bool readFails = false;
    bool noAnswer = false;
    std::vector<std::pair<size_t, uint8_t>> garble;
    std::optional<size_t> truncate;
};

} // namespace

class SurfaceImpl final : public Surface {
public:
    SurfaceImpl(SurfaceOptions options, std::string path)
        : options_(std::move(options)), model_(options_.targets), path_(std::move(path)),
          latencyUs_(options_.latencyPerReport.count()), epoch_(Clock::now())
    {
    }

    Bootloader &device() override { return model_; }
    std::unique_lock<std::mutex> lock() override { return std::unique_lock<std::mutex>(mutex_); }

    bool onBus() const override
    {
        switch (state_.load()) {
        case State::Present:
            return true;
        case State::OffUntil:
            return Clock::now().time_since_epoch().count() >= backAt_.load();
        default:
            return false;
        }
    }

    void addFault(const Fault &fault) override
    {
        std::lock_guard<std::mutex> guard(faultMutex_);
        faults_.push_back({fault, false});
    }

    void clearFaults() override
    {
        std::lock_guard<std::mutex> guard(faultMutex_);
        faults_.clear();
    }

    int exchanges() const override { return exchanges_.load(); }
    int reportsSent() const override { return sent_.load(); }
    int reportsReceived() const override { return received_.load(); }
    int opens() const override { return opens_.load(); }
    int restarts() const override { return restarts_.load(); }
    std::string path() const override { return path_; }
    int openHandles() const override { return handleCount_.load(); }
    std::vector<std::vector<uint8_t>> outputReports() const override
    {
        std::lock_guard<std::mutex> guard(reportLogMutex_);
        return reportLog_;
    }
    void setLatency(std::chrono::microseconds perReport) override { latencyUs_.store(perReport.count()); }

    const SurfaceOptions &options() const { return options_; }

    // --- the bus side -------------------------------------------------------

    bool alive(const hid_device *dev) const { return dev->generation == generation_.load() && onBus(); }

    // Called with mutex_ held. Leaves the bus: every handle of this
    // appearance fails from now on. `backAt` empty: stays off until plugged
    // back in.
    void leaveLocked(std::optional<Clock::time_point> backAt)
    {
        generation_.fetch_add(1);
        if (backAt) {
            backAt_.store(backAt->time_since_epoch().count());
            state_.store(State::OffUntil);
        } else {
            state_.store(State::Off);
        }
        inputReady_.notify_all();
        notifyBus();
    }

    void detach()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (state_.load() == State::Gone)
            return;
        leaveLocked(std::nullopt);
    }

    void remove()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        generation_.fetch_add(1);
        state_.store(State::Gone);
        inputReady_.notify_all();
        notifyBus();
    }

    void plugBackIn()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (state_.load() == State::Gone || onBus())
            return;
        powerUpLocked();
        state_.store(State::Present);
        notifyBus();
    }

    enum class OpenResult { Opened, Refused, Absent };
    // Refused: the open fails as a permission problem does.
    OpenResult tryOpen(hid_device *dev)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!onBus())
            return OpenResult::Absent;
        {
            std::lock_guard<std::mutex> faultGuard(faultMutex_);
            for (auto &f : faults_) {
                if (f.fault.kind == Fault::OpenRefused && f.fault.count > 0) {
                    --f.fault.count;
                    return OpenResult::Refused;
                }
            }
        }
        dev->generation = generation_.load();
        handles_.push_back(dev);
        handleCount_.store(static_cast<int>(handles_.size()));
        opens_.fetch_add(1);
        return OpenResult::Opened;
    }

    void close(hid_device *dev)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        handles_.erase(std::remove(handles_.begin(), handles_.end(), dev), handles_.end());
        handleCount_.store(static_cast<int>(handles_.size()));
    }

    int write(hid_device *dev, const unsigned char *data, size_t length)
    {
        std::unique_lock<std::mutex> guard(mutex_);
        if (!alive(dev)) {
            setError(dev, errnoText(ENODEV));
            return -1;
        }
        // Unnumbered reports: report id 0 is not sent, the rest is the report.
        const unsigned char *payload = data[0] == 0 ? data + 1 : data;
        const size_t payloadSize = data[0] == 0 ? length - 1 : length;
        if (payloadSize > kReportBytes) {
            setError(dev, errnoText(EMSGSIZE));
            return -1;
        }
        const int exchange = exchanges_.fetch_add(1) + 1;
        const ExchangeFaults faults = faultsFor(exchange);
        if (faults.unplug) {
            std::optional<Clock::time_point> backAt;
            if (faults.backAfter.count() >= 0)
                backAt = Clock::now() + faults.backAfter;
            powerUpLocked(); // the chip loses power: whatever it had in RAM is gone
            leaveLocked(backAt);
            setError(dev, errnoText(ENODEV));
            return -1;
        }
        if (faults.writeFails) {
            setError(dev, errnoText(ETIMEDOUT));
            return -1;
        }

        const std::chrono::microseconds frame(latencyUs_.load());
        Clock::time_point arrives = Clock::now();
        if (frame.count() > 0) {
            arrives = nextFrame(arrives, lastOut_, frame);
            lastOut_ = arrives;
            guard.unlock();
            sleepUntil(arrives);
            guard.lock();
            if (!alive(dev)) {
                setError(dev, errnoText(ENODEV));
                return -1;
            }
        }

        {
            std::lock_guard<std::mutex> logGuard(reportLogMutex_);
            reportLog_.emplace_back(payload, payload + payloadSize);
        }
        std::vector<uint8_t> answer = model_.handleRequest(payload, payloadSize);
        sent_.fetch_add(1);
        if (model_.restartRequested()) {
            restartLocked();
            return static_cast<int>(length);
        }
        if (answer.empty() && !faults.readFails)
            return static_cast<int>(length);

        // The answer: one input report in a later frame than the request.
        hid_device_::InputReport report;
        report.bytes.assign(kReportBytes, 0);
        std::copy_n(answer.begin(), std::min(answer.size(), kReportBytes), report.bytes.begin());
        for (const auto &g : faults.garble)
            if (g.first < kReportBytes)
                report.bytes[g.first] ^= g.second;
        if (faults.truncate)
            report.bytes.resize(std::min(*faults.truncate, kReportBytes));
        report.error = faults.readFails;
        report.readyAt = arrives;
        if (frame.count() > 0) {
            report.readyAt = nextFrame(arrives, lastIn_, frame);
            lastIn_ = report.readyAt;
        }
        if (!faults.noAnswer) {
            for (hid_device *h : handles_)
                if (h->generation == generation_.load() && h->input.size() < kQueueLimit)
                    h->input.push_back(report);
            inputReady_.notify_all();
        }
        return static_cast<int>(length);
    }

    int read(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
    {
        std::unique_lock<std::mutex> guard(mutex_);
        const bool limited = milliseconds >= 0;
        const Clock::time_point giveUpAt = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
        for (;;) {
            if (!alive(dev)) {
                setError(dev, L"hid_read_timeout: unexpected poll error (device disconnected)");
                return -1;
            }
            const Clock::time_point now = Clock::now();
            if (!dev->input.empty() && dev->input.front().readyAt <= now) {
                hid_device_::InputReport report = std::move(dev->input.front());
                dev->input.pop_front();
                if (report.error) {
                    setError(dev, errnoText(EIO));
                    return -1;
                }
                const size_t n = std::min(length, report.bytes.size());
                if (n > 0)
                    std::memcpy(data, report.bytes.data(), n);
                received_.fetch_add(1);
                return static_cast<int>(n);
            }
            if (limited && now >= giveUpAt)
                return 0;
            // Wake when the next report is due, the time is up, or the bus
            // changes (a new report, an unplug).
            std::optional<Clock::time_point> wake;
            if (!dev->input.empty())
                wake = dev->input.front().readyAt;
            if (limited && (!wake || giveUpAt < *wake))
                wake = giveUpAt;
            if (wake)
                inputReady_.wait_until(guard, *wake);
            else
                inputReady_.wait(guard);
            // An unbounded wait is ended by a report or by the surface leaving.
        }
    }

    // The earliest time a waiter must look again without being notified.
    std::optional<Clock::time_point> returnsAt() const
    {
        if (state_.load() != State::OffUntil)
            return std::nullopt;
        return Clock::time_point(Clock::duration(backAt_.load()));
    }

    static std::mutex &busWaitMutex()
    {
        static std::mutex m;
        return m;
    }
    static std::condition_variable &busWaitCv()
    {
        static std::condition_variable cv;
        return cv;
    }

private:
    static void notifyBus()
    {
        { std::lock_guard<std::mutex> guard(busWaitMutex()); }
        busWaitCv().notify_all();
    }

    // The frame boundary a report submitted at `t` crosses at: the first
    // boundary after t, and one frame after the last report this way.
    Clock::time_point nextFrame(Clock::time_point t, Clock::time_point last, std::chrono::microseconds frame) const
    {
        const auto k = (t - epoch_) / frame + 1;
        Clock::time_point at = epoch_ + k * frame;
        if (last != Clock::time_point{} && at < last + frame)
            at = last + frame;
        return at;
    }

    ExchangeFaults faultsFor(int exchange)
    {
        ExchangeFaults out;
        std::lock_guard<std::mutex> guard(faultMutex_);
        for (auto &f : faults_) {
            if (f.fired || f.fault.exchange != exchange)
                continue;
            switch (f.fault.kind) {
            case Fault::WriteFails:
                out.writeFails = true;
                break;
            case Fault::ReadFails:
                out.readFails = true;
                break;
            case Fault::NoAnswer:
                out.noAnswer = true;
                break;
            case Fault::Garbled:
                out.garble.emplace_back(f.fault.byteIndex, f.fault.xorMask);
                break;
            case Fault::Truncated:
                out.truncate = f.fault.length;
                break;
            case Fault::UnplugAt:
                out.unplug = true;
                out.backAfter = f.fault.backAfter;
                break;
            default:
                continue; // not an exchange fault
            }
            f.fired = true;
        }
        return out;
    }

    bool hasFault(Fault::Kind kind)
    {
        std::lock_guard<std::mutex> guard(faultMutex_);
        return std::any_of(faults_.begin(), faults_.end(), [kind](const ScriptedFault &f) { return f.fault.kind == kind; });
    }

    // After the exit command: the device restarts as the next chip of its
    // chain. Normally it leaves the bus and comes back offBusAfterExit later.
    void restartLocked()
    {
        model_.restart();
        restarts_.fetch_add(1);
        for (hid_device *h : handles_)
            h->input.clear();
        if (hasFault(Fault::NeverLeaves))
            return;
        if (hasFault(Fault::NeverReturns))
            leaveLocked(std::nullopt);
        else
            leaveLocked(Clock::now() + options_.offBusAfterExit);
    }

    // Power lost and back: the same chip starts again with no session. A
    // restart passes the bus to the next chip, so a full round of restarts
    // brings the same chip back with its session cleared.
    void powerUpLocked()
    {
        const size_t n = std::max<size_t>(model_.targetCount(), 1);
        for (size_t i = 0; i < n; ++i)
            model_.restart();
    }

    SurfaceOptions options_;
    Bootloader model_;
    const std::string path_;
    std::atomic<int64_t> latencyUs_;
    const Clock::time_point epoch_;

    mutable std::mutex mutex_; // the device model, handles, input queues, frame clock
    std::condition_variable inputReady_;
    std::vector<hid_device *> handles_;
    Clock::time_point lastOut_{}, lastIn_{};

    std::mutex faultMutex_;
    std::vector<ScriptedFault> faults_;

    mutable std::mutex reportLogMutex_;
    std::vector<std::vector<uint8_t>> reportLog_;

    std::atomic<State> state_{State::Present};
    std::atomic<Clock::rep> backAt_{0};
    std::atomic<uint64_t> generation_{1};
    std::atomic<int> exchanges_{0}, sent_{0}, received_{0}, opens_{0}, restarts_{0}, handleCount_{0};
};

namespace {

struct BusState {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<SurfaceImpl>> surfaces;
    int nextIndex = 0;
    std::atomic<int> enumerations{0};
};

BusState &busState()
{
    static BusState state;
    return state;
}

std::shared_ptr<SurfaceImpl> impl(const std::shared_ptr<Surface> &surface)
{
    return std::dynamic_pointer_cast<SurfaceImpl>(surface);
}

bool matches(const SurfaceImpl &s, unsigned short vid, unsigned short pid)
{
    return (vid == 0 || vid == kVendorId) && (pid == 0 || pid == kProductId) && s.onBus();
}

// The surfaces on the bus that match, in the order they were attached.
std::vector<std::shared_ptr<SurfaceImpl>> present(unsigned short vid, unsigned short pid)
{
    BusState &bus = busState();
    std::lock_guard<std::mutex> guard(bus.mutex);
    std::vector<std::shared_ptr<SurfaceImpl>> out;
    for (const auto &s : bus.surfaces)
        if (matches(*s, vid, pid))
            out.push_back(s);
    return out;
}

void fillInfo(hid_device_info &info, const SurfaceImpl &s)
{
    const SurfaceOptions &o = s.options();
    info.path = copyNarrow(s.path());
    info.vendor_id = kVendorId;
    info.product_id = kProductId;
    info.serial_number = copyWide(o.serialNumber);
    info.release_number = 0x0100;
    info.manufacturer_string = copyWide(o.manufacturer);
    info.product_string = copyWide(o.product);
    info.usage_page = 0xFF00; // vendor-defined
    info.usage = 0x0001;
    info.interface_number = 0;
    info.next = nullptr;
    info.bus_type = HID_API_BUS_USB;
}

void freeInfoFields(hid_device_info &info)
{
    std::free(info.path);
    std::free(info.serial_number);
    std::free(info.manufacturer_string);
    std::free(info.product_string);
}

hid_device *openSurface(const std::shared_ptr<SurfaceImpl> &s)
{
    auto *dev = new hid_device_;
    dev->surface = s;
    const SurfaceImpl::OpenResult result = s->tryOpen(dev);
    if (result != SurfaceImpl::OpenResult::Opened) {
        setGlobalError(widen("Failed to open a device with path '" + s->path() + "': ") +
                       errnoText(result == SurfaceImpl::OpenResult::Refused ? EACCES : ENOENT));
        delete dev;
        return nullptr;
    }
    fillInfo(dev->info, *s);
    clearGlobalError();
    return dev;
}

int copyString(hid_device *dev, const wchar_t *text, wchar_t *string, size_t maxlen)
{
    if (!string || maxlen == 0) {
        setError(dev, L"Zero buffer/length");
        return -1;
    }
    std::wcsncpy(string, text ? text : L"", maxlen);
    string[maxlen - 1] = L'\0';
    clearError(dev);
    return 0;
}

} // namespace

// --- control API ------------------------------------------------------------

Bus &Bus::instance()
{
    static Bus bus;
    return bus;
}

std::shared_ptr<Surface> Bus::attach(SurfaceOptions options)
{
    BusState &bus = busState();
    std::lock_guard<std::mutex> guard(bus.mutex);
    auto s = std::make_shared<SurfaceImpl>(std::move(options), "sim:hidraw" + std::to_string(bus.nextIndex++));
    bus.surfaces.push_back(s);
    { std::lock_guard<std::mutex> wait(SurfaceImpl::busWaitMutex()); }
    SurfaceImpl::busWaitCv().notify_all();
    return s;
}

void Bus::detach(const std::shared_ptr<Surface> &surface)
{
    if (auto s = impl(surface))
        s->detach();
}

void Bus::plugBackIn(const std::shared_ptr<Surface> &surface)
{
    if (auto s = impl(surface))
        s->plugBackIn();
}

void Bus::reset()
{
    BusState &bus = busState();
    std::vector<std::shared_ptr<SurfaceImpl>> removed;
    {
        std::lock_guard<std::mutex> guard(bus.mutex);
        removed.swap(bus.surfaces);
        bus.nextIndex = 0;
        bus.enumerations.store(0);
    }
    for (const auto &s : removed)
        s->remove();
}

std::vector<std::shared_ptr<Surface>> Bus::surfaces() const
{
    BusState &bus = busState();
    std::lock_guard<std::mutex> guard(bus.mutex);
    return std::vector<std::shared_ptr<Surface>>(bus.surfaces.begin(), bus.surfaces.end());
}

bool Bus::waitOnBus(const std::shared_ptr<Surface> &surface, bool on, std::chrono::milliseconds timeout)
{
    auto s = impl(surface);
    if (!s)
        return false;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::unique_lock<std::mutex> guard(SurfaceImpl::busWaitMutex());
    for (;;) {
        if (s->onBus() == on)
            return true;
        if (Clock::now() >= deadline)
            return false;
        Clock::time_point wake = deadline;
        if (auto back = s->returnsAt())
            wake = std::min(wake, *back);
        SurfaceImpl::busWaitCv().wait_until(guard, wake);
    }
}

int Bus::enumerations() const
{
    return busState().enumerations.load();
}

} // namespace vireon::sim

// --- hidapi -------------------------------------------------------------------

using namespace vireon::sim;

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    clearGlobalError();
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    clearGlobalError();
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    busState().enumerations.fetch_add(1);
    clearGlobalError();
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    for (const auto &s : present(vendor_id, product_id)) {
        auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        if (!info)
            break;
        fillInfo(*info, *s);
        *tail = info;
        tail = &info->next;
    }
    if (!head)
        setGlobalError(vendor_id == 0 && product_id == 0 ? L"No HID devices found in the system."
                                                         : L"No HID devices with requested VID/PID found in the system.");
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        freeInfoFields(*devs);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t *serial_number)
{
    clearGlobalError();
    const auto candidates = present(vendor_id, product_id);
    if (candidates.empty()) {
        setGlobalError(L"No HID devices with requested VID/PID found in the system.");
        return nullptr;
    }
    for (const auto &s : candidates) {
        if (serial_number && s->options().serialNumber != serial_number)
            continue;
        return openSurface(s);
    }
    setGlobalError(L"Device with requested VID/PID/(SerialNumber) not found");
    return nullptr;
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    clearGlobalError();
    if (!path) {
        setGlobalError(L"Failed to open a device with path '(null)': Bad address");
        return nullptr;
    }
    for (const auto &s : present(0, 0))
        if (s->path() == path)
            return openSurface(s);
    setGlobalError(widen(std::string("Failed to open a device with path '") + path + "': ") + errnoText(ENOENT));
    return nullptr;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    if (!dev)
        return -1;
    clearError(dev);
    if (!data || length == 0) {
        setError(dev, errnoText(EINVAL));
        return -1;
    }
    return dev->surface->write(dev, data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    if (!dev)
        return -1;
    clearError(dev);
    if (!data || length == 0) {
        setError(dev, errnoText(EINVAL));
        return -1;
    }
    return dev->surface->read(dev, data, length, milliseconds);
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    if (!dev)
        return -1;
    return hid_read_timeout(dev, data, length, dev->nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    if (!dev)
        return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

// The surface has no feature reports and answers no input report requests
// on the control endpoint: the request stalls.
int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"ioctl (SFEATURE): " + errnoText(EPIPE));
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device *dev, unsigned char *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"ioctl (GFEATURE): " + errnoText(EPIPE));
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device *dev, unsigned char *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"ioctl (GINPUT): " + errnoText(EPIPE));
    return -1;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    if (!dev)
        return;
    dev->surface->close(dev);
    freeInfoFields(dev->info);
    delete dev;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    if (!dev)
        return -1;
    return copyString(dev, dev->info.manufacturer_string, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    if (!dev)
        return -1;
    return copyString(dev, dev->info.product_string, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    if (!dev)
        return -1;
    return copyString(dev, dev->info.serial_number, string, maxlen);
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_get_device_info(hid_device *dev)
{
    if (!dev)
        return nullptr;
    clearError(dev);
    return &dev->info;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device *dev, int, wchar_t *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"hid_get_indexed_string: not supported by hidraw");
    return -1;
}

// Never null: "Success" when the last call did not fail.
HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    if (dev)
        return dev->hasError ? dev->error.c_str() : L"Success";
    return globalHasError ? globalError.c_str() : L"Success";
}

HID_API_EXPORT const struct hid_api_version *HID_API_CALL hid_version(void)
{
    static const hid_api_version version = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char *HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"

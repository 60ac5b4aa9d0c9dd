// One simulated surface: its presence on the bus, its scripted faults and its
// frame timing. An output report (report id 0 and 64 bytes) crosses the bus
// at a frame boundary and reaches the device model; the device's answer comes
// back as one 64-byte input report in a later frame, queued on every handle
// open on the surface, as hidraw queues input reports per open file. Results,
// byte counts and error texts follow the Linux hidraw backend of hidapi 0.13.
#include "hidsim_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <time.h>

namespace vireon::sim {
namespace {

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

std::wstring widen(const std::string &text) { return std::wstring(text.begin(), text.end()); }

std::wstring errnoText(int code) { return widen(std::strerror(code)); }

SurfaceImpl::SurfaceImpl(SurfaceOptions options, std::string path)
    : options_(std::move(options)), model_(options_.targets), path_(std::move(path)),
      latencyUs_(options_.latencyPerReport.count()), epoch_(Clock::now())
{
    model_.setRecording(options_.keepRecord);
}

bool SurfaceImpl::onBus() const
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

void SurfaceImpl::addFault(const Fault &fault)
{
    std::lock_guard<std::mutex> guard(faultMutex_);
    faults_.push_back({fault, false});
}

void SurfaceImpl::clearFaults()
{
    std::lock_guard<std::mutex> guard(faultMutex_);
    faults_.clear();
}

std::vector<std::vector<uint8_t>> SurfaceImpl::outputReports() const
{
    std::lock_guard<std::mutex> guard(reportLogMutex_);
    return reportLog_;
}

// Called with mutex_ held. Leaves the bus: every handle of this appearance
// fails from now on. `backAt` empty: stays off until plugged back in.
void SurfaceImpl::leaveLocked(std::optional<Clock::time_point> backAt)
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

void SurfaceImpl::detach()
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (state_.load() == State::Gone)
        return;
    leaveLocked(std::nullopt);
}

void SurfaceImpl::remove()
{
    std::lock_guard<std::mutex> guard(mutex_);
    generation_.fetch_add(1);
    state_.store(State::Gone);
    inputReady_.notify_all();
    notifyBus();
}

void SurfaceImpl::plugBackIn()
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (state_.load() == State::Gone || onBus())
        return;
    powerUpLocked();
    state_.store(State::Present);
    notifyBus();
}

SurfaceImpl::OpenResult SurfaceImpl::tryOpen(hid_device *dev)
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

void SurfaceImpl::close(hid_device *dev)
{
    std::lock_guard<std::mutex> guard(mutex_);
    handles_.erase(std::remove(handles_.begin(), handles_.end(), dev), handles_.end());
    handleCount_.store(static_cast<int>(handles_.size()));
}

int SurfaceImpl::write(hid_device *dev, const unsigned char *data, size_t length)
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
    const int inSession = sessionExchanges_.fetch_add(1) + 1;
    const ExchangeFaults faults = faultsFor(exchange, inSession, payloadSize > 1 ? payload[1] : 0);
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
    if (faults.dropped)
        return static_cast<int>(length);

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

    if (options_.keepRecord) {
        std::lock_guard<std::mutex> logGuard(reportLogMutex_);
        reportLog_.emplace_back(payload, payload + payloadSize);
    }
    std::vector<uint8_t> answer = model_.handleRequest(payload, payloadSize);
    sent_.fetch_add(1);
    // A well-formed answer to "enter bootloader" that names another chip:
    // its silicon id (data bytes 0-3, low byte first), checksum made anew.
    constexpr size_t kIdentityAnswer = kFrameOverhead + 8;
    if (faults.forgedIdentity && answer.size() >= kIdentityAnswer) {
        std::vector<uint8_t> data(answer.begin() + 4, answer.end() - 3);
        for (size_t byte = 0; byte < 4; ++byte)
            data[byte] = static_cast<uint8_t>(*faults.forgedIdentity >> (8 * byte));
        answer = buildPacket(model_.target(model_.currentTarget()).checksum, answer[1], data);
    }
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

int SurfaceImpl::read(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
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
        if (limited && now >= giveUpAt) {
            if (milliseconds > 0)
                runOut_.fetch_add(1);
            return 0;
        }
        // Wake when the next report is due, the time is up, or the bus
        // changes (a new report, an unplug). An unbounded wait is ended by a
        // report or by the surface leaving.
        std::optional<Clock::time_point> wake;
        if (!dev->input.empty())
            wake = dev->input.front().readyAt;
        if (limited && (!wake || giveUpAt < *wake))
            wake = giveUpAt;
        if (wake)
            inputReady_.wait_until(guard, *wake);
        else
            inputReady_.wait(guard);
    }
}

std::optional<Clock::time_point> SurfaceImpl::returnsAt() const
{
    if (state_.load() != State::OffUntil)
        return std::nullopt;
    return Clock::time_point(Clock::duration(backAt_.load()));
}

std::mutex &SurfaceImpl::busWaitMutex()
{
    static std::mutex m;
    return m;
}

std::condition_variable &SurfaceImpl::busWaitCv()
{
    static std::condition_variable cv;
    return cv;
}

void SurfaceImpl::notifyBus()
{
    { std::lock_guard<std::mutex> guard(busWaitMutex()); }
    busWaitCv().notify_all();
}

// The frame boundary a report submitted at `t` crosses at: the first boundary
// after t, and one frame after the last report this way.
Clock::time_point SurfaceImpl::nextFrame(Clock::time_point t, Clock::time_point last,
                                         std::chrono::microseconds frame) const
{
    const auto k = (t - epoch_) / frame + 1;
    Clock::time_point at = epoch_ + k * frame;
    if (last != Clock::time_point{} && at < last + frame)
        at = last + frame;
    return at;
}

ExchangeFaults SurfaceImpl::faultsFor(int exchange, int inSession, uint8_t command)
{
    constexpr uint8_t kExitCommand = 0x3B;
    ExchangeFaults out;
    const int chip = static_cast<int>(model_.currentTarget());
    std::lock_guard<std::mutex> guard(faultMutex_);
    for (auto &f : faults_) {
        if (f.fired)
            continue;
        if (f.fault.chip < 0 && f.fault.exchange != exchange)
            continue;
        if (f.fault.chip >= 0 &&
            (f.fault.chip != chip || (f.fault.atExit ? command != kExitCommand : f.fault.exchange != inSession)))
            continue;
        switch (f.fault.kind) {
        case Fault::WriteFails: out.writeFails = true; break;
        case Fault::ReadFails: out.readFails = true; break;
        case Fault::NoAnswer: out.noAnswer = true; break;
        case Fault::Dropped: out.dropped = true; break;
        case Fault::Garbled: out.garble.emplace_back(f.fault.byteIndex, f.fault.xorMask); break;
        case Fault::Truncated: out.truncate = f.fault.length; break;
        case Fault::ForgedIdentity:
            out.forgedIdentity = f.fault.identity != 0 || model_.targetCount() < 2
                                     ? f.fault.identity
                                     : model_.target(chip == 0 ? 1 : 0).siliconId;
            break;
        case Fault::UnplugAt:
            out.unplug = true;
            out.backAfter = f.fault.backAfter;
            break;
        default: continue; // not an exchange fault
        }
        f.fired = true;
    }
    return out;
}

bool SurfaceImpl::hasFault(Fault::Kind kind)
{
    std::lock_guard<std::mutex> guard(faultMutex_);
    return std::any_of(faults_.begin(), faults_.end(), [kind](const ScriptedFault &f) { return f.fault.kind == kind; });
}

bool SurfaceImpl::hasRestartFault(Fault::Kind kind, int chip)
{
    std::lock_guard<std::mutex> guard(faultMutex_);
    return std::any_of(faults_.begin(), faults_.end(), [kind, chip](const ScriptedFault &f) {
        return f.fault.kind == kind && (f.fault.chip < 0 || f.fault.chip == chip);
    });
}

// After the exit command: the device restarts as the next chip of its chain.
// Normally it leaves the bus and comes back offBusAfterExit later.
void SurfaceImpl::restartLocked()
{
    const int exited = static_cast<int>(model_.currentTarget());
    model_.restart();
    sessionExchanges_.store(0);
    restarts_.fetch_add(1);
    for (hid_device *h : handles_)
        h->input.clear();
    if (hasRestartFault(Fault::NeverLeaves, exited))
        return;
    if (hasRestartFault(Fault::NeverReturns, exited))
        leaveLocked(std::nullopt);
    else
        leaveLocked(Clock::now() + options_.offBusAfterExit);
}

// Power lost and back: the same chip starts again with no session. A restart
// passes the bus to the next chip, so a full round of restarts brings the same
// chip back with its session cleared.
void SurfaceImpl::powerUpLocked()
{
    const size_t n = std::max<size_t>(model_.targetCount(), 1);
    for (size_t i = 0; i < n; ++i)
        model_.restart();
    sessionExchanges_.store(0);
}

} // namespace vireon::sim

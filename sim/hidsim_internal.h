// The simulated bus's inside, shared by its three parts: the surfaces with
// their faults and frame timing (hidsim_surface.cpp), the bus registry
// (hidsim_bus.cpp) and hidapi's entry points (hidsim_hidapi.cpp).
#ifndef VIREON_SIM_HIDSIM_INTERNAL_H
#define VIREON_SIM_HIDSIM_INTERNAL_H

#include "hidsim.h"

#include <hidapi/hidapi.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <optional>

namespace vireon::sim {

using Clock = std::chrono::steady_clock;

constexpr size_t kReportBytes = 64; // the device's input and output report size
constexpr size_t kQueueLimit = 64;  // input reports a handle keeps before dropping new ones

std::wstring widen(const std::string &text);
std::wstring errnoText(int code); // strerror's text, as hidapi shows it

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
        vireon::sim::Clock::time_point readyAt;
        bool error = false; // the read that takes it fails
    };
    std::deque<InputReport> input; // guarded by the surface's mutex
    std::wstring error;            // the last failure of a call on this handle
    bool hasError = false;
    hid_device_info info{};
};

namespace vireon::sim {

inline void setError(hid_device *dev, const std::wstring &text)
{
    dev->error = text;
    dev->hasError = true;
}

inline void clearError(hid_device *dev) { dev->hasError = false; }

// What the faults say about one exchange.
struct ExchangeFaults {
    bool writeFails = false;
    bool dropped = false;
    bool unplug = false;
    std::chrono::milliseconds backAfter{-1};
    bool readFails = false;
    bool noAnswer = false;
    std::vector<std::pair<size_t, uint8_t>> garble;
    std::optional<size_t> truncate;
    std::optional<uint32_t> forgedIdentity;
};

class SurfaceImpl final : public Surface {
public:
    SurfaceImpl(SurfaceOptions options, std::string path);

    Bootloader &device() override { return model_; }
    std::unique_lock<std::mutex> lock() override { return std::unique_lock<std::mutex>(mutex_); }
    bool onBus() const override;
    void addFault(const Fault &fault) override;
    void clearFaults() override;
    int exchanges() const override { return exchanges_.load(); }
    int reportsSent() const override { return sent_.load(); }
    int reportsReceived() const override { return received_.load(); }
    int readsRunOut() const override { return runOut_.load(); }
    int opens() const override { return opens_.load(); }
    int restarts() const override { return restarts_.load(); }
    std::string path() const override { return path_; }
    int openHandles() const override { return handleCount_.load(); }
    std::vector<std::vector<uint8_t>> outputReports() const override;
    void setLatency(std::chrono::microseconds perReport) override { latencyUs_.store(perReport.count()); }

    const SurfaceOptions &options() const { return options_; }
    // Changes every time the surface leaves the bus, as a USB device number
    // does at every enumeration.
    uint64_t enumeration() const { return generation_.load(); }

    // --- the bus side -------------------------------------------------------
    bool alive(const hid_device *dev) const { return dev->generation == generation_.load() && onBus(); }
    void detach();      // unplugged: stays off until plugged back in
    void remove();      // gone for good
    void plugBackIn();  // powers up afresh

    enum class OpenResult { Opened, Refused, Absent };
    // Refused: the open fails as a permission problem does.
    OpenResult tryOpen(hid_device *dev);
    void close(hid_device *dev);
    // hid_write's and hid_read_timeout's work, results as theirs.
    int write(hid_device *dev, const unsigned char *data, size_t length);
    int read(hid_device *dev, unsigned char *data, size_t length, int milliseconds);

    // The earliest time a waiter must look again without being notified.
    std::optional<Clock::time_point> returnsAt() const override;

    // Bus::waitOnBus waits on these; every change of presence notifies.
    static std::mutex &busWaitMutex();
    static std::condition_variable &busWaitCv();
    static void notifyBus();

private:
    struct ScriptedFault {
        Fault fault;
        bool fired = false;
    };
    enum class State { Present, Off, OffUntil, Gone };

    void leaveLocked(std::optional<Clock::time_point> backAt);
    Clock::time_point nextFrame(Clock::time_point t, Clock::time_point last, std::chrono::microseconds frame) const;
    // The faults of the report that is exchange `exchange` of the surface's
    // life, `inSession` of the current chip's time on the bus, `command` its
    // command byte.
    ExchangeFaults faultsFor(int exchange, int inSession, uint8_t command);
    bool hasFault(Fault::Kind kind);
    // A fault of `kind` for the restart that chip `chip`'s exit command begins.
    bool hasRestartFault(Fault::Kind kind, int chip);
    void restartLocked();
    void powerUpLocked();

    SurfaceOptions options_;
    Bootloader model_;
    const std::string path_;
    std::atomic<int64_t> latencyUs_;
    const Clock::time_point epoch_;

    mutable std::mutex mutex_; // the device model, handles, input queues, frame clock
    std::condition_variable inputReady_;
    std::vector<hid_device *> handles_;
    Clock::time_point lastOut_{}, lastIn_{};

    mutable std::mutex faultMutex_;
    std::vector<ScriptedFault> faults_;

    mutable std::mutex reportLogMutex_;
    std::vector<std::vector<uint8_t>> reportLog_;

    std::atomic<State> state_{State::Present};
    std::atomic<Clock::rep> backAt_{0};
    std::atomic<uint64_t> generation_{1};
    std::atomic<int> sessionExchanges_{0}; // since the current chip took the bus
    std::atomic<int> exchanges_{0}, sent_{0}, received_{0}, runOut_{0}, opens_{0}, restarts_{0}, handleCount_{0};
};

// --- the bus registry, for the entry points ----------------------------------

// The surfaces on the bus that match (0 matches any id), in the order they
// were attached.
std::vector<std::shared_ptr<SurfaceImpl>> presentSurfaces(unsigned short vid, unsigned short pid);
void countEnumeration();

} // namespace vireon::sim

#endif

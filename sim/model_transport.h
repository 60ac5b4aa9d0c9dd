// A zero-latency in-memory transport record for the bootloader host, for
// tests, fuzz targets and benchmarks that need no USB: each
// write is handed to the device model, each read returns its answer. Tests
// choose what the transport's own functions return.
#ifndef VIREON_SIM_MODEL_TRANSPORT_H
#define VIREON_SIM_MODEL_TRANSPORT_H

#include "cybtldr_api.h"
#include "device_model.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace vireon::sim {

class ModelTransport {
public:
    explicit ModelTransport(Bootloader &device) : device_(device) { current = this; }
    ~ModelTransport()
    {
        if (current == this)
            current = nullptr;
    }
    ModelTransport(const ModelTransport &) = delete;
    ModelTransport &operator=(const ModelTransport &) = delete;
    CyBtldr_CommunicationsData comm(uint32_t maxTransfer = 64) { return {&open, &close, &read, &write, maxTransfer}; }

    long writes = 0;
    size_t largestWrite = 0; // the longest packet the host wrote
    // What open, close, write and read return; a failed write or read passes nothing on.
    int openResult = 0, closeResult = 0, writeResult = 0, readResult = 0;
    std::function<void()> onWrite; // runs inside every write
    std::function<void(std::vector<uint8_t> &)> onAnswer; // may change each answer, or drop it (clear)
    int closes = 0;

private:
    static inline ModelTransport *current = nullptr;
    static int open() { return current->openResult; }
    static int close()
    {
        ++current->closes;
        return current->closeResult;
    }
    static int write(unsigned char *buffer, int size)
    {
        ModelTransport &t = *current;
        ++t.writes;
        t.largestWrite = std::max(t.largestWrite, size_t(size));
        if (t.onWrite)
            t.onWrite();
        if (t.writeResult != 0)
            return t.writeResult;
        t.answer_ = t.device_.handleRequest(buffer, size_t(size));
        if (t.onAnswer)
            t.onAnswer(t.answer_);
        // After the exit command the device restarts straight away.
        if (t.device_.restartRequested())
            t.device_.restart();
        return 0;
    }
    static int read(unsigned char *buffer, int size)
    {
        ModelTransport &t = *current;
        if (t.readResult != 0)
            return t.readResult;
        if (t.answer_.empty())
            return -1; // no answer: the read times out
        std::memset(buffer, 0, size_t(size));
        std::memcpy(buffer, t.answer_.data(), std::min(t.answer_.size(), size_t(size)));
        t.answer_.clear();
        return 0;
    }

    Bootloader &device_;
    std::vector<uint8_t> answer_;
};

} // namespace vireon::sim

#endif

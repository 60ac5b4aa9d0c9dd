// A zero-latency in-memory transport record for the bootloader host: each
// write is handed to the device model, each read returns its answer.
#ifndef VIREON_TESTS_MODEL_TRANSPORT_H
#define VIREON_TESTS_MODEL_TRANSPORT_H

#include "cybtldr_api.h"
#include "device_model.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vireon::test {

class ModelTransport {
public:
    explicit ModelTransport(sim::Bootloader &device, uint32_t maxTransferSize = 64)
        : device_(device), maxTransferSize_(maxTransferSize)
    {
        current() = this;
    }
    ~ModelTransport()
    {
        if (current() == this)
            current() = nullptr;
    }
    ModelTransport(const ModelTransport &) = delete;
    ModelTransport &operator=(const ModelTransport &) = delete;

    CyBtldr_CommunicationsData comm() { return CyBtldr_CommunicationsData{&open, &close, &read, &write, maxTransferSize_}; }

    long writes = 0;
    long reads = 0;
    long opens = 0;
    long closes = 0;
    size_t largestWrite = 0; // the longest packet the host wrote

private:
    static ModelTransport *&current()
    {
        static ModelTransport *instance = nullptr;
        return instance;
    }
    static int open()
    {
        ++current()->opens;
        return 0;
    }
    static int close()
    {
        ++current()->closes;
        return 0;
    }
    static int write(unsigned char *buffer, int size)
    {
        ModelTransport &t = *current();
        ++t.writes;
        t.largestWrite = std::max(t.largestWrite, static_cast<size_t>(size));
        t.answer_ = t.device_.handleRequest(buffer, static_cast<size_t>(size));
        // After the exit command the device restarts straight away.
        if (t.device_.restartRequested())
            t.device_.restart();
        return 0;
    }
    static int read(unsigned char *buffer, int size)
    {
        ModelTransport &t = *current();
        ++t.reads;
        if (t.answer_.empty())
            return -1; // no answer: the read times out
        std::memset(buffer, 0, static_cast<size_t>(size));
        std::memcpy(buffer, t.answer_.data(), std::min(t.answer_.size(), static_cast<size_t>(size)));
        t.answer_.clear();
        return 0;
    }

    sim::Bootloader &device_;
    uint32_t maxTransferSize_;
    std::vector<uint8_t> answer_;
};

} // namespace vireon::test

#endif

// A transport record for the bootloader host that records every packet the
// host writes and answers each read with the next scripted response.
#ifndef VIREON_TESTS_RECORDING_TRANSPORT_H
#define VIREON_TESTS_RECORDING_TRANSPORT_H

#include "cybtldr_api.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

namespace vireon::test {

using Bytes = std::vector<uint8_t>;

// A response packet as the device frames it (sum checksum).
inline Bytes response(uint8_t status, const Bytes &data = {})
{
    Bytes p{0x01, status, static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8)};
    p.insert(p.end(), data.begin(), data.end());
    uint16_t sum = 0;
    for (uint8_t b : p)
        sum = static_cast<uint16_t>(sum + b);
    sum = static_cast<uint16_t>(0x10000 - sum);
    p.insert(p.end(), {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8), 0x17});
    return p;
}

class RecordingTransport {
public:
    RecordingTransport() { current() = this; }
    ~RecordingTransport()
    {
        if (current() == this)
            current() = nullptr;
    }
    RecordingTransport(const RecordingTransport &) = delete;
    RecordingTransport &operator=(const RecordingTransport &) = delete;

    std::vector<Bytes> writes;    // every packet written, in order
    std::vector<int> readSizes;   // the expected length of every read
    std::deque<Bytes> answers;    // played back one per read
    int opens = 0;
    int closes = 0;
    int openResult = 0;
    int closeResult = 0;
    int failWriteAt = -1; // index of a write that fails with `error`
    int failReadAt = -1;  // index of a read that fails with `error`
    int error = -1;
    std::function<void()> onWrite; // runs inside every write

    void answer(uint8_t status, const Bytes &data = {}) { answers.push_back(response(status, data)); }

    CyBtldr_CommunicationsData comm(uint32_t maxTransferSize = 64)
    {
        return CyBtldr_CommunicationsData{&open, &close, &read, &write, maxTransferSize};
    }

    // The command byte of every packet written.
    Bytes commands() const
    {
        Bytes out;
        for (const Bytes &w : writes)
            out.push_back(w.size() > 1 ? w[1] : 0);
        return out;
    }

private:
    static RecordingTransport *&current()
    {
        static RecordingTransport *instance = nullptr;
        return instance;
    }
    static int open()
    {
        ++current()->opens;
        return current()->openResult;
    }
    static int close()
    {
        ++current()->closes;
        return current()->closeResult;
    }
    static int write(unsigned char *buffer, int size)
    {
        RecordingTransport &t = *current();
        t.writes.emplace_back(buffer, buffer + size);
        if (t.onWrite)
            t.onWrite();
        return static_cast<int>(t.writes.size()) - 1 == t.failWriteAt ? t.error : 0;
    }
    static int read(unsigned char *buffer, int size)
    {
        RecordingTransport &t = *current();
        t.readSizes.push_back(size);
        if (static_cast<int>(t.readSizes.size()) - 1 == t.failReadAt || t.answers.empty())
            return t.error;
        const Bytes a = t.answers.front();
        t.answers.pop_front();
        std::memset(buffer, 0, static_cast<size_t>(size));
        std::memcpy(buffer, a.data(), std::min(a.size(), static_cast<size_t>(size)));
        return 0;
    }
};

} // namespace vireon::test

#endif

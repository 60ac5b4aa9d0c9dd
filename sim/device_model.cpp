// The device's side of the bootloader packet protocol. Everything the model
// does follows from the bytes that arrive in a request; it never looks at
// anything a real device could not see.
#include "device_model.h"

#include <algorithm>
#include <stdexcept>

namespace vireon::sim {

namespace {

uint16_t le16(const std::vector<uint8_t> &d, size_t at)
{
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

// Request data length each fixed-size command must carry; -1 for the
// variable-length ones, which check their own.
int fixedDataLength(uint8_t cmd)
{
    switch (cmd) {
    case command::VerifyChecksum: return 0;
    case command::GetFlashSize: return 1;
    case command::GetAppStatus: return 1;
    case command::EraseRow: return 3;
    case command::Sync: return 0;
    case command::SetActiveApp: return 1;
    case command::Enter: return 0;
    case command::VerifyRow: return 3;
    case command::Exit: return 1;
    default: return -1;
    }
}

bool knownCommand(uint8_t cmd)
{
    return cmd >= command::VerifyChecksum && cmd <= command::Exit;
}

} // namespace

Bootloader::Bootloader(std::vector<TargetConfig> chain) : chain_(std::move(chain))
{
    if (chain_.empty())
        throw std::invalid_argument("a bootloader needs at least one target");
    state_.resize(chain_.size());
}

std::vector<uint8_t> Bootloader::answer(uint8_t statusByte, const std::vector<uint8_t> &data) const
{
    return buildPacket(chain_[current_].checksum, statusByte, data);
}

std::vector<uint8_t> Bootloader::handleRequest(const uint8_t *data, size_t size)
{
    Received rec{current_, size > 1 ? data[1] : uint8_t{0}, {}, 0};

    const auto keep = [this](Received &&request) {
        if (recording_)
            received_.push_back(std::move(request));
    };
    // A device waiting for its restart no longer listens.
    if (restartRequested_) {
        keep(std::move(rec));
        return {};
    }

    auto refuse = [&](uint8_t st) {
        rec.status = st;
        keep(std::move(rec));
        return answer(st);
    };

    if (size < kFrameOverhead || data == nullptr)
        return refuse(status::BadData);
    if (data[0] != kPacketStart)
        return refuse(status::BadData);
    const size_t n = static_cast<size_t>(data[2] | (data[3] << 8));
    if (n + kFrameOverhead > size)
        return refuse(status::BadLength);
    if (data[6 + n] != kPacketEnd)
        return refuse(status::BadData);
    const uint16_t sent = static_cast<uint16_t>(data[4 + n] | (data[5 + n] << 8));
    if (sent != packetChecksum(chain_[current_].checksum, data, n + 4))
        return refuse(status::BadChecksum);

    const uint8_t cmd = data[1];
    rec.data.assign(data + 4, data + 4 + n);

    auto fault = faults_.find(cmd);
    if (fault != faults_.end() && fault->second.times != 0) {
        if (fault->second.skip > 0) {
            --fault->second.skip;
        } else {
            if (fault->second.times > 0)
                --fault->second.times;
            return refuse(fault->second.status);
        }
    }

    uint8_t st = status::Success;
    std::vector<uint8_t> out = dispatch(cmd, rec.data, st);
    rec.status = st;
    keep(std::move(rec));
    return out;
}

const ArrayConfig *Bootloader::findArray(uint8_t id) const
{
    for (const ArrayConfig &a : chain_[current_].arrays)
        if (a.id == id)
            return &a;
    return nullptr;
}

std::vector<uint8_t> Bootloader::dispatch(uint8_t cmd, const std::vector<uint8_t> &data, uint8_t &st)
{
    TargetConfig &cfg = chain_[current_];
    TargetState &ts = state_[current_];
    auto fail = [&](uint8_t s) {
        st = s;
        return answer(s);
    };

    if (!knownCommand(cmd))
        return fail(status::BadCommand);
    if (!entered_ && cmd != command::Enter)
        return fail(status::NotEntered);
    const int want = fixedDataLength(cmd);
    if (want >= 0 && data.size() != static_cast<size_t>(want))
        return fail(status::BadLength);

    // Array and row of the row commands, checked against the target's flash.
    const ArrayConfig *array = nullptr;
    uint16_t row = 0;
    if (cmd == command::EraseRow || cmd == command::VerifyRow || cmd == command::ProgramRow) {
        if (data.size() < 3)
            return fail(status::BadLength);
        array = findArray(data[0]);
        row = le16(data, 1);
        if (array == nullptr || row < array->firstRow || row > array->lastRow) {
            if (cmd == command::ProgramRow)
                buffer_.clear();
            return fail(array == nullptr ? status::BadArray : status::BadRow);
        }
    }

    switch (cmd) {
    case command::Enter: {
        entered_ = true;
        buffer_.clear();
        const uint32_t id = cfg.siliconId;
        const uint32_t ver = cfg.bootloaderVersion;
        return answer(status::Success,
                      {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id >> 16),
                       static_cast<uint8_t>(id >> 24), cfg.siliconRev, static_cast<uint8_t>(ver),
                       static_cast<uint8_t>(ver >> 8), static_cast<uint8_t>(ver >> 16)});
    }
    case command::GetFlashSize: {
        const ArrayConfig *a = findArray(data[0]);
        if (a == nullptr)
            return fail(status::BadArray);
        return answer(status::Success, {static_cast<uint8_t>(a->firstRow), static_cast<uint8_t>(a->firstRow >> 8),
                                        static_cast<uint8_t>(a->lastRow), static_cast<uint8_t>(a->lastRow >> 8)});
    }
    case command::SendData: {
        size_t largest = 0;
        for (const ArrayConfig &a : cfg.arrays)
            largest = std::max<size_t>(largest, a.rowSize);
        if (buffer_.size() + data.size() > largest) {
            buffer_.clear();
            return fail(status::BadLength);
        }
        buffer_.insert(buffer_.end(), data.begin(), data.end());
        return answer(status::Success);
    }
    case command::ProgramRow: {
        std::vector<uint8_t> rowData;
        rowData.swap(buffer_);
        rowData.insert(rowData.end(), data.begin() + 3, data.end());
        const auto key = std::make_pair(array->id, row);
        if (rowData.size() != array->rowSize) {
            ts.failed.insert(key);
            return fail(status::ProgramFailed);
        }
        ts.flash[key] = std::move(rowData);
        ts.failed.erase(key);
        return answer(status::Success);
    }
    case command::EraseRow: {
        const auto key = std::make_pair(array->id, row);
        ts.flash.erase(key);
        ts.failed.erase(key);
        return answer(status::Success);
    }
    case command::VerifyRow: {
        auto it = ts.flash.find(std::make_pair(array->id, row));
        uint8_t sum = it != ts.flash.end() ? rowChecksum(it->second)
                                           : rowChecksum(std::vector<uint8_t>(array->rowSize, 0));
        if (badRowChecksum_)
            sum = static_cast<uint8_t>(sum + 1);
        return answer(status::Success, {sum});
    }
    case command::VerifyChecksum:
        return answer(status::Success, {static_cast<uint8_t>(applicationValid(current_) ? 1 : 0)});
    case command::GetAppStatus: {
        if (cfg.applications <= 1)
            return fail(status::Unsupported);
        const uint8_t app = data[0];
        if (app >= cfg.applications)
            return fail(status::BadApplication);
        return answer(status::Success, {static_cast<uint8_t>(applicationValid(current_, app) ? 0 : 1),
                                        static_cast<uint8_t>(ts.active.count(app) ? 1 : 0)});
    }
    case command::SetActiveApp: {
        if (cfg.applications <= 1)
            return fail(status::Unsupported);
        const uint8_t app = data[0];
        if (app >= cfg.applications)
            return fail(status::BadApplication);
        ts.active.clear();
        ts.active.insert(app);
        return answer(status::Success);
    }
    case command::Sync:
        buffer_.clear();
        return answer(status::Success);
    case command::Exit:
        restartRequested_ = true;
        return {};
    default:
        return fail(status::BadCommand);
    }
}

bool Bootloader::restartRequested() const { return restartRequested_; }

void Bootloader::restart()
{
    current_ = (current_ + 1) % chain_.size();
    entered_ = false;
    restartRequested_ = false;
    buffer_.clear();
}

size_t Bootloader::currentTarget() const { return current_; }
size_t Bootloader::targetCount() const { return chain_.size(); }
TargetConfig &Bootloader::target(size_t index) { return chain_.at(index); }
const TargetConfig &Bootloader::target(size_t index) const { return chain_.at(index); }

const Bootloader::Flash &Bootloader::flash(size_t target) const { return state_.at(target).flash; }

void Bootloader::clearFlash(size_t target)
{
    state_.at(target).flash.clear();
    state_.at(target).failed.clear();
}

void Bootloader::restoreFlash(size_t target, Flash rows, std::set<std::pair<uint8_t, uint16_t>> failed,
                              std::set<uint8_t> active)
{
    TargetState &ts = state_.at(target);
    ts.flash = std::move(rows);
    ts.failed = std::move(failed);
    ts.active = std::move(active);
}

void Bootloader::powerUpAs(size_t target)
{
    current_ = target % chain_.size();
    entered_ = false;
    restartRequested_ = false;
    buffer_.clear();
}

const std::set<uint8_t> &Bootloader::activeApplications(size_t target) const { return state_.at(target).active; }

const std::set<std::pair<uint8_t, uint16_t>> &Bootloader::failedRows(size_t target) const
{
    return state_.at(target).failed;
}

bool Bootloader::rowInApplication(size_t target, uint8_t arrayId, uint16_t row, uint8_t appId) const
{
    const TargetConfig &cfg = chain_.at(target);
    const size_t apps = cfg.applications > 1 ? static_cast<size_t>(cfg.applications) : 1;
    if (apps <= 1)
        return true;
    for (const ArrayConfig &a : cfg.arrays) {
        if (a.id != arrayId)
            continue;
        if (row < a.firstRow || row > a.lastRow)
            return false;
        const size_t rows = static_cast<size_t>(a.lastRow - a.firstRow) + 1;
        const size_t per = rows / apps;
        size_t owner = per == 0 ? apps - 1 : static_cast<size_t>(row - a.firstRow) / per;
        if (owner >= apps)
            owner = apps - 1;
        return owner == appId;
    }
    return false;
}

bool Bootloader::applicationValid(size_t target) const
{
    const TargetState &ts = state_.at(target);
    const std::vector<ArrayConfig> &arrays = chain_.at(target).arrays;
    return !badAppChecksum_ && ts.failed.empty() && !arrays.empty() &&
           metadataMatches(ts.flash, arrays[0].id, arrays[0].firstRow, arrays[0].lastRow, arrays[0].rowSize);
}

bool Bootloader::applicationValid(size_t target, uint8_t appId) const
{
    const TargetState &ts = state_.at(target);
    if (badAppChecksum_ || appId >= std::max(chain_.at(target).applications, 1))
        return false;
    bool any = false;
    for (const auto &entry : ts.flash)
        if (rowInApplication(target, entry.first.first, entry.first.second, appId))
            any = true;
    for (const auto &key : ts.failed)
        if (rowInApplication(target, key.first, key.second, appId))
            return false;
    return any;
}

void Bootloader::setApplicationActive(size_t target, uint8_t appId, bool active)
{
    std::set<uint8_t> &act = state_.at(target).active;
    if (active)
        act.insert(appId);
    else
        act.erase(appId);
}

bool Bootloader::applicationActive(size_t target, uint8_t appId) const
{
    return state_.at(target).active.count(appId) != 0;
}

std::optional<uint8_t> Bootloader::activeApplication(size_t target) const
{
    const std::set<uint8_t> &act = state_.at(target).active;
    if (act.empty())
        return std::nullopt;
    return *act.begin();
}

bool Bootloader::entered() const { return entered_; }
size_t Bootloader::bufferedBytes() const { return buffer_.size(); }

const std::vector<Bootloader::Received> &Bootloader::received() const { return received_; }
void Bootloader::clearReceived() { received_.clear(); }

size_t Bootloader::receivedCount(uint8_t cmd) const
{
    size_t count = 0;
    for (const Received &r : received_)
        if (r.command == cmd)
            ++count;
    return count;
}

void Bootloader::answerStatus(uint8_t cmd, uint8_t st, int times, int skip)
{
    faults_[cmd] = Fault{st, times, skip < 0 ? 0 : skip};
}

void Bootloader::reportBadRowChecksum(bool bad) { badRowChecksum_ = bad; }
void Bootloader::reportBadApplicationChecksum(bool bad) { badAppChecksum_ = bad; }

void Bootloader::clearFaults()
{
    faults_.clear();
    badRowChecksum_ = false;
    badAppChecksum_ = false;
}

} // namespace vireon::sim

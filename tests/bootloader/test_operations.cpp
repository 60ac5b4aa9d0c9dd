// Bootload operations against a transport that records every packet and
// plays scripted answers.
#include "cybtldr_api.h"
#include "recording_transport.h"

#include <gtest/gtest.h>

using vireon::test::Bytes;
using vireon::test::RecordingTransport;

namespace {

const uint32_t kSiliconId = 0x12345678;
const uint8_t kRevision = 2;

void answerEnter(RecordingTransport &t, uint32_t version = 0x01021E, uint32_t id = kSiliconId, uint8_t rev = kRevision)
{
    t.answer(0, {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id >> 16),
                 static_cast<uint8_t>(id >> 24), rev, static_cast<uint8_t>(version),
                 static_cast<uint8_t>(version >> 8), static_cast<uint8_t>(version >> 16)});
}

void answerRange(RecordingTransport &t, uint16_t first, uint16_t last)
{
    t.answer(0, {static_cast<uint8_t>(first), static_cast<uint8_t>(first >> 8), static_cast<uint8_t>(last),
                 static_cast<uint8_t>(last >> 8)});
}

class Operations : public ::testing::Test {
protected:
    // Starts an operation on a device answering the enter command normally.
    void start(uint32_t maxTransferSize = 64)
    {
        comm = t.comm(maxTransferSize);
        answerEnter(t);
        uint32_t version = 0;
        ASSERT_EQ(0, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version));
        EXPECT_EQ(0x01021Eu, version);
        t.writes.clear();
        t.readSizes.clear();
    }
    void TearDown() override
    {
        CyBtldr_EndBootloadOperation();
    }
    RecordingTransport t;
    CyBtldr_CommunicationsData comm{};
};

} // namespace

TEST_F(Operations, StartChecksConnectionDeviceAndVersion)
{
    comm = t.comm();
    uint32_t version = 0;
    t.openResult = 5;
    EXPECT_EQ(0x2005, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version));
    t.openResult = -1;
    EXPECT_EQ(-1, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version));
    EXPECT_TRUE(t.writes.empty());
    t.openResult = 0;

    struct Case {
        uint32_t version, id;
        uint8_t rev;
        int result;
    } cases[] = {{0x020000, kSiliconId, kRevision, 7},
                 {0x00FFFF, kSiliconId, kRevision, 7},
                 {0x01FFFF, kSiliconId, kRevision, 0},
                 {0x010000, kSiliconId, 3, 6},
                 {0x010000, kSiliconId + 1, kRevision, 6}};
    for (const Case &c : cases) {
        answerEnter(t, c.version, c.id, c.rev);
        EXPECT_EQ(c.result, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version)) << c.version;
    }
    EXPECT_EQ(0x010000u, version);
    t.answer(0x0A);
    EXPECT_EQ(0x400A, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version));
    t.failReadAt = static_cast<int>(t.readSizes.size());
    EXPECT_EQ(-1, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version));
    t.error = 2;
    t.failWriteAt = static_cast<int>(t.writes.size());
    const size_t reads = t.readSizes.size();
    EXPECT_EQ(0x2002, CyBtldr_StartBootloadOperation(&comm, kSiliconId, kRevision, &version));
    EXPECT_EQ(reads, t.readSizes.size()); // a failed write is not followed by a read
    EXPECT_EQ((Bytes{0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17}), t.writes.back());
    EXPECT_EQ(15, t.readSizes.front());
}

TEST_F(Operations, RowRangesAreCheckedAndAskedOncePerStart)
{
    start();
    EXPECT_EQ(9, CyBtldr_EraseRow(4, 0));
    EXPECT_EQ(9, CyBtldr_VerifyRow(0xFF, 0, 0));
    EXPECT_TRUE(t.writes.empty());

    answerRange(t, 0x0010, 0x01FF);
    EXPECT_EQ(10, CyBtldr_EraseRow(1, 0x000F));
    EXPECT_EQ(10, CyBtldr_EraseRow(1, 0x0200));
    t.answer(0);
    EXPECT_EQ(0, CyBtldr_EraseRow(1, 0x0010));
    t.answer(0);
    EXPECT_EQ(0, CyBtldr_EraseRow(1, 0x01FF));
    EXPECT_EQ((Bytes{0x32, 0x34, 0x34}), t.commands());
    EXPECT_EQ((Bytes{0x01, 0x34, 0x03, 0x00, 0x01, 0xFF, 0x01}), Bytes(t.writes[2].begin(), t.writes[2].begin() + 7));

    t.answer(0x07);
    EXPECT_EQ(0x4007, CyBtldr_EraseRow(2, 0)); // the range query failed
    t.writes.clear();
    start();
    answerRange(t, 0x0010, 0x01FF);
    EXPECT_EQ(10, CyBtldr_EraseRow(1, 0x0000));
    EXPECT_EQ((Bytes{0x32}), t.commands()); // a new start asks again

    // A range of 0 to 0 is not kept: it is asked for on every use.
    answerRange(t, 0, 0);
    EXPECT_EQ(10, CyBtldr_EraseRow(0, 1));
    answerRange(t, 0, 0);
    t.answer(0);
    EXPECT_EQ(0, CyBtldr_EraseRow(0, 0));
    EXPECT_EQ((Bytes{0x32, 0x32, 0x32, 0x34}), t.commands());
}

TEST_F(Operations, ProgramRowSplitsRowsToFitTheTransfer)
{
    Bytes row(600);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<uint8_t>(i * 7 + 1);
    struct Case {
        uint32_t maxTransfer;
        uint16_t size;
        Bytes commands;
        size_t lastData;
    } cases[] = {
        {64, 53, {0x39}, 53},
        {64, 54, {0x37, 0x39}, 1},
        {64, 256, {0x37, 0x37, 0x37, 0x37, 0x39}, 44},
        {12, 2, {0x37, 0x39}, 1},
        {4096, 600, {0x37, 0x39}, 99}, // packets are limited by the 512-byte buffers
    };
    for (const Case &c : cases) {
        start(c.maxTransfer);
        answerRange(t, 0, 0x100);
        for (size_t i = 0; i < c.commands.size(); ++i)
            t.answer(0);
        ASSERT_EQ(0, CyBtldr_ProgramRow(0, 0x0100, row.data(), c.size)) << c.size;
        t.writes.erase(t.writes.begin()); // the range query
        EXPECT_EQ(c.commands, t.commands()) << c.size;
        Bytes sent;
        for (const Bytes &w : t.writes) {
            EXPECT_LT(w.size(), std::min<size_t>(c.maxTransfer, 513));
            const size_t skip = w[1] == 0x39 ? 7 : 4;
            sent.insert(sent.end(), w.begin() + static_cast<long>(skip), w.end() - 3);
        }
        EXPECT_EQ(Bytes(row.begin(), row.begin() + c.size), sent);
        EXPECT_EQ(c.lastData + 10, t.writes.back().size());
        EXPECT_EQ((Bytes{0x00, 0x00, 0x01}), Bytes(t.writes.back().begin() + 4, t.writes.back().begin() + 7));
    }

    // A device refusing a send-data packet gets no program-row.
    start();
    answerRange(t, 0, 0x100);
    t.answer(0);
    t.answer(0x03);
    EXPECT_EQ(0x4003, CyBtldr_ProgramRow(0, 1, row.data(), 200));
    EXPECT_EQ((Bytes{0x32, 0x37, 0x37}), t.commands());

    // A transport too small for any row data is refused before anything is sent.
    for (uint32_t tiny : {0u, 11u}) {
        start(tiny);
        EXPECT_EQ(3, CyBtldr_ProgramRow(0, 1, row.data(), 10));
        EXPECT_TRUE(t.writes.empty());
    }
}

TEST_F(Operations, ChecksumsAndApplications)
{
    start();
    answerRange(t, 0, 10);
    t.answer(0, {0x5A});
    EXPECT_EQ(8, CyBtldr_VerifyRow(0, 3, 0x5B));
    t.answer(0, {0x5A});
    EXPECT_EQ(0, CyBtldr_VerifyRow(0, 3, 0x5A));
    t.answer(0, {0x00});
    EXPECT_EQ(8, CyBtldr_VerifyApplication());
    t.answer(0, {0x80});
    EXPECT_EQ(0, CyBtldr_VerifyApplication());
    uint8_t valid = 0, active = 0;
    t.answer(0, {0x00, 0x01});
    EXPECT_EQ(0, CyBtldr_GetApplicationStatus(1, &valid, &active));
    EXPECT_EQ(1, active);
    t.answer(0x05);
    EXPECT_EQ(0x4005, CyBtldr_GetApplicationStatus(1, &valid, &active));
    t.answer(0);
    EXPECT_EQ(0, CyBtldr_SetApplicationStatus(1));
    EXPECT_EQ((Bytes{0x32, 0x3A, 0x3A, 0x31, 0x31, 0x33, 0x33, 0x36}), t.commands());
    EXPECT_EQ((std::vector<int>{11, 8, 8, 8, 8, 9, 9, 7}), t.readSizes);
}

TEST_F(Operations, EndSendsTheExitCommandOnly)
{
    start();
    EXPECT_EQ(0, CyBtldr_EndBootloadOperation());
    ASSERT_EQ(1u, t.writes.size());
    EXPECT_EQ((Bytes{0x01, 0x3B, 0x01, 0x00, 0x00, 0xC3, 0xFF, 0x17}), t.writes[0]);
    EXPECT_TRUE(t.readSizes.empty());
    EXPECT_EQ(1, t.closes);
    // Without an installed transport nothing is sent and nothing crashes.
    uint8_t valid = 0, active = 0;
    EXPECT_EQ(11, CyBtldr_EndBootloadOperation());
    EXPECT_EQ(11, CyBtldr_VerifyApplication());
    EXPECT_EQ(11, CyBtldr_GetApplicationStatus(0, &valid, &active));
    EXPECT_EQ(11, CyBtldr_ProgramRow(0, 0, &valid, 1));
    EXPECT_EQ(1u, t.writes.size());

    start();
    t.failWriteAt = 0;
    EXPECT_EQ(-1, CyBtldr_EndBootloadOperation());
    EXPECT_EQ(1, t.closes); // a failed exit write does not close
    t.failWriteAt = -1;
    start();
    t.closeResult = 3;
    EXPECT_EQ(0x2003, CyBtldr_EndBootloadOperation());
    EXPECT_EQ(2, t.closes);
}

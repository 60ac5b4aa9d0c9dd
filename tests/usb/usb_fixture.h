// Shared by the USB tests: a clean bus per test, firmware files in a
// temporary folder, and standard error captured through its descriptor.
#ifndef VIREON_TESTS_USB_FIXTURE_H
#define VIREON_TESTS_USB_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "cyacd_gen.h"
#include "cybtldr_api2.h"
#include "hid_transport.h"
#include "hidsim.h"

VIREON_HID_TRANSPORT(handle)

namespace usbtest {

using namespace vireon;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Redirects file descriptor 2 into a file until text() is called. Should
// the test crash meanwhile, the sanitizer report stays in that file.
class StderrCapture {
public:
    StderrCapture() : saved_(dup(2))
    {
        std::fflush(stderr);
        FILE *f = std::fopen(path_.c_str(), "w");
        dup2(fileno(f), 2);
        std::fclose(f);
    }
    ~StderrCapture() { text(); }
    std::string text()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, 2);
            close(std::exchange(saved_, -1));
            std::ifstream in(path_);
            text_.assign(std::istreambuf_iterator<char>(in), {});
            fs::remove(path_);
        }
        return text_;
    }
    int count(const std::string &what) // how often `what` was printed
    {
        int n = 0;
        for (size_t at = text().find(what); at != std::string::npos; at = text_.find(what, at + 1))
            ++n;
        return n;
    }

private:
    const fs::path path_ = fs::temp_directory_path() / ("usb_stderr_" + std::to_string(getpid()));
    int saved_;
    std::string text_;
};

// Two rows of 64 bytes: few exchanges, for the loops.
inline tools::ImageSpec smallImage(uint32_t seed = 1)
{
    tools::ImageSpec layout;
    layout.rowCount = 2, layout.rowSize = 64, layout.seed = seed;
    return layout;
}

class UsbTest : public ::testing::Test {
protected:
    void SetUp() override { fresh(), fs::create_directories(dir_); }
    void TearDown() override { fresh(), fs::remove_all(dir_); }
    void fresh() // closes `handle` and empties the bus
    {
        if (handle)
            hid_close(std::exchange(handle, nullptr));
        sim::Bus::instance().reset();
    }
    std::string imageFile(const tools::ImageSpec &layout, const std::string &name)
    {
        EXPECT_TRUE(tools::writeFile((dir_ / name).string(), {layout}));
        return (dir_ / name).string();
    }
    std::shared_ptr<sim::Surface> attach(std::vector<sim::TargetConfig> chain)
    {
        sim::SurfaceOptions o;
        o.targets = std::move(chain);
        o.offBusAfterExit = 30ms;
        return sim::Bus::instance().attach(o);
    }
    // Opens the surface into `handle` and programs the file through the transport.
    int program(const std::string &file)
    {
        if (handle)
            hid_close(handle);
        if (!(handle = hid_open(sim::kVendorId, sim::kProductId, nullptr)))
            return -100;
        CyBtldr_CommunicationsData record = transportRecord();
        return CyBtldr_Program(file.c_str(), &record, ProgressUpdate);
    }

    const fs::path dir_ = fs::temp_directory_path() / ("usb_test_" + std::to_string(getpid()));
};

} // namespace usbtest

#endif

// Shared by the USB tests: a clean bus per test, firmware files in a
// temporary folder, and standard error captured through its descriptor.
#ifndef VIREON_TESTS_USB_FIXTURE_H
#define VIREON_TESTS_USB_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cyacd_gen.h"
#include "cybtldr_api2.h"
#include "hid_transport.h"
#include "hidsim.h"

VIREON_HID_TRANSPORT(handle)

namespace usbtest {

using namespace vireon;
using namespace std::chrono_literals;

// Redirects file descriptor 2 into a file until text() is called. Should
// the test crash meanwhile, the sanitizer report stays in that file.
class StderrCapture {
public:
    StderrCapture() : path_(std::filesystem::temp_directory_path() / ("usb_stderr_" + std::to_string(getpid())))
    {
        std::fflush(stderr);
        saved_ = dup(2);
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
            close(saved_);
            saved_ = -1;
            std::ifstream in(path_);
            std::stringstream ss;
            ss << in.rdbuf();
            text_ = ss.str();
            std::filesystem::remove(path_);
        }
        return text_;
    }

private:
    std::filesystem::path path_;
    int saved_ = -1;
    std::string text_;
};

inline int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class UsbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Bus::instance().reset();
        dir_ = std::filesystem::temp_directory_path() / ("usb_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        closeHandle();
        sim::Bus::instance().reset();
        std::filesystem::remove_all(dir_);
    }
    void closeHandle()
    {
        if (handle)
            hid_close(handle);
        handle = nullptr;
    }
    // A one-image file; its name has no '_' so the action runs without an
    // application id.
    std::string imageFile(const tools::ImageSpec &spec, const std::string &name)
    {
        const std::string path = (dir_ / name).string();
        EXPECT_TRUE(tools::writeFile(path, {spec}));
        return path;
    }
    std::shared_ptr<sim::Surface> attach(std::vector<sim::TargetConfig> chain)
    {
        sim::SurfaceOptions o;
        o.targets = std::move(chain);
        o.offBusAfterExit = 30ms;
        return sim::Bus::instance().attach(o);
    }
    // Opens the surface into `handle` and programs the file through the HID transport.
    int program(const std::string &file)
    {
        closeHandle();
        handle = hid_open(sim::kVendorId, sim::kProductId, nullptr);
        if (!handle)
            return -100;
        CyBtldr_CommunicationsData record = transportRecord();
        return CyBtldr_Program(file.c_str(), &record, ProgressUpdate);
    }

    std::filesystem::path dir_;
};

inline tools::ImageSpec smallImage(uint32_t seed = 1)
{
    tools::ImageSpec spec;
    spec.rowCount = 2;
    spec.rowSize = 64;
    spec.seed = seed;
    return spec;
}

} // namespace usbtest

#endif

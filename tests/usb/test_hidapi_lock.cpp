// The lock around hidapi's process-wide functions, against the system's real
// hidapi (hidraw) with no surface attached. Without the lock, two threads
// opening at once free hidapi's process-wide error text twice, and one
// thread's reason is read after the other's open replaced it.
#include "hidapi_lock.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace hid = vireon::core::hid;

TEST(HidapiLock, OpensFromTwoThreadsEachKeepTheirOwnReason)
{
    ASSERT_EQ(hid::init(), 0);
    const auto openMany = [](const std::wstring &path) {
        const std::string narrow(path.begin(), path.end());
        for (int attempt = 0; attempt < 2000; ++attempt) {
            std::wstring whyNot;
            ASSERT_EQ(hid::openPath(narrow.c_str(), whyNot), nullptr);
            ASSERT_EQ(whyNot, L"Failed to open a device with path '" + path + L"': No such file or directory");
        }
    };
    std::thread window(openMany, L"/dev/vireon-no-such-node-1");
    openMany(L"/dev/vireon-no-such-node-2");
    window.join();
    EXPECT_EQ(hid::openPath("/dev/vireon-no-such-node"), nullptr);
    EXPECT_NE(hid::lastError().find(L"No such file or directory"), std::wstring::npos);
    EXPECT_EQ(hid::exit(), 0);
}

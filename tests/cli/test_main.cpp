#include <gtest/gtest.h>

#include <QCoreApplication>

#include "../private_folders.h"

int main(int argc, char **argv)
{
    const vireon::tests::PrivateFolders folders;
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

// vireon-flash's temporary folders left by runs that were killed: swept at
// the start of the next run when the process that marked them is gone;
// a live run's, an unmarked one and another user's are left alone.
#include "temporary_images.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

class RunFoldersTest : public ::testing::Test
{
protected:
    QString folder(const QString &name, const QByteArray &mark = {}) const
    {
        const QString path = temp.filePath(name);
        EXPECT_TRUE(QDir().mkdir(path));
        QFile image(path + "/stage1_image.cyacd");
        EXPECT_TRUE(image.open(QIODevice::WriteOnly) && image.write(":0000\n") > 0);
        if (!mark.isEmpty()) {
            QFile marked(path + "/.vireon-flash-process");
            EXPECT_TRUE(marked.open(QIODevice::WriteOnly) && marked.write(mark) > 0);
        }
        return path;
    }
    QStringList left() const { return QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name); }

    QTemporaryDir temp;
};

TEST_F(RunFoldersTest, FoldersOfRunsThatAreGoneAreSweptAndNoOthers)
{
    const QString live = folder("vireon-flash-Live00");
    vireon::core::markAndSweepRunFolders(live); // marked with this process
    folder("vireon-flash-Dead00", "999999999 12345\n"); // no such process
    // This process's id with another start time: a later process took the id.
    folder("vireon-flash-Reused", QByteArray::number(::getpid()) + " 1\n");
    folder("vireon-flash-NoMark");
    folder("vireon-flash-Broken", "not a process\n");
    folder("other-Dead00", "999999999 12345\n");
    if (::geteuid() == 0) { // only root can give a folder away
        const QString theirs = folder("vireon-flash-Theirs", "999999999 12345\n");
        ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 4242, 4242), 0);
    }
    const QString now = folder("vireon-flash-Now000");
    vireon::core::markAndSweepRunFolders(now);
    QStringList expected{"other-Dead00",        "vireon-flash-Broken", "vireon-flash-Live00",
                         "vireon-flash-NoMark", "vireon-flash-Now000"};
    if (::geteuid() == 0)
        expected << "vireon-flash-Theirs";
    expected.sort();
    EXPECT_EQ(left(), expected);
    QFile mark(now + "/.vireon-flash-process");
    ASSERT_TRUE(mark.open(QIODevice::ReadOnly));
    EXPECT_TRUE(mark.readAll().startsWith(QByteArray::number(::getpid()) + ' '));
}

} // namespace

// Which wrapping tool the import starts: its installed name must win over a program of the
// build name in the same folder, while a build folder earlier on PATH keeps its fresh tool.
#include "process_import.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class ToolPath : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        savedPath = qgetenv("PATH");
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    QString folder(const QString& name)
    {
        QDir(root.path()).mkpath(name);
        return root.filePath(name);
    }
    static void makeProgram(const QString& path, bool executable = true)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("#!/bin/sh\n"), 10);
        file.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            permissions |= QFile::ExeOwner;
        ASSERT_TRUE(file.setPermissions(permissions));
    }
    static void setPath(const QStringList& folders)
    {
        qputenv("PATH", QFile::encodeName(folders.join(QDir::listSeparator())));
    }

    QTemporaryDir root;
    QByteArray savedPath;
};

TEST_F(ToolPath, InstalledNameWinsInTheSameFolder)
{
    const QString bin = folder("bin");
    makeProgram(bin + "/mp4box");
    makeProgram(bin + "/orvane-mp4wrap");
    setPath({bin});
    EXPECT_EQ(Process_Import::toolProgram(), bin + "/orvane-mp4wrap");
}

TEST_F(ToolPath, EarlierFolderOnPathWinsOverTheInstalledName)
{
    const QString build = folder("build");
    const QString usr = folder("usr");
    makeProgram(build + "/mp4box");
    makeProgram(usr + "/orvane-mp4wrap");
    setPath({build, usr});
    EXPECT_EQ(Process_Import::toolProgram(), build + "/mp4box");
}

TEST_F(ToolPath, SkipsFilesThatCannotRunAndFallsBackToTheBareName)
{
    const QString bin = folder("bin");
    makeProgram(bin + "/orvane-mp4wrap", false);
    makeProgram(bin + "/mp4box");
    setPath({bin});
    EXPECT_EQ(Process_Import::toolProgram(), bin + "/mp4box");

    setPath({folder("empty")});
    EXPECT_EQ(Process_Import::toolProgram(), "mp4box");
}

} // namespace

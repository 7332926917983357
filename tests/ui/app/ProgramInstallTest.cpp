// The program as `cmake --install` lays it out, started from where it was installed.

#include "tests/ui/support/ProgramFixture.h"

#include "tests/support/ScratchMount.h"

#include <QDirIterator>
#include <QImage>

using namespace testing_support;

namespace
{

using ui_testing::ProgramTest;

// Every file below a folder with its size and time of change.
QStringList FilesBelow(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QFileInfo file(it.next());
        files << QStringLiteral("%1 %2 %3")
                     .arg(file.filePath())
                     .arg(file.size())
                     .arg(file.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

// The share of pixels both pictures have alike (at most 2 apart in each channel) where they overlap.
double AlikeShare(const QImage& a, const QImage& b)
{
    const QSize size = a.size().boundedTo(b.size());
    if (size.isEmpty())
        return 0.0;
    qint64 alike = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            alike += std::abs(qRed(p) - qRed(q)) <= 2 && std::abs(qGreen(p) - qGreen(q)) <= 2
                && std::abs(qBlue(p) - qBlue(q)) <= 2;
        }
    return double(alike) / (qint64(size.width()) * size.height());
}

// The value of a key of the desktop entry's main group.
QString EntryValue(const QString& entry, const QString& key)
{
    for (const QString& line : entry.split(u'\n'))
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1).trimmed();
    return QString();
}

TEST_F(ProgramTest, AnInstalledCopyFindsItsDataWhereverItIsAndKeepsItsUsersChangesInTheirOwnFolder)
{
    // Not even root may write on a read-only mount.
    ScratchMount root(home.path() + "/destdir", qint64(1) << 30);
    if (!root.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    QProcess install;
    QProcessEnvironment installEnvironment = QProcessEnvironment::systemEnvironment();
    installEnvironment.insert("DESTDIR", root.Folder());
    install.setProcessEnvironment(installEnvironment);
    install.start("cmake", { "--install", BinaryDir(), "--prefix", "/usr/local" });
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    const QString prefix = root.Folder() + "/usr/local";

    // The menu entry starts the installed program and names the icon the theme holds at every size.
    const QString entryPath = prefix + "/share/applications/kavrilune.desktop";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start("desktop-file-validate", { entryPath });
    ASSERT_TRUE(validate.waitForFinished(10000));
    EXPECT_EQ(validate.exitCode(), 0);
    EXPECT_EQ(validate.readAll(), QByteArray());
    const QString entry = QString::fromUtf8(ReadBytes(entryPath));
    EXPECT_TRUE(QFileInfo(prefix + "/bin/" + EntryValue(entry, "Exec").section(u' ', 0, 0)).isExecutable());
    for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256, 512 })
        EXPECT_EQ(QImage(QStringLiteral("%1/share/icons/hicolor/%2x%2/apps/%3.png")
                             .arg(prefix)
                             .arg(size)
                             .arg(EntryValue(entry, "Icon")))
                      .size(),
            QSize(size, size));

    const QString installed = prefix + "/bin/kavrilune";
    const QString userSettings = home.path() + "/data/Kavrilune/Kavrilune.xml";
    // Starts the installed program, waits for its window, gives it a picture of it and ends it.
    auto runOnce = [&](const QStringList& arguments, QImage* picture) {
        program.setProcessEnvironment(Environment());
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(installed, arguments);
        ASSERT_TRUE(program.waitForStarted(5000));
        const QString window = WaitForWindow(program, 20000);
        ASSERT_FALSE(window.isEmpty());
        if (picture) {
            RunTool("xdotool", { "mousemove", "0", "0" });
            PumpFor(500);
            *picture = Grab(window);
        }
        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
        ASSERT_TRUE(WaitForEnd(program, 10000));
        EXPECT_EQ(program.exitCode(), 0);
    };
    auto stationSaved = [&] { return QString::fromUtf8(ReadBytes(userSettings)); };

    // Where root could write into the installed folders, the user's data goes to the user's folder all
    // the same, and the install stays as it was installed.
    const QStringList asInstalled = FilesBelow(prefix);
    runOnce({ "/play", "/source=http://127.0.0.1:9/s", "/station=Installed FM" }, nullptr);
    EXPECT_TRUE(stationSaved().contains("<Station_Title>Installed FM</Station_Title>")) << stationSaved().toStdString();
    QStringList changed = FilesBelow(prefix);
    changed.removeIf([&](const QString& file) { return asInstalled.contains(file); });
    EXPECT_TRUE(changed.isEmpty()) << changed.join(u'\n').toStdString();

    // Read-only: the window wears the built-in skin from the installed data, and a change made in one
    // run is there in the next.
    ASSERT_TRUE(root.MakeReadOnly());
    QImage picture;
    runOnce({ "/play", "/source=http://127.0.0.1:9/s", "/station=Read-only FM" }, &picture);
    const QImage background(prefix + "/share/kavrilune/skins/Standard.kvn/bg.png");
    ASSERT_FALSE(background.isNull());
    EXPECT_GT(AlikeShare(picture, background), 0.2) << "the window does not show its skin";
    runOnce({}, nullptr);
    EXPECT_TRUE(stationSaved().contains("<Station_Title>Read-only FM</Station_Title>")) << stationSaved().toStdString();
    EXPECT_TRUE(QDir(home.path() + "/data/Kavrilune/Log").entryList(QDir::Files).isEmpty()) << "nothing was logged";
}

} // namespace

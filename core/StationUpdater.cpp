#include "core/StationUpdater.h"

#include "core/ErrorLog.h"
#include "core/FileVersionInfo.h"
#include "core/HttpClient.h"
#include "core/PendingFile.h"
#include "core/SeException.h"
#include "core/ServerHosts.h"
#include "core/ZipLayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>

namespace
{

const int WM_KAVRILUNE_STATIONS_UPDATER_DOWNLOADED_
    = RegisterWindowMessage("WM_KAVRILUNE_STATIONS_UPDATER_DOWNLOADED_");
// Registered for the receivers' sake; never posted.
[[maybe_unused]] const int WM_KAVRILUNE_STATIONS_UPDATER_NO_UPDATES_
    = RegisterWindowMessage("WM_KAVRILUNE_STATIONS_UPDATER_NO_UPDATES_");

constexpr qint64 kManifestReadLimit = 4000; // bytes of the manifest that are looked at
// Largest answers that are stored: the manifest is a few hundred bytes, the archive a few megabytes
// (and its item may not unpack past the zip layer's 64 MiB either).
constexpr qint64 kManifestSizeLimit = 64 << 10;
constexpr qint64 kArchiveSizeLimit = 64 << 20;
constexpr qsizetype kManifestTextLimit = 8000;
constexpr int kBlockSize = 4000; // bytes per read of a download
constexpr int kBurstMs = 1000; // a download reads this long ...
constexpr int kPauseMs = 2000; // ... then rests this long, so it never hogs the line
constexpr qsizetype kLogTextLimit = 1000;
// The names the catalogue loads (and the updater deletes when a newer file arrived), ignoring case.
const QString kStationsFilePattern = QStringLiteral("stations*.kvd");

QString WithSeparator(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('/');
    return folder;
}

// A stations file name from the manifest must name a file inside the Stations folder.
bool IsPlainFileName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && name != QStringLiteral(".")
        && name != QStringLiteral("..") && !name.contains(QChar(0));
}

// Old archives are *.zip files, deleted before the next one is fetched; the local name of an archive
// always ends so, so that it can never be taken for (or replace) a stations file or the manifest.
QString ArchiveFileName(const QString& downloadName)
{
    QString name = downloadName.mid(downloadName.lastIndexOf(QLatin1Char('/')) + 1);
    if (!name.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive))
        name += QStringLiteral(".zip");
    return name;
}

bool IsSuccessStatus(long status)
{
    return status >= 200 && status <= 299;
}

// Compared ignoring case: a file differing from the manifest's name only in case would otherwise be
// unpacked beside it, and both would be kept.
bool ContainsFileIgnoringCase(const QString& folder, const QString& name)
{
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    return std::any_of(names.begin(), names.end(),
        [&name](const QString& present) { return present.compare(name, Qt::CaseInsensitive) == 0; });
}

// A stations file name from the manifest must be one the catalogue loads: any other file would be
// unpacked beside the catalogue and the catalogue's files deleted in its favour.
bool IsStationsFileName(const QString& name)
{
    return IsPlainFileName(name) && QDir::match(kStationsFilePattern, name);
}

} // namespace

CStationUpdater::CStationUpdater()
    : m_runMutex(QStringLiteral("KAVRILUNE_STATIONS_UPDATE"))
{
}

CStationUpdater::~CStationUpdater()
{
    m_workers.CancelAndWait();
}

bool CStationUpdater::CheckForUpdates(QObject* owner, QDateTime& lastCheck, const QString& baseFolder)
{
    try {
        m_owner = owner;
        {
            QMutexLocker lock(&m_baseFolderMutex);
            m_baseFolder = WithSeparator(baseFolder);
        }
        return RunPeriodicCheck(m_runMutex, lastCheck, m_interval, [this, owner = m_owner] {
            m_workers.Start([this, owner] {
                if (Update() == 1 && !owner.isNull())
                    PostWindowMessageWhenAlive(owner, WM_KAVRILUNE_STATIONS_UPDATER_DOWNLOADED_);
            });
        });
    } catch (CSeException* e) {
        e->Log("StationUpdater", 56);
        e->Delete();
        return false;
    }
}

int CStationUpdater::Update()
{
    QString baseFolder;
    {
        QMutexLocker lock(&m_baseFolderMutex);
        baseFolder = m_baseFolder;
    }
    try {
        return UpdateIn(baseFolder);
    } catch (CSeException* e) {
        e->Delete();
    } catch (...) {
    }
    return 0;
}

int CStationUpdater::UpdateIn(const QString& baseFolder)
{
    const QString stations = WithSeparator(baseFolder) + QStringLiteral("Stations/");
    QDir().mkpath(stations);
    const QByteArray agent = ProgramAgentString();

    auto download = [&](const QString& address, const QString& path, qint64 sizeLimit) {
        QString error;
        const qint64 bytes = DownloadFile(agent, address, path, sizeLimit, &error);
        if (bytes == 0 && !error.isEmpty() && !m_workers.CancelFlag()->load())
            WriteErrorLog("StationUpdater", 259, error.left(kLogTextLimit));
        return bytes;
    };

    const QString manifestPath = stations + QStringLiteral("stations.kvdx");
    if (download(GetWebHost() + QStringLiteral("/kvdbms/stations.kvdx"), manifestPath, kManifestSizeLimit) == 0)
        return 0;
    const QString manifest = ReadManifest(manifestPath);

    const QString fileName = GetManifestValue(manifest, QStringLiteral("<BaseFile>"), QStringLiteral("<FileName>"));
    if (!IsStationsFileName(fileName))
        return 0;
    if (ContainsFileIgnoringCase(stations, fileName))
        return 0; // the catalogue is current
    const QString downloadName
        = GetManifestValue(manifest, QStringLiteral("<BaseFile>"), QStringLiteral("<DownloadName>"));
    if (downloadName.isEmpty())
        return 0;

    DeleteMatching(stations, QStringLiteral("*.zip"), QString());
    const QString archiveName = ArchiveFileName(downloadName);
    if (!IsPlainFileName(archiveName))
        return 0;
    const QString archivePath = stations + archiveName;
    if (download(downloadName, archivePath, kArchiveSizeLimit) == 0)
        return 0;

    if (!UnpackStationsFile(archivePath, stations, fileName))
        return 0;
    DeleteMatching(stations, kStationsFilePattern, fileName);
    return 1;
}

// The first item is unpacked under a name of our own and takes its real name only once it unpacked
// whole and checked out, so that a bad archive leaves neither a partial file nor a name that would make
// the next update think the catalogue is current.
bool CStationUpdater::UnpackStationsFile(
    const QString& archivePath, const QString& stationsFolder, const QString& fileName)
{
    ZipHandle* zip = OpenZip(archivePath, nullptr);
    if (!zip)
        return false;
    SetUnzipBaseDir(zip, stationsFolder);
    CPendingFile unpacked;
    ZipEntry entry;
    bool ok = GetZipItem(zip, 0, &entry) == ZIP_OK && entry.name.compare(fileName, Qt::CaseInsensitive) == 0
        && unpacked.Create(stationsFolder);
    if (ok) {
        unpacked.Close();
        ok = UnzipItem(zip, 0, unpacked.FileName()) == ZIP_OK
            && QFileInfo(unpacked.Path()).size() == qint64(entry.uncompressedSize);
    }
    CloseZip(zip);
    return ok && unpacked.CommitAs(stationsFolder + entry.name);
}

qint64 CStationUpdater::DownloadFile(
    const QByteArray& agent, const QString& address, const QString& localPath, qint64 sizeLimit, QString* error)
{
    const QString folder = localPath.left(localPath.lastIndexOf(QLatin1Char('/')) + 1);
    CPendingFile file;
    if (!file.Create(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create a file in %1: %2").arg(folder, qt_error_string(errno));
        return 0;
    }
    CHttpClient::Request request;
    request.url = address;
    request.agent = agent;
    request.noCache = true;
    request.blockSize = kBlockSize;
    request.burstMs = kBurstMs;
    request.pauseMs = kPauseMs;
    request.sizeLimit = sizeLimit;
    request.cancel = m_workers.CancelFlag();
    const CHttpClient::Result result
        = CHttpClient::Get(request, [&file](const char* data, qint64 size) { return file.Write(data, size); });
    // An answer that is not the file (an error page, a body past the limit) is refused without a reason
    // to log; a body cut short (closed connection, time-out, full disk) is a failed transfer.
    if (result.tooLarge || (result.ok && !IsSuccessStatus(result.status)))
        return 0;
    if (!result.ok) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(address, result.error);
        return 0;
    }
    if (result.bytes == 0)
        return 0;
    if (!file.CommitAs(localPath)) {
        if (error)
            *error = QStringLiteral("Cannot store %1: %2").arg(localPath, qt_error_string(errno));
        return 0;
    }
    return result.bytes;
}

QString CStationUpdater::ReadManifest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.read(kManifestReadLimit);
    // A byte-order mark stays in the text as its first character, so that an outer tag right after it
    // counts like one after a line break.
    QStringDecoder utf8(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    text.truncate(kManifestTextLimit);
    return text;
}

QString CStationUpdater::GetManifestValue(const QString& text, const QString& outerTag, const QString& innerTag)
{
    const qsizetype outer = text.indexOf(outerTag);
    if (outer < 1)
        return QString();
    const qsizetype inner = text.indexOf(innerTag, outer);
    if (inner < 0)
        return QString();
    const qsizetype valueStart = inner + innerTag.size();
    const qsizetype valueEnd = text.indexOf(QStringLiteral("</"), valueStart);
    if (valueEnd < 0)
        return QString();
    return text.mid(valueStart, valueEnd - valueStart);
}

void CStationUpdater::DeleteMatching(const QString& folder, const QString& pattern, const QString& keptName)
{
    QDir dir(folder);
    const QStringList names = dir.entryList({ pattern }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!keptName.isEmpty() && name.compare(keptName, Qt::CaseInsensitive) == 0)
            continue;
        dir.remove(name);
    }
}

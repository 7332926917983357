#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace testing_support
{

// One item of an archive built by a test.
struct TestZipItem {
    QByteArray name; // stored name bytes, exactly as given (up to a NUL)
    QByteArray data;
    int hostSystem = 0; // high byte of "version made by": 0 DOS, 3 Unix
    uint32_t externalAttributes = 0; // DOS bits in the low byte, Unix mode in the high word
    QDateTime modified = QDateTime(QDate(2021, 6, 15), QTime(12, 30, 10), Qt::LocalTime);
    // An extended-timestamp block in the local extra field with the times that are set (Unix seconds).
    std::optional<int32_t> extendedModified, extendedAccessed, extendedCreated;
    QByteArray extraLocal; // further raw local extra-field blocks, written before the timestamp
    bool compress = true;
    const char* password = nullptr; // traditional encryption when set
};

// Writes zip archives with minizip's writer, including broken and hostile ones.
class TestZipWriter
{
public:
    explicit TestZipWriter(const QString& path);
    ~TestZipWriter();
    TestZipWriter(const TestZipWriter&) = delete;
    TestZipWriter& operator=(const TestZipWriter&) = delete;

    bool IsOpen() const { return m_zip != nullptr; }
    bool Add(const TestZipItem& item);
    // An item of size zero bytes, compressed as it is streamed in (a zip bomb when large).
    bool AddZeros(const QByteArray& name, uint64_t size);
    // An item whose stored sizes and CRC lie: its data inflates to realSize zero bytes, while the headers
    // claim declaredSize bytes with the given CRC.
    bool AddLyingZeros(const QByteArray& name, uint64_t realSize, uint64_t declaredSize, uint32_t crc);
    bool Close();

    // Unix mode bits as external attributes (0100644 for a plain file readable by all, writable by its owner).
    static uint32_t UnixAttributes(uint32_t mode) { return mode << 16; }

private:
    void* m_zip = nullptr;
};

// A zip holding one item of that name and data, such as a skin package ("Dusk.kvn/skin.kvn").
bool WriteOneItemZip(const QString& path, const QByteArray& name, const QByteArray& data);

} // namespace testing_support

#pragma once

#include <QByteArray>
#include <cstdint>
#include <minizip/unzip.h>
#include <optional>
#include <vector>
#include <zlib.h>

// Reads the plain bytes of the archive's current item. Items with traditional zip encryption are
// decrypted here (the system's minizip is built without decryption); all others are left to minizip.
class CZipItemReader
{
public:
    enum class OpenResult { ok, badHeader, wrongPassword };

    CZipItemReader(unzFile archive, const unz_file_info64& info);
    ~CZipItemReader();
    CZipItemReader(const CZipItemReader&) = delete;
    CZipItemReader& operator=(const CZipItemReader&) = delete;

    // Opens the item's data; an encrypted item needs the password, whose check byte must match.
    OpenResult Open(const QByteArray* password);
    // Up to size plain bytes; 0 at the end of the data, negative on a data error.
    int Read(char* out, unsigned size);
    // Closes the item's data; false when the checksum of the bytes read does not match.
    bool Finish();

private:
    class Decryptor
    {
    public:
        explicit Decryptor(const QByteArray& password);
        uint8_t Decrypt(uint8_t cipher);

    private:
        void Update(uint8_t plain);
        uint32_t m_keys[3];
    };

    int ReadRaw(char* out, unsigned size);
    int ReadInflated(char* out, unsigned size);

    unzFile m_archive;
    const unz_file_info64& m_info;
    bool m_open = false;
    bool m_encrypted = false;
    std::optional<Decryptor> m_decryptor;
    bool m_inflating = false;
    bool m_rawEnded = false;
    bool m_streamEnded = false;
    z_stream m_stream {};
    std::vector<char> m_input;
    uLong m_crc = 0;
};

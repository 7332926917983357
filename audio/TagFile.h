#pragma once

#include <QString>
#include <array>
#include <cstdint>

// The ID3v1 tag of an MP3 file: the 128-byte block at its very end ("TAG", title, artist, album, year,
// comment with a track byte, genre). Texts are Windows-1252 in fixed-width fields, unused bytes 0.
//
// Open reads an existing tag; a file without one gets a new block that WriteTag appends. File errors
// never leave this class: a failing Open returns -1, a failing WriteTag just closes the file.
class CTagFile
{
public:
    CTagFile();
    ~CTagFile();

    CTagFile(const CTagFile&) = delete;
    CTagFile& operator=(const CTagFile&) = delete;

    // Opens for reading and writing when allowed, else for reading only. 0 on success, -1 on failure
    // (also for a file shorter than 128 bytes, and for a path that is no regular file).
    int Open(const QString& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Each setter stores the text and puts its Windows-1252 form into the field, cut to the field's
    // width (30 bytes, 28 for the comment); a text that fills the field has no terminating zero.
    void SetTitle(const QString& text);
    void SetArtist(const QString& text);
    void SetAlbum(const QString& text);
    void SetComment(const QString& text);

    // Writes the block where the tag was found, or appends it to an untagged file.
    void WriteTag();

    QString GetTitle() const { return m_title; }
    QString GetArtist() const { return m_artist; }
    QString GetAlbum() const { return m_album; }
    QString GetComment() const { return m_comment; }

    static constexpr int kTagSize = 128;

private:
    void SetField(int offset, int width, const QString& text);
    QString DecodeField(int offset, int width) const;
    void CloseQuietly();

    int m_fd = -1;
    qint64 m_fileLength = 0;
    qint64 m_tagPosition = 0;
    QString m_title;
    QString m_artist;
    QString m_album;
    QString m_year;
    QString m_comment;
    std::array<uint8_t, kTagSize> m_block {};
};

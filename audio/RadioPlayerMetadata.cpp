// What a stream says about itself: song titles, the station's name, the title history, the bitrate.

#include "audio/RadioPlayer.h"

#include "audio/TagFile.h"
#include "core/CodePage.h"

#include "core/SeException.h"

#include <QStringDecoder>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

namespace
{

constexpr int kMaxTagItemBytes = 256; // an item this long or longer ends the reading
constexpr int kMaxTagTextUnits = 1024;

constexpr char kKeyDelimiters[] = "=,:; ";
const QString kStreamTitleTrim = QStringLiteral(":',.");
const QString kTitleTrim = QStringLiteral(":',.-_ ");
const QString kStreamNameTrim = QStringLiteral(" \t\n\r");
const QString kTitleCompareIgnored = QStringLiteral(" -*_.,");

// Strict UTF-8: false for any invalid, overlong or surrogate sequence.
bool DecodeUtf8Strictly(const char* bytes, int length, QString& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(QByteArrayView(bytes, length));
    return !decoder.hasError() && text.size() <= kMaxTagTextUnits;
}

bool IsDelimiter(QChar c, const char* delimiters)
{
    return c.unicode() < 0x80 && c.unicode() && std::strchr(delimiters, char(c.unicode()));
}

// Removes every character of chars from both ends.
QString TrimAny(const QString& text, const QString& chars)
{
    int begin = 0;
    int end = int(text.size());
    while (begin < end && chars.contains(text.at(begin)))
        ++begin;
    while (end > begin && chars.contains(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The first token delimited by any of delimiters, leading delimiters skipped; next receives the
// position after the delimiter that ended it (past the end when none did).
QString FirstToken(const QString& text, const char* delimiters, int& next)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && IsDelimiter(text.at(i), delimiters))
        ++i;
    const int start = i;
    while (i < n && !IsDelimiter(text.at(i), delimiters))
        ++i;
    next = i + 1;
    return text.mid(start, i - start);
}

// A decimal number after optional white space and sign, up to the first other character; 0 for none.
int ParseInteger(const QString& text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        negative = text.at(i++) == u'-';
    long long value = 0;
    for (; i < n && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10 + (text.at(i).unicode() - u'0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Every run of control characters (line breaks, tabs, escapes, C1 codes) becomes one blank: titles go
// to the window, the tray and recording file names.
QString WithoutControlCharacters(const QString& text)
{
    auto isControl = [](QChar c) { return c.category() == QChar::Other_Control; };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString clean;
    clean.reserve(text.size());
    bool inRun = false;
    for (QChar c : text) {
        if (!isControl(c))
            clean += c;
        else if (!inRun)
            clean += u' ';
        inRun = isControl(c);
    }
    return clean;
}

// What the title comparison sees of a text: without blanks and the punctuation it ignores, case-folded.
QString TitleKey(const QString& text)
{
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (!kTitleCompareIgnored.contains(c))
            kept.append(c);
    }
    return kept.toCaseFolded();
}

struct TagField {
    QString key;
    QString value;
};

// The key-value items of a tag, at most a pass's worth; items without a value are left out.
std::vector<TagField> ReadTagFields(const char* tag)
{
    std::vector<TagField> fields;
    QString item;
    int read = 0;
    for (const char* position = tag;
         read < RadioPlayer::kMaxTagItemsPerPass && (position = RadioPlayer::ReadTagItem(position, item)); ++read) {
        TagField field;
        if (RadioPlayer::SplitKeyValue(item, field.key, field.value))
            fields.push_back(std::move(field));
    }
    return fields;
}

int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t ReadBigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t ReadLittleEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

// --- pure helpers ---

QString RadioPlayer::DecodeTagText(const char* bytes, int length)
{
    QString text;
    if (DecodeUtf8Strictly(bytes, length, text))
        return text;
    return DecodeAnsi(QByteArrayView(bytes, length));
}

QString RadioPlayer::UrlDecodeTagText(const QString& text)
{
    if (!text.contains(u'%'))
        return text;
    // Each run of escapes is one byte sequence: UTF-8 when it is valid as such, else one code-page
    // character a byte. "?" and "#" are text here, and a "%" without two hex digits stays as it is.
    // A decoded null ends the text, as it would end the item.
    QString decoded;
    decoded.reserve(text.size());
    const int n = int(text.size());
    for (int i = 0; i < n;) {
        QByteArray run;
        while (i + 2 < n && text.at(i) == u'%' && IsHexDigit(text.at(i + 1)) && IsHexDigit(text.at(i + 2))) {
            run.append(char(text.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 3;
        }
        if (!run.isEmpty()) {
            const int end = run.indexOf('\0');
            if (end >= 0)
                run.truncate(end);
            QString part;
            if (!DecodeUtf8Strictly(run.constData(), int(run.size()), part))
                part = DecodeAnsi(run);
            decoded += part;
            if (end >= 0)
                return decoded;
            continue;
        }
        decoded += text.at(i++);
    }
    return decoded;
}

const char* RadioPlayer::ReadTagItem(const char* position, QString& item)
{
    if (!position)
        return nullptr;
    const size_t length = strnlen(position, kMaxTagItemBytes);
    if (length == 0 || length >= size_t(kMaxTagItemBytes))
        return nullptr;
    item = WithoutControlCharacters(UrlDecodeTagText(DecodeTagText(position, int(length))));
    return position + length + 1;
}

bool RadioPlayer::SplitKeyValue(const QString& item, QString& key, QString& value)
{
    int next = 0;
    key = FirstToken(item, kKeyDelimiters, next).toUpper();
    value = next < item.size() ? item.mid(next).trimmed() : QString();
    return !value.isEmpty();
}

bool RadioPlayer::TitlesEqual(const QString& a, const QString& b)
{
    return TitleKey(a) == TitleKey(b);
}

QString RadioPlayer::ComposeTitle(QString& title, QString& artist)
{
    title = TrimAny(title, kTitleTrim);
    artist = TrimAny(artist, kTitleTrim);

    QString composed = artist;
    if (!title.isEmpty()) {
        if (!composed.isEmpty())
            composed += QStringLiteral(" - ");
        composed += title;
    }
    if (!composed.contains(QStringLiteral(" - "))) {
        const int hyphen = int(composed.indexOf(u'-'));
        if (hyphen >= 0)
            composed = composed.left(hyphen) + QStringLiteral(" - ") + composed.mid(hyphen + 1);
    }
    const int separator = int(composed.indexOf(QStringLiteral(" - ")));
    if (separator >= 0) {
        artist = composed.left(separator);
        title = composed.mid(separator + 3);
    } else {
        artist.clear();
        title = composed;
    }
    return composed;
}

int RadioPlayer::Mp3BitrateOf(const uint8_t* block, int length)
{
    if (!block || length < 4)
        return -1;
    for (int i = 0; i < length - 6; ++i) {
        const uint32_t word = ReadBigEndian32(block + i);
        if ((word & 0xFFE00000u) != 0xFFE00000u)
            continue;
        const int version = 4 - int((word >> 19) & 3);
        const int layer = 4 - int((word >> 17) & 3);
        const int index = int((word >> 12) & 15);
        if (layer != 3)
            return -1;
        if (version == 1) {
            if (index <= 5)
                return 8 * index + 24;
            if (index <= 9)
                return 16 * index - 16;
            if (index <= 13)
                return 32 * (index - 5);
            return 320;
        }
        if (version == 2)
            return index <= 8 ? 8 * index : 16 * (index - 4);
        return -1;
    }
    return -1;
}

int RadioPlayer::VorbisBitrateOf(const uint8_t* block, int length)
{
    if (!block || length <= 56 || std::memcmp(block + 29, "vorb", 4) != 0)
        return -1;
    return int(ReadLittleEndian32(block + 48) / 4000 * 4);
}

QString RadioPlayer::CodecName(uint32_t streamType)
{
    switch (streamType) {
    case AUDIO_CTYPE_OGG:
        return QStringLiteral("OGG");
    case AUDIO_CTYPE_MP1:
        return QStringLiteral("MP1");
    case AUDIO_CTYPE_MP2:
        return QStringLiteral("MP2");
    case AUDIO_CTYPE_MP3:
        return QStringLiteral("MP3");
    case AUDIO_CTYPE_WMA:
    case AUDIO_CTYPE_WMA_MP3:
        return QStringLiteral("WMA");
    case AUDIO_CTYPE_AAC:
        return QStringLiteral("AAC");
    case AUDIO_CTYPE_MP4:
        return QStringLiteral("MP4");
    case AUDIO_CTYPE_WAV:
    case AUDIO_CTYPE_WAV_PCM:
    case AUDIO_CTYPE_WAV_FLOAT:
        return QStringLiteral("WAV");
    default:
        return QString();
    }
}

// --- tag readers ---

void RadioPlayer::ReadMetaTag(const char* tag)
{
    QString item;
    if (!ReadTagItem(tag, item))
        return;
    QString key;
    QString value;
    if (SplitKeyValue(item, key, value))
        OnMetaStreamTitle(key, value);
}

void RadioPlayer::OnMetaStreamTitle(const QString& key, const QString& value)
{
    if (key != QLatin1String("STREAMTITLE"))
        return;
    int next = 0;
    const QString title = TrimAny(FirstToken(value, ";", next), kStreamTitleTrim);
    // A title of nothing but blanks and punctuation would only leave an empty line in the history.
    if (TrimAny(title, kTitleTrim).isEmpty())
        return;
    std::lock_guard lock(m_textLock);
    AddTitleToHistory(title);
    SetTitle(title, QString());
}

// The tag readers decode their items first and take the text lock only to apply them, so that the
// window's getters never wait for the decoding.

void RadioPlayer::ReadOggTags(const char* tag)
{
    const std::vector<TagField> fields = ReadTagFields(tag);
    std::lock_guard lock(m_textLock);
    QString title;
    QString artist;
    for (const auto& [key, value] : fields) {
        if (key == QLatin1String("TITLE")) {
            AddTitleToHistory(value);
            title = value;
            SetTitle(title, artist);
        } else if (key == QLatin1String("ARTIST")) {
            AddTitleToHistory(value);
            artist = value;
        } else if (key == QLatin1String("ALBUM")) {
            m_album = value;
            AddTitleToHistory(QStringLiteral("Album - ") + value);
        }
    }
}

void RadioPlayer::ReadIcyHeaders(const char* tag)
{
    const std::vector<TagField> fields = ReadTagFields(tag);
    std::lock_guard lock(m_textLock);
    for (const auto& [key, value] : fields) {
        if (key == QLatin1String("CURRENTBITRATE")) {
            if (m_bitrate.load() == 0)
                SetBitrate(ParseInteger(value) / 4000 * 4);
        } else if (key == QLatin1String("ICY-BR")) {
            if (m_bitrate.load() == 0)
                SetBitrate(ParseInteger(value));
        } else if (key == QLatin1String("ICY-NAME")) {
            AddTitleToHistory(value);
            SetStreamName(value);
        } else if (key == QLatin1String("ICY-DESCRIPTION") || key == QLatin1String("ICY-URL")
            || key == QLatin1String("AUTHOR")) {
            AddTitleToHistory(value);
        } else if (key == QLatin1String("ICY-GENRE")) {
            AddTitleToHistory(QStringLiteral("Genre - ") + value);
        }
    }
}

void RadioPlayer::ReadWmaTags(const char* tag)
{
    QString item;
    if (!ReadTagItem(tag, item))
        return;
    QString key;
    QString value;
    if (!SplitKeyValue(item, key, value) || key != QLatin1String("DATA"))
        return;

    std::lock_guard lock(m_textLock);
    QString title;
    QString artist;
    for (int position = 0; position < value.size();) {
        int next = 0;
        const QString piece = FirstToken(value.mid(position), "&", next);
        if (piece.isEmpty())
            break;
        position += next;
        QString pieceKey;
        QString pieceValue;
        if (!SplitKeyValue(piece, pieceKey, pieceValue))
            continue;
        if (pieceKey == QLatin1String("TITLE")) {
            AddTitleToHistory(pieceValue);
            title = pieceValue;
            SetTitle(title, artist);
        } else if (pieceKey == QLatin1String("ARTIST")) {
            AddTitleToHistory(pieceValue);
            artist = pieceValue;
        } else if (pieceKey == QLatin1String("ALBUM")) {
            m_album = pieceValue;
            AddTitleToHistory(QStringLiteral("Album - ") + pieceValue);
        } else if (pieceKey == QLatin1String("MMSS")) {
            AddTitleToHistory(QStringLiteral("Duration - ") + pieceValue);
        }
    }
}

void RadioPlayer::ReadLocalFileTag(const QString& path)
{
    CTagFile tag;
    if (tag.Open(path) != 0)
        return;
    const QString title = WithoutControlCharacters(tag.GetTitle());
    const QString artist = WithoutControlCharacters(tag.GetArtist());
    const QString album = WithoutControlCharacters(tag.GetAlbum());
    tag.Close();

    std::lock_guard lock(m_textLock);
    SetTitle(title, artist);
    SetStreamName(title);
    m_stationName = title;
    OnNewStream();
    m_album = album;
    AddTitleToHistory(album);
}

void RadioPlayer::ReadTagsAndNotify()
{
    const AudioStream channel = m_channel.load();
    ChannelLock lock(channel);
    if (!lock.Locked())
        return;
    ReadMetaTag(BASS_ChannelGetTags(channel, AUDIO_TAG_META));
    ReadOggTags(BASS_ChannelGetTags(channel, AUDIO_TAG_OGG));
    ReadIcyHeaders(BASS_ChannelGetTags(channel, AUDIO_TAG_ICY));
    ReadIcyHeaders(BASS_ChannelGetTags(channel, AUDIO_TAG_HTTP));
    PostTagsRead();
}

void RadioPlayer::ReadWmaTagsAndNotify()
{
    const AudioStream channel = m_channel.load();
    ChannelLock lock(channel);
    if (!lock.Locked())
        return;
    ReadWmaTags(BASS_ChannelGetTags(channel, AUDIO_TAG_WMA_META));
    PostTagsRead();
}

void RadioPlayer::PostTagsRead()
{
    // A station may send its metadata hundreds of times a second; what a pass changes goes out as
    // 14 and 16 anyway, so the window needs no more than a few of these a second.
    const int64_t now = SteadyMs();
    if (m_tagsReadPostedMs != 0 && now - m_tagsReadPostedMs < kTagsReadStatusIntervalMs)
        return;
    m_tagsReadPostedMs = now;
    PostStatus(PlayerStatusTagsRead);
}

void RadioPlayer::MetaSyncProc(AudioSync, uint32_t channel, uint32_t, void* user)
{
    InstallSeTranslator();
    auto* player = static_cast<RadioPlayer*>(user);
    ChannelLock lock(channel);
    if (!lock.Locked() || !player)
        return;
    try {
        player->ReadTagsAndNotify();
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

void RadioPlayer::WmaMetaSyncProc(AudioSync, uint32_t channel, uint32_t, void* user)
{
    InstallSeTranslator();
    auto* player = static_cast<RadioPlayer*>(user);
    ChannelLock lock(channel);
    if (!lock.Locked() || !player)
        return;
    try {
        player->ReadWmaTagsAndNotify();
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

// --- titles and history ---

void RadioPlayer::SetTitle(const QString& title, const QString& artist)
{
    QString songTitle = title;
    QString songArtist = artist;
    const QString composed = ComposeTitle(songTitle, songArtist);

    std::lock_guard lock(m_textLock);
    if (composed.isEmpty() || TitlesEqual(composed, m_currentTitle))
        return;
    m_currentTitle = composed;
    OnNewStream();
    m_artist = songArtist;
    m_songTitle = songTitle;
}

void RadioPlayer::OnNewStream()
{
    {
        std::lock_guard lock(m_textLock);
        m_titleHistory.clear();
        m_historyKeys.clear();
        m_songTitle.clear();
        m_artist.clear();
        m_album.clear();
        if (!m_stationName.isEmpty())
            AddTitleToHistory(m_stationName);
        AddTitleToHistory(m_currentTitle);
    }
    m_recorder.ClearPreBuffer();
    PostStatus(PlayerStatusNewStreamTitle);
}

void RadioPlayer::AddTitleToHistory(const QString& text)
{
    QString key = TitleKey(text);
    std::lock_guard lock(m_textLock);
    // A full history keeps its first entries: the station and the current title come first.
    if (m_titleHistory.size() >= kMaxHistoryEntries || m_historyKeys.contains(key))
        return;
    m_titleHistory.append(text);
    m_historyKeys.insert(std::move(key));
}

bool RadioPlayer::HistoryContains(const QString& text) const
{
    const QString key = TitleKey(text);
    std::lock_guard lock(m_textLock);
    return m_historyKeys.contains(key);
}

void RadioPlayer::SetStreamName(const QString& name)
{
    const QString trimmed = TrimAny(name, kStreamNameTrim);
    if (trimmed.isEmpty())
        return;
    std::lock_guard lock(m_textLock);
    m_streamName = trimmed;
}

QString RadioPlayer::GetStreamName() const
{
    std::lock_guard lock(m_textLock);
    return m_currentTitle;
}

QString RadioPlayer::GetNextTitle()
{
    std::lock_guard lock(m_textLock);
    if (m_titleHistory.isEmpty())
        return QString();
    // The history may have shrunk since the last call (a new title empties it).
    if (++m_historyCursor >= m_titleHistory.size() || m_historyCursor < 0)
        m_historyCursor = 0;
    return m_titleHistory.at(m_historyCursor);
}

QString RadioPlayer::GetStationName() const
{
    std::lock_guard lock(m_textLock);
    return m_stationName;
}

QString RadioPlayer::GetOwnStreamName() const
{
    std::lock_guard lock(m_textLock);
    return m_streamName;
}

QString RadioPlayer::GetArtist() const
{
    std::lock_guard lock(m_textLock);
    return m_artist;
}

QString RadioPlayer::GetSongTitle() const
{
    std::lock_guard lock(m_textLock);
    return m_songTitle;
}

QString RadioPlayer::GetAlbum() const
{
    std::lock_guard lock(m_textLock);
    return m_album;
}

QStringList RadioPlayer::GetTitleHistory() const
{
    std::lock_guard lock(m_textLock);
    return m_titleHistory;
}

QString RadioPlayer::GetInfoText() const
{
    return CodecName(GetChannelType());
}

// --- bitrate ---

int RadioPlayer::GetBitrate() const
{
    const int bitrate = m_bitrate.load();
    return bitrate > 0 ? bitrate : 0;
}

void RadioPlayer::SetBitrate(int kbps)
{
    const int previous = m_bitrate.exchange(kbps);
    if (previous != kbps)
        PostStatus(PlayerStatusBitrateChanged);
    m_bitrateKnown = true;
    m_recorder.SetBitrate(kbps);
}

void RadioPlayer::ParseMp3Bitrate(const void* block, int length)
{
    const int kbps = Mp3BitrateOf(static_cast<const uint8_t*>(block), length);
    if (kbps >= 0)
        SetBitrate(kbps);
}

void RadioPlayer::ParseVorbisBitrate(const void* block, int length)
{
    const int kbps = VorbisBitrateOf(static_cast<const uint8_t*>(block), length);
    if (kbps >= 0)
        SetBitrate(kbps);
}

#include "core/XMLSettings.h"

#include "core/ErrorLog.h"
#include "core/MessageBox.h"
#include "core/NamedMutex.h"
#include "core/SeException.h"

#include <BuildInfo.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QThread>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <cxxabi.h>
#include <map>
#include <pugixml.hpp>
#include <sys/file.h>
#include <unistd.h>

namespace
{

const char* const SOURCE_NAME = "XMLSettings.cpp";

// The document a missing file starts from.
const char TEMPLATE_TEXT[] = "<?xml version=\"1.0\" ?><XMLConfigSettings></XMLConfigSettings>";

// Everything in the file is kept (declaration, comments, white space between elements) so that a
// hand-edited file survives a load and save. Fragment mode keeps what lies outside the root element,
// which lets the loader reject files that are not a single well-formed document. pugixml never
// resolves entities or fetches external references and never validates.
constexpr unsigned PARSE_OPTIONS = pugi::parse_full | pugi::parse_ws_pcdata | pugi::parse_fragment;
constexpr unsigned SAVE_OPTIONS = pugi::format_raw | pugi::format_no_declaration;

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A file of nothing but white space (after a byte order mark, if any) holds no settings at all.
bool IsBlank(const QByteArray& bytes)
{
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (qsizetype i = start; i < bytes.size(); ++i)
        if (!IsXmlSpace(bytes[i]))
            return false;
    return true;
}

// How long a process waits for another one to finish with the settings file before it goes on alone.
// A process of the program holds the lock for milliseconds; one that keeps it longer is stuck.
constexpr int kFileLockWaitMs = 2000;
constexpr int kFileLockPollMs = 5;

bool IsNameStartChar(char32_t c)
{
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6)
        || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D)
        || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F)
        || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF)
        || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c)
{
    return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7
        || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool IsXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Walks the code points of a string; a lone surrogate is reported as 0xFFFFFFFF (valid nowhere).
template <typename Check> bool AllCodePoints(const QString& text, Check check)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            c = 0xFFFFFFFF;
        }
        if (!check(c, i == 0))
            return false;
    }
    return true;
}

bool IsValidXmlText(const QString& text)
{
    return AllCodePoints(text, [](char32_t c, bool) { return IsXmlChar(c); });
}

// Tab, line feed and carriage return are XML characters, but the parser turns CR into LF, and none of
// them belongs in a one-line value.
bool IsStorableChar(char32_t c)
{
    return c >= 0x20 && IsXmlChar(c);
}

// Like wcstol with base 10 and a 32-bit long: leading white space, an optional sign, decimal digits up to
// the first other character; no digits give 0, values beyond the range are clamped.
int32_t ParseLong(QStringView text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < size && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1;
    }
    if (negative)
        return value > INT32_MAX ? INT32_MIN : int32_t(-value);
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

int32_t ClampToInt32(int64_t value)
{
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : int32_t(value);
}

// Line and column of a byte offset, for the reason of a parse error.
QString PositionText(const QByteArray& buffer, ptrdiff_t offset)
{
    if (offset < 0 || offset > buffer.size())
        return QString();
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < qsizetype(offset); ++i) {
        if (buffer.at(i) == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return QStringLiteral(" at line %1, column %2").arg(line).arg(offset - lineStart + 1);
}

// What makes a fragment more than one well-formed document, or an empty reason.
QString DocumentLevelError(const pugi::xml_document& document, const QByteArray& buffer)
{
    int elements = 0;
    bool first = true;
    for (const pugi::xml_node& node : document.children()) {
        QString reason;
        switch (node.type()) {
        case pugi::node_element:
            if (++elements > 1)
                reason = QStringLiteral("Only one top level element is allowed");
            break;
        case pugi::node_declaration:
            if (!first)
                reason = QStringLiteral("The XML declaration must be at the start of the document");
            break;
        case pugi::node_doctype:
            if (elements > 0)
                reason = QStringLiteral("The document type declaration must come before the root element");
            break;
        case pugi::node_pcdata:
            for (const char* c = node.value(); *c && reason.isEmpty(); ++c)
                if (!IsXmlSpace(*c))
                    reason = QStringLiteral("Text is not allowed outside the root element");
            break;
        case pugi::node_cdata:
            reason = QStringLiteral("Text is not allowed outside the root element");
            break;
        default: // comments and processing instructions
            break;
        }
        if (!reason.isEmpty())
            return reason + PositionText(buffer, node.offset_debug());
        first = false;
    }
    return elements == 0 ? QStringLiteral("No document element found") : QString();
}

// The text of an element: all text below it in document order. Walks without recursion, so that a
// deeply nested file cannot exhaust the stack.
QString ElementText(const pugi::xml_node& element)
{
    const pugi::xml_node only = element.first_child();
    if (!only)
        return QString();
    if (!only.next_sibling() && (only.type() == pugi::node_pcdata || only.type() == pugi::node_cdata))
        return QString::fromUtf8(only.value());

    QByteArray text;
    pugi::xml_node node = only;
    while (node) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            text += node.value();
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != element && !node.next_sibling())
            node = node.parent();
        if (node == element)
            break;
        node = node.next_sibling();
    }
    return QString::fromUtf8(text);
}

// pugixml frees a removed subtree recursively; taking it apart from the deepest node up keeps a deeply
// nested element from exhausting the stack.
void RemoveAllChildren(pugi::xml_node element)
{
    pugi::xml_node node = element;
    for (;;) {
        if (pugi::xml_node last = node.last_child()) {
            node = last;
            continue;
        }
        if (node == element)
            return;
        pugi::xml_node parent = node.parent();
        parent.remove_child(node);
        node = parent;
    }
}

class ByteArrayWriter : public pugi::xml_writer
{
public:
    void write(const void* data, size_t size) override
    {
        bytes.append(static_cast<const char*>(data), qsizetype(size));
    }
    QByteArray bytes;
};

// The document is written as UTF-8, so the declaration keeps only its version, its standalone value
// and a UTF-8 encoding. The parser takes any "encoding" text in the declaration for the encoding, even
// inside another attribute: such an attribute goes too, or the saved file would read back garbled.
void DeclareUtf8(pugi::xml_document& document)
{
    for (pugi::xml_node node : document.children()) {
        if (node.type() != pugi::node_declaration)
            continue;
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute;) {
            const pugi::xml_attribute next = attribute.next_attribute();
            const QString name = QString::fromUtf8(attribute.name());
            const QString value = QString::fromUtf8(attribute.value()).toLower();
            const bool keep = name == QLatin1String("encoding")
                ? value == QLatin1String("utf-8") || value == QLatin1String("utf8")
                : (name == QLatin1String("version") || name == QLatin1String("standalone"))
                    && !value.contains(QLatin1String("encoding"));
            if (!keep)
                node.remove_attribute(attribute);
            attribute = next;
        }
        if (!node.attribute("version"))
            node.prepend_attribute("version") = "1.0";
        return;
    }
}

// Writes the whole document to a temporary file beside the target and renames it over the target, so
// that a reader never sees half a file and a failed write leaves the old file in place.
bool WriteDocument(pugi::xml_document& document, const QString& path)
{
    DeclareUtf8(document);
    ByteArrayWriter writer;
    document.save(writer, "", SAVE_OPTIONS, pugi::encoding_utf8);
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(writer.bytes) != writer.bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString FormatTime(std::time_t time)
{
    std::tm local {};
    if (!localtime_r(&time, &local))
        return QString();
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%Y/%m/%d/%H/%M", &local);
    return QString::fromLatin1(text, qsizetype(length));
}

struct ScreenScale {
    QMutex mutex;
    ScreenPixelsPerInchProvider provider; // guarded by mutex
    bool measured = false; // guarded by mutex
    double horizontal = 1.0; // guarded by mutex
    double vertical = 1.0; // guarded by mutex
};

ScreenScale& Scale()
{
    static ScreenScale scale;
    return scale;
}

std::pair<double, double> ScaleFactors()
{
    ScreenScale& scale = Scale();
    QMutexLocker lock(&scale.mutex);
    if (!scale.measured) {
        auto [x, y] = scale.provider ? scale.provider() : std::pair<int, int>(96, 96);
        scale.horizontal = (x > 0 ? x : 96) / 96.0;
        scale.vertical = (y > 0 ? y : 96) / 96.0;
        scale.measured = true;
    }
    return { scale.horizontal, scale.vertical };
}

// Half rounds up.
int32_t ScaleValue(int64_t value, double factor)
{
    const double scaled = std::floor(double(value) * factor + 0.5);
    return scaled >= double(INT32_MAX) ? INT32_MAX : scaled <= double(INT32_MIN) ? INT32_MIN : int32_t(scaled);
}

} // namespace

CSettingsTimeException::CSettingsTimeException(uint32_t resultCode)
    : std::runtime_error(resultCode == E_FAIL ? "time value out of range" : "malformed time value")
    , m_resultCode(resultCode)
{
}

CXMLSettings::CXMLSettings(const QString& path)
    : m_path(path)
{
}

CXMLSettings::~CXMLSettings()
{
    Save();
    Close();
}

bool CXMLSettings::Open()
{
    if (m_document)
        return true;
    if (m_openFailed)
        return false;
    int step = 290;
    InstallSeTranslator();
    try {
        m_document = std::make_unique<pugi::xml_document>();
        step = 316;
        const QByteArray nativePath = QFile::encodeName(m_path);
        if (::access(nativePath.constData(), R_OK) != 0 && errno == ENOENT) {
            step = 327;
            if (LoadTemplate()) {
                step = 331;
                return true;
            }
            Close();
            m_openFailed = true;
            return false;
        }
        if (LoadDocument(step))
            return true;
    } catch (CSeException* e) {
        e->Log(SOURCE_NAME, step);
        e->Delete();
        WriteErrorLog(SOURCE_NAME, step, QStringLiteral("Error opening XML file"));
        WriteErrorLog(m_path, 0, QString());
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::exception& e) {
        WriteErrorLog(SOURCE_NAME, step, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        WriteErrorLog(SOURCE_NAME, step, QStringLiteral("Unknown exception."));
    }
    Close();
    m_openFailed = true;
    return false;
}

bool CXMLSettings::LoadTemplate()
{
    if (!m_document->load_string(TEMPLATE_TEXT, PARSE_OPTIONS))
        return false;
    m_dirty = true;
    return true;
}

// Reads and parses the file; a file that does not parse as one document is logged with its reason. A
// file of white space only is taken for a missing one.
bool CXMLSettings::LoadDocument(int& step)
{
    step = 320;
    m_malformed = false;
    QString reason;
    QByteArray buffer;
    QFile file(m_path);
    if (QFileInfo(m_path).isDir())
        reason = QStringLiteral("The path names a folder, not a file");
    else if (!file.open(QIODevice::ReadOnly))
        reason = file.errorString();
    else {
        buffer = file.readAll();
        if (file.error() != QFileDevice::NoError)
            reason = file.errorString();
    }
    if (reason.isEmpty() && IsBlank(buffer))
        return LoadTemplate();
    if (reason.isEmpty()) {
        const pugi::xml_parse_result result
            = m_document->load_buffer(buffer.constData(), size_t(buffer.size()), PARSE_OPTIONS, pugi::encoding_auto);
        step = 349;
        if (!result)
            reason = QString::fromUtf8(result.description()) + PositionText(buffer, result.offset);
        else
            reason = DocumentLevelError(*m_document, buffer);
        step = 351;
        m_malformed = !reason.isEmpty();
    }
    if (reason.isEmpty())
        return true;
    step = 359;
    WriteErrorLog(QStringLiteral("LoadXML Malformed XML Error"), 0, QString());
    WriteErrorLog(reason, 0, QString());
    WriteErrorLog(m_path, 0, QString());
    step = 361;
    return false;
}

void CXMLSettings::Close()
{
    try {
        m_document.reset();
    } catch (CSeException* e) {
        QString text;
        e->FormatMessage(text);
        WriteErrorLog(SOURCE_NAME, 542, text);
        WriteErrorLog(SOURCE_NAME, 543, QStringLiteral("Error closing XML file."));
        e->Delete();
    } catch (const std::exception&) {
    }
}

bool CXMLSettings::Save()
{
    if (!m_document || !m_dirty)
        return false;
    bool saved = false;
    try {
        if (m_document->document_element())
            saved = WriteDocument(*m_document, m_path);
    } catch (CSeException* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
    Close();
    return saved;
}

QStringList CXMLSettings::SplitPath(const QString& section, const QString& key)
{
    auto trimmed = [](const QString& part) {
        qsizetype begin = 0;
        qsizetype end = part.size();
        while (end > begin && (part[end - 1] == u'\\' || part[end - 1] == u' '))
            --end;
        while (begin < end && (part[begin] == u'\\' || part[begin] == u' '))
            ++begin;
        return part.mid(begin, end - begin);
    };
    QString path = trimmed(section) + u'\\' + trimmed(key);
    path.replace(u' ', u'_');
    return path.split(u'\\', Qt::SkipEmptyParts);
}

QString CXMLSettings::StorableText(const QString& text)
{
    if (AllCodePoints(text, [](char32_t c, bool) { return IsStorableChar(c); }))
        return text;
    QString storable;
    storable.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, text.at(i + 1));
            if (IsStorableChar(code))
                storable.append(c).append(text.at(i + 1));
            else
                storable.append(u' ');
            ++i;
        } else {
            storable.append(!c.isSurrogate() && IsStorableChar(c.unicode()) ? c : QChar(u' '));
        }
    }
    return storable;
}

bool CXMLSettings::IsValidElementName(const QString& name)
{
    return !name.isEmpty()
        && AllCodePoints(name, [](char32_t c, bool first) { return first ? IsNameStartChar(c) : IsNameChar(c); });
}

pugi::xml_node CXMLSettings::FindNode(pugi::xml_node start, const QStringList& names, bool create)
{
    pugi::xml_node node = start;
    for (const QString& name : names) {
        const QByteArray utf8 = name.toUtf8();
        pugi::xml_node child = node.first_child();
        while (child && (child.type() != pugi::node_element || std::strcmp(child.name(), utf8.constData()) != 0))
            child = child.next_sibling();
        if (!child) {
            if (!create)
                return pugi::xml_node();
            child = node.append_child(utf8.constData());
            if (!child)
                return pugi::xml_node();
        }
        node = child;
    }
    return node;
}

QString CXMLSettings::GetString(const QString& section, const QString& key, const QString& defaultValue, bool create)
{
    int step = 42;
    QString result = defaultValue;
    try {
        const QStringList names = SplitPath(section, key);
        step = 53;
        bool found = false;
        step = 57;
        if (Open()) {
            step = 60;
            const pugi::xml_node root = m_document->document_element();
            step = 65;
            if (root) {
                step = 71;
                const pugi::xml_node node = FindNode(root, names, false);
                if (node) {
                    step = 78;
                    result = ElementText(node);
                    step = 84;
                    found = true;
                }
            }
        }
        if (!found && create) {
            step = 94;
            SetString(section, key, defaultValue);
            step = 97;
        }
    } catch (CSeException* e) {
        e->Log(SOURCE_NAME, step);
        e->Delete();
        MessageBox(
            QStringLiteral("Error reading XML file. Line %1").arg(step), QStringLiteral(KAVRILUNE_PRODUCT_NAME), MB_OK);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::exception&) {
        // The document failed underneath; the value read so far stands.
    }
    return result;
}

int CXMLSettings::SetString(const QString& section, const QString& key, const QString& value)
{
    const QStringList names = SplitPath(section, key);
    if (!Open())
        return -1;
    for (const QString& name : names) {
        if (!IsValidElementName(name)) {
            WriteErrorLog(
                SOURCE_NAME, 0, QStringLiteral("Not a valid XML element name: \"%1\" (%2)").arg(name, m_path));
            return -2;
        }
    }
    if (!IsValidXmlText(value))
        return -3;
    const pugi::xml_node root = m_document->document_element();
    pugi::xml_node node = root ? FindNode(root, names, true) : pugi::xml_node();
    if (!node)
        return -2;
    RemoveAllChildren(node);
    if (!value.isEmpty()) {
        pugi::xml_node text = node.append_child(pugi::node_pcdata);
        if (!text || !text.set_value(value.toUtf8().constData()))
            return -3;
    }
    m_dirty = true;
    return 0;
}

int32_t CXMLSettings::GetIntUnguarded(const QString& section, const QString& key, int32_t defaultValue, bool create)
{
    return ParseLong(GetString(section, key, QString::number(defaultValue), create));
}

int32_t CXMLSettings::GetInt(const QString& section, const QString& key, int32_t defaultValue, bool create)
{
    try {
        return GetIntUnguarded(section, key, defaultValue, create);
    } catch (CSeException* e) {
        e->Log(SOURCE_NAME, 28);
        e->Delete();
        return defaultValue;
    }
}

int CXMLSettings::SetInt(const QString& section, const QString& key, int32_t value)
{
    return SetString(section, key, QString::number(value));
}

int32_t CXMLSettings::GetIntScaled(const QString& section, const QString& key, int32_t defaultValue, bool create)
{
    const int32_t value = GetInt(section, key, defaultValue, create);
    return ScaleValue(value, ScaleFactors().second);
}

RECT CXMLSettings::GetRect(
    const QString& section, int32_t defaultX, int32_t defaultY, int32_t defaultWidth, int32_t defaultHeight)
{
    const int32_t x = GetInt(section, QStringLiteral("x"), defaultX, true);
    const int32_t y = GetInt(section, QStringLiteral("y"), defaultY, true);
    const int32_t width = GetInt(section, QStringLiteral("width"), defaultWidth, true);
    const int32_t height = GetInt(section, QStringLiteral("height"), defaultHeight, true);
    RECT rect { x, y, ClampToInt32(int64_t(x) + width), ClampToInt32(int64_t(y) + height) };
    ScaleRectForDpi(rect);
    return rect;
}

QString CXMLSettings::GetColorText(const QString& section, const QString& key)
{
    return GetString(section, key, QStringLiteral("-1"), true);
}

namespace
{

struct ColorParts {
    int32_t part[4] = { 0, 0, 0, 0 };
};

ColorParts ParseColor(const QString& text)
{
    ColorParts parts;
    const QStringList pieces = text.split(u',', Qt::SkipEmptyParts);
    for (int i = 0; i < 4 && i < pieces.size(); ++i)
        parts.part[i] = ParseLong(pieces[i]);
    return parts;
}

uint32_t LowByte(int32_t value)
{
    return uint32_t(value) & 0xFFu;
}

} // namespace

uint32_t CXMLSettings::GetColor(const QString& section, const QString& key, uint32_t defaultColor)
{
    const ColorParts c = ParseColor(GetColorText(section, key));
    if (c.part[0] < 0)
        return defaultColor;
    return LowByte(c.part[1]) | LowByte(c.part[2]) << 8 | LowByte(c.part[3]) << 16;
}

uint32_t CXMLSettings::GetColorArgb(const QString& section, const QString& key, uint32_t defaultColor)
{
    const ColorParts c = ParseColor(GetColorText(section, key));
    if (c.part[0] < 0)
        return defaultColor;
    return LowByte(c.part[0]) << 24 | LowByte(c.part[1]) << 16 | LowByte(c.part[2]) << 8 | LowByte(c.part[3]);
}

std::time_t CXMLSettings::GetTime(const QString& section, const QString& key, std::time_t defaultTime)
{
    const QString text = GetString(section, key, FormatTime(defaultTime), false);
    const QStringList pieces = text.split(u'/', Qt::SkipEmptyParts);
    // Year, month, day and hour must be there; a missing minute counts as 0.
    if (pieces.size() < 4)
        throw CSettingsTimeException(E_INVALIDARG);
    int32_t numbers[5] = { 0, 0, 0, 0, 0 };
    for (int i = 0; i < 5 && i < pieces.size(); ++i)
        numbers[i] = ParseLong(pieces[i]);
    const auto [year, month, day, hour, minute] = numbers;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0
        || minute > 59)
        throw CSettingsTimeException(E_FAIL);

    std::tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    const std::time_t time = std::mktime(&local);
    if (time == std::time_t(-1))
        throw CSettingsTimeException(E_INVALIDARG);
    return time;
}

bool CXMLSettings::SetTime(const QString& section, const QString& key, std::time_t time)
{
    SetString(section, key, FormatTime(time));
    return true;
}

QString CXMLSettings::GetFolder() const
{
    const qsizetype slash = m_path.lastIndexOf(u'/');
    return slash < 0 ? QString() : m_path.left(slash + 1);
}

void CXMLSettings::SetFileName(const QString& path)
{
    if (path == m_path)
        return;
    Close();
    m_openFailed = false;
    m_path = path;
}

void CXMLSettings::DiscardChanges()
{
    Close();
    m_dirty = false;
}

void ScaleRectForDpi(RECT& rect)
{
    const auto [horizontal, vertical] = ScaleFactors();
    rect.left = ScaleValue(rect.left, horizontal);
    rect.right = ScaleValue(rect.right, horizontal);
    rect.top = ScaleValue(rect.top, vertical);
    rect.bottom = ScaleValue(rect.bottom, vertical);
}

void SetScreenPixelsPerInchProvider(ScreenPixelsPerInchProvider provider)
{
    ScreenScale& scale = Scale();
    QMutexLocker lock(&scale.mutex);
    scale.provider = std::move(provider);
    scale.measured = false;
}

CSettingsFileMutex::CSettingsFileMutex(const QString& lockPath)
    : m_lockPath(lockPath)
{
}

void CSettingsFileMutex::lock()
{
    m_mutex.lock();
    if (m_depth++ > 0)
        return;
    // The file is opened for each outermost holder: a lock file removed meanwhile is made anew.
    m_fd = m_lockPath.isEmpty() ? -1 : CNamedMutex::OpenLockFile(m_lockPath);
    if (m_fd < 0)
        return;
    // Once a holder has outlasted the wait, later holders only try until the lock is free again: each
    // would otherwise stall its thread, the window's mostly, for the whole wait once more.
    const QDeadlineTimer deadline(m_holderStuck ? 0 : kFileLockWaitMs);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        if (deadline.hasExpired()) {
            if (!m_holderStuck)
                WriteErrorLog(SOURCE_NAME, 0,
                    QStringLiteral("Another process keeps the settings file's lock: %1. The settings are read and "
                                   "written without it until it lets go.")
                        .arg(m_lockPath));
            m_holderStuck = true;
            return;
        }
        QThread::msleep(kFileLockPollMs);
    }
    m_holderStuck = false;
}

void CSettingsFileMutex::unlock()
{
    if (--m_depth == 0 && m_fd >= 0) {
        ::close(m_fd); // lets the flock go
        m_fd = -1;
    }
    m_mutex.unlock();
}

CSettingsFileMutex& SettingsFileMutex(const QString& path)
{
    static std::mutex registryMutex;
    static std::map<QString, std::unique_ptr<CSettingsFileMutex>> registry; // guarded by registryMutex
    const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::lock_guard lock(registryMutex);
    std::unique_ptr<CSettingsFileMutex>& mutex = registry[key];
    if (!mutex)
        mutex = std::make_unique<CSettingsFileMutex>(path.isEmpty() ? QString() : key + QStringLiteral(".lock"));
    return *mutex;
}

QString SetAsideMalformedSettingsFile(const QString& path)
{
    std::lock_guard fileLock(SettingsFileMutex(path));
    {
        CXMLSettings settings(path);
        const bool opened = settings.Open();
        const bool malformed = !opened && settings.m_malformed;
        settings.DiscardChanges(); // a missing or blank file stays as it is
        if (!malformed)
            return QString();
    }
    const QString base = path + QStringLiteral(".broken");
    QString target = base;
    for (int number = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++number) {
        if (number > 100)
            return QString();
        target = base + QLatin1Char('-') + QString::number(number);
    }
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0) {
        WriteErrorLog(SOURCE_NAME, 0, QStringLiteral("Cannot move the malformed settings file %1 aside").arg(path));
        return QString();
    }
    WriteErrorLog(SOURCE_NAME, 0,
        QStringLiteral("The malformed settings file was moved to %1; the program starts from its defaults.")
            .arg(target));
    return target;
}

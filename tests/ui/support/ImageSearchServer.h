#pragma once

#include "core/ServerHosts.h"

#include "tests/support/LoopbackHttpServer.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <zlib.h>

namespace ui_testing
{

// Picture bytes of a given size and colour in a format Qt writes.
inline QByteArray PictureBytes(int width, int height, const QColor& color = Qt::darkCyan, const char* format = "PNG")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A PNG whose header claims the given size, followed by a scrap of data.
inline QByteArray PngClaiming(uint32_t width, uint32_t height)
{
    auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray bytes;
        const uint32_t length = uint32_t(data.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char(length >> shift));
        const QByteArray typed = QByteArray(type) + data;
        bytes.append(typed);
        const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())));
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char(crc >> shift));
        return bytes;
    };
    QByteArray header;
    for (const uint32_t value : { width, height })
        for (int shift = 24; shift >= 0; shift -= 8)
            header.append(char(value >> shift));
    header.append("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", QByteArray(64, 'x'))
        + chunk("IEND", QByteArray());
}

// An image-search host on loopback, made the program's image host for its life: "/images" answers
// with a result page linking "/picture", which answers with the picture set. Every request is
// recorded with the time it arrived.
class ImageSearchServer
{
public:
    struct Hit {
        QByteArray target;
        QByteArray agent;
        std::chrono::steady_clock::time_point time;
    };

    ImageSearchServer()
    {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
        SetImageHostOverride(server.Url());
        server.Route("/images", [this](testing_support::HttpConnection& connection) {
            const QByteArray page = Record(connection);
            connection.SendResponse(200, "text/html", page);
        });
        server.Route("/picture", [this](testing_support::HttpConnection& connection) {
            Record(connection);
            int stallMs = 0;
            QByteArray picture;
            {
                std::lock_guard lock(mutex);
                stallMs = pictureStallMs;
                picture = this->picture;
            }
            if (stallMs > 0 && !connection.Sleep(stallMs))
                return;
            connection.SendResponse(200, "image/png", picture);
        });
        SetPicture(PictureBytes(120, 90));
    }
    ~ImageSearchServer()
    {
        server.Stop();
        SetImageHostOverride(QString());
    }

    // The result page as the rule expects it, linking this server's picture.
    QByteArray ResultPage() const { return PageLinking(server.Url("/picture").toUtf8()); }
    // A result page whose first picture is at url.
    static QByteArray PageLinking(const QByteArray& url)
    {
        return "<html><div id=ires><a href=/p target=_blank><img src=" + url + " width=120 height=90></a></div></html>";
    }
    void SetPage(const QByteArray& text)
    {
        std::lock_guard lock(mutex);
        page = text;
    }
    void SetPicture(const QByteArray& bytes)
    {
        std::lock_guard lock(mutex);
        picture = bytes;
    }
    void StallPicture(int ms)
    {
        std::lock_guard lock(mutex);
        pictureStallMs = ms;
    }
    std::vector<Hit> Hits() const
    {
        std::lock_guard lock(mutex);
        return hits;
    }
    size_t HitCount() const { return Hits().size(); }

    testing_support::LoopbackHttpServer server;

private:
    QByteArray Record(testing_support::HttpConnection& connection)
    {
        std::lock_guard lock(mutex);
        hits.push_back({ connection.Request().target, connection.Request().Header("user-agent"),
            std::chrono::steady_clock::now() });
        return page.isNull() ? ResultPage() : page;
    }

    mutable std::mutex mutex;
    QByteArray page; // guarded by mutex; null serves ResultPage()
    QByteArray picture; // guarded by mutex
    int pictureStallMs = 0; // guarded by mutex
    std::vector<Hit> hits; // guarded by mutex
};

} // namespace ui_testing

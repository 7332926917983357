// Draws the program's images from their SVG sources: every output of a manifest is rendered at 1x
// ("Name.png") and 2x ("Name@2x.png").
//
// Manifest lines (blank lines and lines starting with '#' are skipped):
//   set <name> <value>        the value of {{name}} in the SVG layers that follow
//   folder <path>             later outputs go to this folder below the output root
//   <file.png> <w> <h> <layer>...
// A layer is "<file.svg>[?name=value&...][@x,y,w,h]": the SVG (relative to the manifest) with its own
// token values, drawn into the given rectangle of the output (the whole output without one). Layers
// are drawn in order, each over the ones before. A token without a value fails the run.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTextStream>
#include <cstdio>

namespace
{

struct Layer {
    QString file;
    QMap<QString, QString> tokens;
    QRectF rect; // null for the whole output
};

[[noreturn]] void Fail(const QString& text)
{
    std::fprintf(stderr, "artgen: %s\n", qPrintable(text));
    std::exit(1);
}

Layer ParseLayer(const QString& text, const QString& where)
{
    Layer layer;
    QString rest = text;
    const qsizetype at = rest.indexOf(u'@');
    if (at >= 0) {
        const QStringList numbers = rest.mid(at + 1).split(u',');
        if (numbers.size() != 4)
            Fail(where + QStringLiteral(": a layer rectangle needs x,y,w,h: ") + text);
        double values[4];
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            values[i] = numbers[i].toDouble(&ok);
            if (!ok)
                Fail(where + QStringLiteral(": not a number in ") + text);
        }
        layer.rect = QRectF(values[0], values[1], values[2], values[3]);
        rest = rest.left(at);
    }
    const qsizetype query = rest.indexOf(u'?');
    if (query >= 0) {
        for (const QString& pair : rest.mid(query + 1).split(u'&', Qt::SkipEmptyParts)) {
            const qsizetype equals = pair.indexOf(u'=');
            if (equals <= 0)
                Fail(where + QStringLiteral(": a token needs name=value: ") + pair);
            layer.tokens.insert(pair.left(equals), pair.mid(equals + 1));
        }
        rest = rest.left(query);
    }
    layer.file = rest;
    return layer;
}

QByteArray Substitute(
    const QString& svg, const Layer& layer, const QMap<QString, QString>& globals, const QString& where)
{
    static const QRegularExpression token(QStringLiteral("\\{\\{([A-Za-z0-9_]+)\\}\\}"));
    QString result;
    qsizetype last = 0;
    auto match = token.globalMatch(svg);
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        const QString name = m.captured(1);
        QString value;
        if (layer.tokens.contains(name))
            value = layer.tokens.value(name);
        else if (globals.contains(name))
            value = globals.value(name);
        else
            Fail(where + QStringLiteral(": no value for {{%1}} in %2").arg(name, layer.file));
        result += svg.mid(last, m.capturedStart() - last) + value;
        last = m.capturedEnd();
    }
    result += svg.mid(last);
    return result.toUtf8();
}

void Render(const QString& output, const QSize& size, const QList<Layer>& layers, const QDir& sources,
    const QMap<QString, QString>& globals, const QString& where)
{
    for (int scale = 1; scale <= 2; ++scale) {
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(scale, scale);
        for (const Layer& layer : layers) {
            QFile file(sources.filePath(layer.file));
            if (!file.open(QIODevice::ReadOnly))
                Fail(where + QStringLiteral(": cannot read ") + file.fileName());
            QSvgRenderer renderer(Substitute(QString::fromUtf8(file.readAll()), layer, globals, where));
            if (!renderer.isValid())
                Fail(where + QStringLiteral(": not a valid SVG: ") + layer.file);
            renderer.render(&painter, layer.rect.isNull() ? QRectF(QPointF(0, 0), QSizeF(size)) : layer.rect);
        }
        painter.end();
        QString path = output;
        if (scale == 2)
            path.insert(path.lastIndexOf(u'.'), QStringLiteral("@2x"));
        QDir().mkpath(QFileInfo(path).path());
        if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG"))
            Fail(QStringLiteral("cannot write ") + path);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: artgen <manifest> <output folder>\n");
        return 2;
    }
    QFile manifest(arguments[1]);
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text))
        Fail(QStringLiteral("cannot read ") + arguments[1]);
    const QDir sources = QFileInfo(arguments[1]).dir();
    const QDir root(arguments[2]);
    QDir folder = root;
    QMap<QString, QString> globals;
    QTextStream in(&manifest);
    int lineNumber = 0;
    int outputs = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QString where = QStringLiteral("%1:%2").arg(arguments[1]).arg(lineNumber);
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (words[0] == u"set" && words.size() == 3) {
            globals.insert(words[1], words[2]);
        } else if (words[0] == u"folder" && words.size() == 2) {
            folder = QDir(root.filePath(words[1]));
        } else if (words.size() >= 4) {
            bool okWidth = false;
            bool okHeight = false;
            const QSize size(words[1].toInt(&okWidth), words[2].toInt(&okHeight));
            if (!okWidth || !okHeight || size.isEmpty())
                Fail(where + QStringLiteral(": bad size"));
            QList<Layer> layers;
            for (int i = 3; i < words.size(); ++i)
                layers << ParseLayer(words[i], where);
            Render(folder.filePath(words[0]), size, layers, sources, globals, where);
            ++outputs;
        } else {
            Fail(where + QStringLiteral(": cannot read this line"));
        }
    }
    std::printf("artgen: %d images\n", outputs);
    return 0;
}

#include "ui/kit/Pictures.h"

#include "ui/kit/TImageList.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

// The resources live in this static library: register them before the first use.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace Pictures {
namespace {

void ensureResources()
{
    static const bool done = (initResources(), true);
    (void)done;
}

const char* const GlyphFiles[GlyphCount] = {
    "00-eye-green", "01-eye-red", "02-tray-down", "03-exit-door", "04-page-blank",
    "05-page-list", "06-floppy",  "07-check",     "08-cross",     "09-pencil",
};

}  // namespace

QString programIconPath() { return QStringLiteral(":/vesmor/vesmor.svg"); }
QString emblemPath() { return QStringLiteral(":/vesmor/emblem.svg"); }

QString glyphPath(int index)
{
    if (index < 0 || index >= GlyphCount) return {};
    return QStringLiteral(":/vesmor/glyphs/%1.svg").arg(QLatin1String(GlyphFiles[index]));
}

QPixmap render(const QString& svgPath, const QSize& size)
{
    ensureResources();
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid() || size.isEmpty()) return {};
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return QPixmap::fromImage(img);
}

QIcon programIcon()
{
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(render(programIconPath(), QSize(s, s)));
    return icon;
}

QPixmap emblem(int size) { return render(emblemPath(), QSize(size, size)); }

QIcon applyGlyph()
{
    QIcon icon;
    icon.addPixmap(render(QStringLiteral(":/vesmor/apply.svg"), QSize(18, 18)), QIcon::Normal);
    icon.addPixmap(render(QStringLiteral(":/vesmor/apply-disabled.svg"), QSize(18, 18)), QIcon::Disabled);
    return icon;
}

TImageList buttonGlyphs()
{
    TImageList list(16, 16);
    for (int i = 0; i < GlyphCount; ++i) list.AddSvg(glyphPath(i));
    return list;
}

}  // namespace Pictures

#pragma once
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

// A list of same-sized pictures with alpha, rendered once from vector drawings.
class TImageList {
public:
    explicit TImageList(int width = 16, int height = 16);

    // Renders the SVG file (or resource) at the list's size and appends it; returns its index,
    // or -1 when the drawing can't be read (nothing is appended then).
    int AddSvg(const QString& path);

    int Count() const { return int(images_.size()); }
    QSize size() const { return size_; }
    // A copy of image n; a null pixmap for an index outside the list.
    QPixmap pixmap(int index) const;
    QIcon icon(int index) const;

private:
    QSize size_;
    QList<QPixmap> images_;
};

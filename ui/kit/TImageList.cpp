#include "ui/kit/TImageList.h"

#include "ui/kit/Pictures.h"

TImageList::TImageList(int width, int height) : size_(width, height) {}

int TImageList::AddSvg(const QString& path)
{
    const QPixmap p = Pictures::render(path, size_);
    if (p.isNull()) return -1;
    images_ << p;
    return int(images_.size()) - 1;
}

QPixmap TImageList::pixmap(int index) const
{
    if (index < 0 || index >= images_.size()) return {};
    return images_[index];
}

QIcon TImageList::icon(int index) const
{
    const QPixmap p = pixmap(index);
    return p.isNull() ? QIcon() : QIcon(p);
}

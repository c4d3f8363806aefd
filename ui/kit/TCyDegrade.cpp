#include "ui/kit/TCyDegrade.h"

void TCyDegrade::setFromColor(const QColor& c)
{
    if (c == from_) return;
    from_ = c;
    if (onChange_) onChange_();
}

void TCyDegrade::setToColor(const QColor& c)
{
    if (c == to_) return;
    to_ = c;
    if (onChange_) onChange_();
}

#include "ui/kit/TPageControl.h"

#include "ui/kit/TFlatButtonTabBar.h"

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent), bar_(new TFlatButtonTabBar(this))
{
    setTabBar(bar_);
    setDocumentMode(true);
}

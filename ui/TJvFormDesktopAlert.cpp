#include "ui/TJvFormDesktopAlert.h"

#include "ui/AlertClock.h"
#include "ui/TJvDesktopAlertButton.h"
#include "ui/kit/GradientBands.h"
#include "ui/kit/THotTrackLabel.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QColor FrameGrey{128, 128, 128};
const QColor GripLight{248, 252, 248};
const QColor GripMid{184, 188, 184};
const QColor HotTrackNavy{0, 0, 128};

constexpr int StripRows = 8;  // rows 0 to 7
constexpr int BodyTop = 9;    // row 8 keeps the button face

QLabel* transparentLabel(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

}  // namespace

TJvFormDesktopAlert::TJvFormDesktopAlert(AlertClock& clock)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      imIcon_(transparentLabel(this)),
      lblHeader_(transparentLabel(this)),
      lblText_(new THotTrackLabel(this)),
      tbDropDown_(new TJvDesktopAlertButton(TJvDesktopAlertButton::abtDropDown, this)),
      tbClose_(new TJvDesktopAlertButton(TJvDesktopAlertButton::abtClose, this)),
      handler_(std::make_unique<TJvFadeAlertStyleHandler>(
          TJvFadeAlertStyleHandler::Window{[this](int alpha) { SetAlphaBlendValue(alpha); },
                                           [this] { showWithoutActivating(); }, [this] { CloseAlert(); }},
          clock)),
      mouseTimer_(clock.createTimer())
{
    setObjectName(QStringLiteral("JvFormDesktopAlert"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setBackgroundRole(QPalette::Button);
    // Header and message lie on the alert's own light blue: dark text whatever the theme.
    QPalette look = palette();
    // (On the button-face ground the labels write in the button-text colour.)
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) look.setColor(role, QColor(0, 0, 0));
    setPalette(look);
    setFixedSize(DefaultWidth, DefaultHeight);

    imIcon_->setObjectName(QStringLiteral("imIcon"));
    imIcon_->setGeometry(8, 13, 48, 48);
    lblHeader_->setObjectName(QStringLiteral("lblHeader"));
    lblText_->setObjectName(QStringLiteral("lblText"));
    lblText_->setWordWrap(true);
    lblText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblText_->setAttribute(Qt::WA_TranslucentBackground);
    lblText_->setHotTrackColor(HotTrackNavy);
    tbClose_->setObjectName(QStringLiteral("tbClose"));
    tbClose_->setGeometry(DefaultWidth - 17, 10, 15, 15);
    tbDropDown_->setObjectName(QStringLiteral("tbDropDown"));
    tbDropDown_->setGeometry(DefaultWidth - 33, 10, 15, 15);
    for (QWidget* w : findChildren<QWidget*>()) w->setFocusPolicy(Qt::NoFocus);

    connect(lblText_, &THotTrackLabel::clicked, this, [this] {
        if (OnMessageClick) OnMessageClick();
    });
    connect(tbClose_, &QAbstractButton::clicked, this, [this] {
        if (OnCloseButtonClick) OnCloseButtonClick();
    });
    mouseTimer_->setCallback([this] { mouseTimerTick(); });
}

TJvFormDesktopAlert::~TJvFormDesktopAlert()
{
    mouseTimer_->stop();
    handler_->StopTimer();
}

void TJvFormDesktopAlert::setOptions(TJvDesktopAlertOptions o)
{
    options_ = o;
    update();
}

void TJvFormDesktopAlert::setColors(const TJvDesktopAlertColors& c)
{
    colors_ = c;
    update();
}

void TJvFormDesktopAlert::SetAlphaBlendValue(int alpha)
{
    alpha_ = std::clamp(alpha, 0, 255);
    // Where the desktop can't blend windows this changes nothing: the window stays opaque.
    setWindowOpacity(alpha_ / 255.0);
}

void TJvFormDesktopAlert::LayoutControls()
{
    const bool canClick = options_.testFlag(daoCanClick);
    lblText_->setHotTrack(canClick);
    lblText_->setCursor(canClick ? Qt::PointingHandCursor : Qt::ArrowCursor);

    tbDropDown_->setVisible(false);  // no drop-down menu in this program
    tbClose_->move(width() - 17, 10);
    tbDropDown_->move(width() - 33, 10);
    tbClose_->setVisible(options_.testFlag(daoCanClose));
    if (!options_.testFlag(daoCanClose)) tbDropDown_->move(tbClose_->x(), tbDropDown_->y());

    imIcon_->move(imIcon_->x(), 13);
    if (!imIcon_->pixmap().isNull()) imIcon_->resize(imIcon_->pixmap().deviceIndependentSize().toSize());
    lblHeader_->adjustSize();
    lblHeader_->move(imIcon_->x() + imIcon_->width() + 5, 13);
    const int textLeft = lblHeader_->x() + 8;
    const int textWidth = std::max(0, tbDropDown_->x() - textLeft);
    const int textHeight = std::max(lblText_->heightForWidth(textWidth), lblText_->fontMetrics().height());
    lblText_->setGeometry(textLeft, lblHeader_->y() + lblHeader_->height(), textWidth, textHeight);
}

void TJvFormDesktopAlert::showWithoutActivating()
{
    if (!isVisible()) show();
    raise();
}

void TJvFormDesktopAlert::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    closing_ = false;
    if (OnShowing) OnShowing();
    if (OnShow) OnShow();
    handler_->AbortAnimation();
    LayoutControls();
    handler_->DoStartAnimation();
    mouseTimer_->start(MouseTimerInterval, false);
    if (OnShown) OnShown();
}

void TJvFormDesktopAlert::CloseAlert()
{
    if (closing_) return;
    closing_ = true;
    dragging_ = false;
    hide();
    mouseTimer_->stop();
    // A window closed during its fade-in or display time leaves no timer behind.
    handler_->StopTimer();
    mouseInWindow_ = false;
    if (OnClose) OnClose();
}

void TJvFormDesktopAlert::closeEvent(QCloseEvent* event)
{
    // Closed from outside (the window manager): the same as the close button.
    event->accept();
    CloseAlert();
}

bool TJvFormDesktopAlert::event(QEvent* event)
{
    // The alert never keeps the activation (and so the keyboard focus): it goes back to the
    // window that had it.
    if (event->type() == QEvent::WindowActivate && returnTo_ && returnTo_ != this &&
        returnTo_->isVisible()) {
        QWidget* target = returnTo_;
        QMetaObject::invokeMethod(target, [target] { target->activateWindow(); }, Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

bool TJvFormDesktopAlert::pointerInside() const
{
    return isVisible() && frameGeometry().contains(pointerPos());
}

void TJvFormDesktopAlert::mouseTimerTick()
{
    mouseInWindow_ = pointerInside();
    if (!handler_->Active() && !mouseInWindow_ && handler_->DisplayDuration() != 0)
        handler_->DoEndAnimation();
}

void TJvFormDesktopAlert::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    mouseInWindow_ = true;
    handler_->AbortAnimation();
    if (OnMouseEnter) OnMouseEnter();
}

void TJvFormDesktopAlert::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (pointerInside()) return;
    if (OnMouseLeave) OnMouseLeave();
    if (!handler_->Active() && handler_->DisplayDuration() != 0 && isVisible())
        handler_->DoEndAnimation();
    mouseInWindow_ = false;
}

QWidget* TJvFormDesktopAlert::visibleChildAt(const QPoint& local) const
{
    for (QWidget* w : {static_cast<QWidget*>(imIcon_), static_cast<QWidget*>(lblHeader_),
                       static_cast<QWidget*>(lblText_), static_cast<QWidget*>(tbDropDown_),
                       static_cast<QWidget*>(tbClose_)}) {
        if (w->isVisible() && w->geometry().contains(local)) return w;
    }
    return nullptr;
}

bool TJvFormDesktopAlert::isCaptionHit(const QPoint& local) const
{
    if (!rect().contains(local)) return false;
    if (local.y() <= 8 && options_.testFlag(daoCanMove)) return true;
    return options_.testFlag(daoCanMoveAnywhere) && !visibleChildAt(local);
}

void TJvFormDesktopAlert::mousePressEvent(QMouseEvent* event)
{
    const QPoint local = event->position().toPoint();
    if (event->button() == Qt::LeftButton && isCaptionHit(local)) {
        handler_->AbortAnimation();
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - pos();
        event->accept();
        return;
    }
    // Presses on the icon or the header do nothing.
    event->accept();
}

void TJvFormDesktopAlert::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    // Over a draggable point the platform's hit test answers "caption", which also stops a
    // fade-out in progress.
    if (isCaptionHit(event->position().toPoint())) handler_->AbortAnimation();
    QWidget::mouseMoveEvent(event);
}

void TJvFormDesktopAlert::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && event->button() == Qt::LeftButton) dragging_ = false;
    event->accept();
}

void TJvFormDesktopAlert::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width(), h = height();
    p.fillRect(rect(), palette().color(QPalette::Button));

    GradientBands::paint(p, QRect(0, 0, w, StripRows), colors_.CaptionFrom, colors_.CaptionTo, StripRows);

    if (options_ & (daoCanMove | daoCanMoveAnywhere)) {
        const int first = w / 2 - 20;
        for (int i = 0; i < 10; ++i) {
            const int x = first + 4 * i, y = 3;
            p.fillRect(x, y, 2, 2, FrameGrey);
            p.fillRect(x + 1, y + 1, 2, 2, GripLight);
            p.fillRect(x + 1, y + 1, 1, 1, GripMid);
        }
    }

    const int bodyHeight = h - BodyTop - 1;
    GradientBands::paint(p, QRect(0, BodyTop, w, bodyHeight), colors_.WindowFrom, colors_.WindowTo,
                         bodyHeight >= 255 ? 32 : bodyHeight);

    p.setPen(FrameGrey);
    p.drawRect(0, 0, w - 1, h - 1);
}

#include "ui/frmMain.h"

#include "ui/ButtonGlyphs.h"

#include "platform/system/EnvironmentSwitches.h"
#include "platform/text/LocaleText.h"
#include "platform/boxes/ModalBoxes.h"
#include "actions/AlertTrigger.h"
#include "actions/TRzLauncher.h"
#include "notify/TStShellFolder.h"
#include "notify/TStShellNotification.h"
#include "notify/TStShellTreeView.h"
#include "ui/TJvDesktopAlert.h"
#include "ui/TJvFadeAlertStyleHandler.h"
#include "ui/FileBoxBrowse.h"
#include "ui/TLiveLogView.h"
#include "ui/kit/Pictures.h"
#include "ui/kit/TImageList.h"
#include "ui/kit/TPageControl.h"
#include "ui/GuardedBinding.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Runs a callback when the watched widget is clicked with the left button.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> onClick) : QObject(parent), onClick_(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            onClick_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClick_;
};

// Centres the window on the screen the user is working on when it is first shown; later shows
// (back from the tray) keep the place the user left it at. Runs before the window is mapped.
class CentreOnFirstShow : public QObject {
public:
    explicit CentreOnFirstShow(QWidget* window) : QObject(window), window_(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_ && event->type() == QEvent::Show) {
            window_->removeEventFilter(this);
            centre();
            deleteLater();
        }
        return false;
    }

private:
    void centre()
    {
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        const QRect area = screen->availableGeometry();
        const QRect frame = window_->frameGeometry();
        QRect placed = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frame.size(), area);
        // On a screen smaller than the window its title bar stays reachable.
        placed.moveTopLeft(QPoint(std::max(placed.left(), area.left()), std::max(placed.top(), area.top())));
        window_->move(placed.topLeft());
    }

    QWidget* window_;
};

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vesmor 2.5"));
    setFixedSize(508, 522);
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    setWindowIcon(Pictures::programIcon());
    FileBoxBrowse::install();
    il1 = std::make_unique<TImageList>(Pictures::buttonGlyphs());

    pgc1 = new TPageControl(this);
    setCentralWidget(pgc1);
    ts4 = new QWidget;
    ts3 = new QWidget;
    ts1 = new QWidget;
    ts2 = new QWidget;
    pgc1->addTab(ts4, QStringLiteral("Home"));
    pgc1->addTab(ts3, QStringLiteral("Watch Settings"));
    pgc1->addTab(ts1, QStringLiteral("Watch List"));
    pgc1->addTab(ts2, QStringLiteral("Live Log"));

    buildHomeTab();
    buildWatchSettingsTab();
    buildWatchListTab();
    buildLiveLogTab();
    buildTray();

    jvdsktplrt1 = new TJvDesktopAlert(this);
    jvdsktplrt1->setHeaderText(QStringLiteral("Vesmor 2.5"));
    QFont alertFont(QStringLiteral("Sans Serif"));
    alertFont.setStyleHint(QFont::SansSerif);
    alertFont.setPixelSize(12);
    jvdsktplrt1->setFont(alertFont);
    alertFont.setBold(true);
    jvdsktplrt1->setHeaderFont(alertFont);
    jvdsktplrt1->setImage(Pictures::emblem(48));
    jvdsktplrt1->StyleOptions().SetDisplayDuration(2400);
    jvdsktplrt1->OnMessageClick = [this](QObject* sender) {
        ModalBoxes::guarded([&] { jvdsktplrt1MessageClick(sender); });
    };

    // The slots' monitors: inactive, no events, no sub-folders until a watch is loaded.
    for (TStShellNotification** monitor : {&ShNotify1, &ShNotify2, &ShNotify3, &ShNotify4}) {
        *monitor = new TStShellNotification(this);
        (*monitor)->SetNotifyEvents({});
    }
    for (TRzLauncher** launcher : {&rzlnchr1, &rzlnchr2, &rzlnchr3, &rzlnchr4}) {
        *launcher = new TRzLauncher(this);
        (*launcher)->Timeout = -1;
    }

    tmr1 = new QTimer(this);
    tmr1->setSingleShot(true);
    tmr1->setInterval(1000);
    new CentreOnFirstShow(this);

    connectHandlers();
}

TForm1::~TForm1() = default;

void TForm1::buildTray()
{
    TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    trycn1 = new QSystemTrayIcon(windowIcon(), this);
    trycn1->setToolTip(QStringLiteral("Vesmor, Click to open"));
    pm2 = new QMenu(this);
    OpenVesmor1 = pm2->addAction(QStringLiteral("Open Vesmor"));
    N2 = pm2->addSeparator();
    About2 = pm2->addAction(QStringLiteral("About"));
    Exit2 = pm2->addAction(QStringLiteral("Exit"));
    trycn1->setContextMenu(pm2);
}

void TForm1::connectHandlers()
{
    bind(tmr1, &QTimer::timeout, this, &TForm1::tmr1Timer);
    for (QPushButton* b : {btn5, btn10, btn13}) bind(b, &QPushButton::clicked, this, &TForm1::btn5Click);
    for (QPushButton* b : {btn7, btn12, btn15}) bind(b, &QPushButton::clicked, this, &TForm1::btn7Click);
    bind(Exit2, &QAction::triggered, this, &TForm1::btn5Click);
    bind(OpenVesmor1, &QAction::triggered, this, &TForm1::trycn1Click);
    bind(About2, &QAction::triggered, this, &TForm1::About2Click);
    connect(trycn1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) ModalBoxes::guarded([this] { trycn1Click(); });
    });
    img->installEventFilter(new ClickFilter(img, [this] { ModalBoxes::guarded([this] { imgClick(); }); }));
    connectEditorHandlers();
    connectWatchListHandlers();
    connectLiveLogHandlers();
    connectEventHandlers();
    tv1->OnFolderSelected = [this](TStShellTreeView* sender, TStShellFolder* folder) {
        ModalBoxes::guarded([&] { tv1FolderSelected(sender, folder ? folder->Path() : QString()); });
    };
}

void TForm1::WriteToLiveLog(const QColor& colour, const QString& line)
{
    const QString shown = LocaleText::oneLine(line);
    edt1->appendLine(colour, shown);
    // A diagnostic copy on standard error, for scripts and tests that drive the real program.
    static const bool echo = EnvironmentSwitches::echoLiveLog();
    if (echo) std::fprintf(stderr, "live-log: %s %s\n", qPrintable(colour.name()), shown.toUtf8().constData());
}


void TForm1::SelectFolderInTree(const QString& path) { tv1->SelectFolder(path); }

std::optional<TreeFolder> TForm1::SelectedTreeFolder()
{
    const TStShellFolder* folder = tv1->SelectedFolder();
    if (!folder) return std::nullopt;
    return TreeFolder{folder->IsFileFolder(), folder->Path(), folder->Pidl()};
}

void TForm1::ResetFolderSelection()
{
    tv1->SelectSpecialFolder(sfNone);
    lbl1->setText(QStringLiteral("Selected folder: "));
}

QIcon TForm1::glyph(int index) const { return il1->icon(index); }

void TForm1::processMessages() { QApplication::processEvents(QEventLoop::AllEvents, 50); }

std::array<SlotControls, 4> TForm1::SlotBindings() const
{
    return {{
        {cypnl1, btn1, btn8, btn22, lbl3, lbl4, lbl5, lbl6, ShNotify1, rzlnchr1},
        {cypnl2, btn17, btn18, btn23, lbl7, lbl8, lbl9, lbl10, ShNotify2, rzlnchr2},
        {cypnl3, btn9, btn19, btn24, lbl11, lbl12, lbl13, lbl14, ShNotify3, rzlnchr3},
        {cypnl4, btn20, btn21, btn25, lbl15, lbl16, lbl17, lbl18, ShNotify4, rzlnchr4},
    }};
}

void TForm1::AssignGlyphs()
{
    const struct {
        std::initializer_list<QPushButton*> buttons;
        int image;
    } glyphs[] = {
        {{btn1, btn17, btn9, btn20}, ButtonGlyph::EyeGreen},
        {{btn8, btn18, btn19, btn21}, ButtonGlyph::Pencil},
        {{btn22, btn23, btn24, btn25}, ButtonGlyph::Cross},
        {{btn7, btn12, btn15}, ButtonGlyph::TrayDown},
        {{btn5, btn10, btn13}, ButtonGlyph::ExitDoor},
        {{btn16}, ButtonGlyph::PageBlank},
        {{btn2}, ButtonGlyph::Floppy},
        {{btn4}, ButtonGlyph::PageList},
    };
    for (const auto& g : glyphs)
        for (QPushButton* b : g.buttons) b->setIcon(il1->icon(g.image));
}

void TForm1::tmr1Timer()
{
    tmr1->stop();
    btn7Click();
}

void TForm1::btn5Click() { close(); }

void TForm1::btn7Click()
{
    // Without a tray the window could never come back: minimise it instead and say so.
    if (!TrayAvailable()) {
        showMinimized();
        jvdsktplrt1->setMessageText(QStringLiteral("Vesmor 2.5 running minimized (this desktop has no system tray)"));
        jvdsktplrt1->Execute();
        return;
    }
    hide();
    trycn1->show();
    jvdsktplrt1->setMessageText(QStringLiteral("Vesmor 2.5 running minimized"));
    jvdsktplrt1->Execute();
}

void TForm1::trycn1Click()
{
    BringForward();
    trycn1->hide();
}

void TForm1::About2Click()
{
    pgc1->setCurrentWidget(ts4);
    BringForward();
    trycn1->hide();
}

void TForm1::TriggerPopUp(Twatcher watch, const QString& message) { AlertTrigger::TriggerPopUp(*this, watch, message); }

void TForm1::TriggerDesktopAlert(Twatcher watch, const QString& message)
{
    AlertTrigger::TriggerDesktopAlert(*this, *jvdsktplrt1, watch, message);
}

void TForm1::jvdsktplrt1MessageClick(QObject*)
{
    pgc1->setCurrentWidget(ts2);
    BringForward();
}

void TForm1::imgClick() { pgc1->setCurrentWidget(ts3); }

void TForm1::FormCloseQuery(bool& CanClose) { CanClose = true; }

void TForm1::BringForward()
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    closing_ = true;
    event->accept();
    // The window may be hidden in the tray: closing it still ends the program.
    QApplication::quit();
}

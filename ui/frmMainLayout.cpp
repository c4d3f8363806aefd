// The form: every control of the four tabs with its caption, hint and place.
#include "notify/TStShellTreeView.h"
#include "ui/PanelLook.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"
#include "ui/kit/Pictures.h"
#include "ui/kit/TCyPanel.h"
#include "ui/kit/TElidedLabel.h"
#include "ui/kit/TFilenameEdit.h"
#include "ui/kit/TShadowLabel.h"

#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

const QColor SkyBlue(166, 202, 240);
const QColor Navy(0, 0, 128);
const QColor White(255, 255, 255);
const QColor Black(0, 0, 0);
// Captions of disabled controls on the sky-blue bands. The toolkit's light grey would be
// unreadable there (the event chosen in automatic mode is a disabled box); this slate keeps a
// contrast above 6:1 and still looks greyed beside the black of enabled captions.
const QColor DisabledCaption(52, 62, 80);
// Behind a panel's path, events and actions lines: the maroon, black and green of those lines
// need a light ground of their own, which the navy of a running panel would not give them.
const QColor PanelLinesGround(250, 252, 255);

QFont windowFont(int pixels = 11, bool bold = false)
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

template <class W>
W* place(W* w, int left, int top, int width, int height, const QString& hint = QString())
{
    w->setGeometry(left, top, width, height);
    if (!hint.isEmpty()) w->setToolTip(hint);
    return w;
}

QPushButton* button(QWidget* parent, const QString& caption, const QString& hint, int left, int top, int width,
                    int height)
{
    auto* b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return place(b, left, top, width, height, hint);
}

QCheckBox* checkBox(QWidget* parent, const QString& caption, const QString& hint, int left, int top, int width)
{
    return place(new QCheckBox(caption, parent), left, top, width, 17, hint);
}

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height, bool bold = false)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(windowFont(11, bold));
    return place(l, left, top, width, height);
}

// A sky-blue band with its caption centred at the top. What is written on the band itself
// (captions, labels) is dark whatever the desktop's theme, since the sky blue stays; boxes,
// lists and buttons draw their own ground and keep the theme's colours.
QWidget* band(QWidget* parent, const QString& caption, int height)
{
    auto* b = new QWidget(parent);
    b->setAutoFillBackground(true);
    QPalette p = b->palette();
    p.setColor(QPalette::Window, SkyBlue);
    p.setColor(QPalette::WindowText, Black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, DisabledCaption);
    b->setPalette(p);
    b->setMinimumHeight(height);
    if (!caption.isEmpty()) {
        auto* c = label(b, caption, 0, 1, 508, 14, true);
        c->setAlignment(Qt::AlignHCenter);
    }
    return b;
}

// Stacks a tab's parts from the top; the part at `grows` takes whatever height is left, so
// the bottom bar sits on the tab's bottom edge whatever the tab buttons' height.
void stack(QWidget* page, std::initializer_list<QWidget*> parts, QWidget* grows)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget* w : parts) {
        if (w != grows) w->setFixedHeight(w->minimumHeight());
        layout->addWidget(w, w == grows ? 1 : 0);
    }
}

// The bottom bar of a tab with its Tray and Exit buttons at the right end.
QWidget* bottomBar(QWidget* parent, QPushButton*& tray, QPushButton*& exit)
{
    QWidget* bar = band(parent, QString(), 41);
    tray = button(bar, QStringLiteral("Tray"), QStringLiteral("Minimize to system tray"), 392, 4, 55, 33);
    exit = button(bar, QStringLiteral("Exit"), QStringLiteral("Exit Vesmor"), 449, 4, 55, 33);
    return bar;
}

// The Tab chain in the order given: the order the eye reads, each box that enables others
// before them.
void tabChain(const std::vector<QWidget*>& widgets)
{
    QWidget* previous = nullptr;
    for (QWidget* w : widgets) {
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

}  // namespace

void TForm1::buildHomeTab()
{
    cypnl5 = new TCyPanel(ts4);
    cypnl5->Degrade().setFromColor(SkyBlue);
    cypnl5->Degrade().setToColor(Navy);
    auto* layout = new QVBoxLayout(ts4);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cypnl5);

    auto* lines = new QVBoxLayout(cypnl5);
    lines->setContentsMargins(0, 8, 0, 0);
    lines->setSpacing(2);
    lbl19 = new TShadowLabel(QStringLiteral("Vesmor"), cypnl5);
    lbl19->setFont(windowFont(40, true));
    lbl19->setFixedHeight(56);
    lbl20 = new TShadowLabel(QStringLiteral("Version 2.5"), cypnl5);
    lbl20->setFont(windowFont(16, true));
    lbl21 = new TShadowLabel(QStringLiteral("A folder monitoring and automation utility"), cypnl5);
    lbl21->setFont(windowFont());
    img = new QLabel(cypnl5);
    img->setObjectName(QStringLiteral("img"));
    img->setAlignment(Qt::AlignCenter);
    img->setFixedHeight(334);
    img->setCursor(Qt::PointingHandCursor);
    img->setPixmap(Pictures::emblem(128));
    for (QWidget* w : {static_cast<QWidget*>(lbl19), static_cast<QWidget*>(lbl20), static_cast<QWidget*>(lbl21),
                       static_cast<QWidget*>(img)})
        lines->addWidget(w);
    lines->addStretch();
}

void TForm1::buildWatchSettingsTab()
{
    QWidget* b1 = band(ts3, QStringLiteral("1. Select a folder to watch"), 209);
    tv1 = place(new TStShellTreeView(b1), 4, 15, 492, 165, QStringLiteral("Select a folder to watch"));
    chk1 = checkBox(b1, QStringLiteral("Watch sub-folders"), QStringLiteral("Watch su-folders also"), 4, 186, 130);
    // A long folder gives way in its middle, like the panels' paths.
    lbl1 = place(new TElidedLabel(QStringLiteral("Selected folder:"), b1), 138, 187, 358, 15);
    lbl1->setFont(windowFont());

    // The event boxes in their grid: three rows fill the band; each row more makes the band, and
    // the window with it, one row taller.
    constexpr int columnLeft[GridColumns + 1] = {4, 119, 264, 389, 498};
    const auto rowTop = [](int row) { return row < 2 ? 20 + 30 * row : 77 + 27 * (row - 2); };
    QWidget* b2 = band(ts3, QStringLiteral("2. Select the events to monitor"), rowTop(GridRows - 1) + 22);
    if (GridRows > 3) setFixedHeight(height() + rowTop(GridRows - 1) - rowTop(2));
    for (int i = 0; i < EventKindCount; ++i) {
        const EventKindInfo& e = WatchEvents[i];
        // The fonts standing in for Tahoma run wider: each box takes the room up to the next column.
        const int left = columnLeft[e.place.column];
        EventBoxes[size_t(i)] = checkBox(b2, QString::fromLatin1(e.caption), QString::fromLatin1(e.hint), left,
                                         rowTop(e.place.row), columnLeft[e.place.column + 1] - left - 2);
    }
    // The Tab key goes through them row by row, left to right.
    std::vector<int> rows(EventKindCount);
    std::iota(rows.begin(), rows.end(), 0);
    std::ranges::sort(rows, {}, [](int i) { return WatchEvents[i].place.row * GridColumns + WatchEvents[i].place.column; });
    std::vector<QWidget*> eventChain;
    for (int i : rows) eventChain.push_back(EventBoxes[size_t(i)]);

    QWidget* b3 = band(ts3, QStringLiteral("3. Select the actions to trigger on event"), 142);
    chk15 = checkBox(b3, QStringLiteral("Add changed object name as argument:"),
                     QStringLiteral("Return the change object name as argument to the executed command"), 264, 16, 219);
    chk15->setEnabled(false);
    cbb1 = place(new QComboBox(b3), 264, 37, 219, 21, QStringLiteral("Select the proper returned argument"));
    for (const ArgumentEntry& e : argumentEntries()) cbb1->addItem(QString::fromLatin1(e.boxText));
    cbb1->setCurrentIndex(-1);
    cbb1->setEnabled(false);
    chk16 = checkBox(b3, QStringLiteral("Wait for file process to finish"),
                     QStringLiteral("Wait for file process to finish before executing a command"), 264, 64, 219);
    chk16->setEnabled(false);
    // The argument column starts at 264 where its captions and the longest argument entry fit;
    // with a wider font it moves left, narrowing the program box, so that nothing is cut.
    const int argumentsNeed = std::max({chk15->sizeHint().width(), chk16->sizeHint().width(), cbb1->sizeHint().width()});
    const int column = std::clamp(508 - 4 - argumentsNeed, 200, 264);
    for (QWidget* w : {static_cast<QWidget*>(chk15), static_cast<QWidget*>(cbb1), static_cast<QWidget*>(chk16)})
        w->setGeometry(column, w->y(), 508 - 4 - column, w->height());
    chk14 = checkBox(b3, QStringLiteral("Execute a program, batch or script:"),
                     QStringLiteral("Execute a program, batch or script on event"), 4, 16, column - 8);
    edt2 = place(new TFilenameEdit(b3), 4, 37, std::min(237, column - 9), 21,
                 QStringLiteral("Select a program, batch or script to execute"));
    edt2->setFilter(QStringLiteral("Program files (*.exe)|*.exe|Batch files (*.bat)|*.bat|VB script files (*.vbs)|*.vbs|All files (*.*)|*.*"));
    edt2->setAddQuotes(true);
    edt2->setEnabled(false);
    chk17 = checkBox(b3, QStringLiteral("Write to log file:"), QStringLiteral("Write events to a log file"), 4, 64, 200);
    edt3 = place(new TFilenameEdit(b3), 6, 87, 479, 21, QStringLiteral("Select the location and name of the log file"));
    edt3->setFilter(QStringLiteral("Text files (*.txt)|*.txt|Log files (*.log)|*.log"));
    edt3->setDefaultExt(QStringLiteral("txt"));
    edt3->setReadOnly(true);
    edt3->setEnabled(false);
    chk18 = checkBox(b3, QStringLiteral("Popup a message"), QStringLiteral("Popup a message in event"), 4, 116, 117);
    chk19 = checkBox(b3, QStringLiteral("Show desktop alert"), QStringLiteral("Show desktop alert on event"), 344, 116, 150);

    QWidget* b4 = band(ts3, QString(), 41);
    stack(ts3, {b1, b2, b3, b4}, b3);
    lbl2 = label(b4, QStringLiteral("4. Watch name:"), 4, 2, 142, 14, true);
    edt4 = place(new QLineEdit(b4), 4, 17, 142, 21, QStringLiteral("Enter a unique name for the watch (no spaces)"));
    edt4->setMaxLength(24);
    btn3 = button(b4, QStringLiteral("5. Apply"), QStringLiteral("Add to watch list"), 152, 4, 81, 33);
    // Drawn as the default button; Enter reaches it through the tab's own key handling.
    btn3->setDefault(true);
    btn3->setFont(windowFont(11, true));
    btn3->setIcon(Pictures::applyGlyph());
    btn3->setIconSize(QSize(18, 18));
    btn4 = button(b4, QStringLiteral("Clear All"), QStringLiteral("Clear all settings fields"), 320, 4, 70, 33);
    btn7 = button(b4, QStringLiteral("Tray"), QStringLiteral("Minimize to system tray"), 392, 4, 55, 33);
    btn5 = button(b4, QStringLiteral("Exit"), QStringLiteral("Exit Vesmor"), 449, 4, 55, 33);

    std::vector<QWidget*> chain{tv1, chk1};
    chain.insert(chain.end(), eventChain.begin(), eventChain.end());
    chain.insert(chain.end(), {chk14, chk15, edt2, edt2->browseButton(), cbb1, chk17, chk16, edt3,
                               edt3->browseButton(), chk18, chk19, edt4, btn3, btn4, btn7, btn5});
    tabChain(chain);
}

void TForm1::buildWatchListTab()
{
    TCyPanel** panels[] = {&cypnl1, &cypnl2, &cypnl3, &cypnl4};
    QLabel** labels[][4] = {{&lbl3, &lbl4, &lbl5, &lbl6},
                            {&lbl7, &lbl8, &lbl9, &lbl10},
                            {&lbl11, &lbl12, &lbl13, &lbl14},
                            {&lbl15, &lbl16, &lbl17, &lbl18}};
    QPushButton** buttons[][3] = {{&btn1, &btn8, &btn22}, {&btn17, &btn18, &btn23}, {&btn9, &btn19, &btn24}, {&btn20, &btn21, &btn25}};
    const QColor design[] = {PanelColour::Grey, QColor(0, 0, 0), QColor(128, 0, 0), QColor(0, 128, 0)};
    const char* texts[] = {"Watch Name:", "Path:", "Events:", "Actions:"};
    for (int s = 0; s < 4; ++s) {
        auto* p = new TCyPanel(ts1);
        p->setMinimumHeight(112);
        p->Degrade().setFromColor(SkyBlue);
        p->Degrade().setToColor(White);
        *panels[s] = p;
        for (int l = 0; l < 4; ++l) {
            QLabel* lbl = nullptr;
            if (l == 0) {
                lbl = label(p, QString::fromLatin1(texts[l]), 3, 3, 494, 13, true);
                lbl->setAlignment(Qt::AlignHCenter);
            } else {
                // The three lines below the name share one light strip, 16 rows a line. A long
                // path gives way in its middle and shows whole as a tool tip.
                lbl = l == 1 ? new TElidedLabel(QString::fromLatin1(texts[l]), p) : new QLabel(QString::fromLatin1(texts[l]), p);
                lbl->setTextFormat(Qt::PlainText);
                lbl->setFont(windowFont(11, true));
                lbl->setGeometry(3, 2 + l * 16, 494, 16);
                lbl->setIndent(2);
                lbl->setAutoFillBackground(true);
            }
            QPalette pal = lbl->palette();
            pal.setColor(QPalette::Window, PanelLinesGround);
            pal.setColor(QPalette::WindowText, design[l]);
            lbl->setPalette(pal);
            *labels[s][l] = lbl;
        }
        *buttons[s][0] = button(p, QStringLiteral("Start"), QStringLiteral("Start / stop watch"), 8, 81, 75, 25);
        *buttons[s][1] = button(p, QStringLiteral("Edit"), QStringLiteral("Edit watch settings"), 89, 81, 75, 25);
        *buttons[s][2] = button(p, QStringLiteral("Remove"), QStringLiteral("Remove watch from list"), 170, 81, 75, 25);
    }
    // Below the four panels the bar takes the rest of the tab, so no strip is left unpainted.
    pnl1 = bottomBar(ts1, btn12, btn10);
    stack(ts1, {cypnl1, cypnl2, cypnl3, cypnl4, pnl1}, pnl1);
}

void TForm1::buildLiveLogTab()
{
    edt1 = new TLiveLogView(ts2);
    edt1->setFont(windowFont());
    pnl2 = bottomBar(ts2, btn15, btn13);
    stack(ts2, {edt1, pnl2}, edt1);
    btn2 = button(pnl2, QStringLiteral("Save..."), QStringLiteral("Save live log to a text file..."), 4, 4, 69, 33);
    btn16 = button(pnl2, QStringLiteral("Clear"), QStringLiteral("Clear log lines"), 75, 4, 74, 33);
    tabChain({edt1, btn2, btn16, btn15, btn13});
}

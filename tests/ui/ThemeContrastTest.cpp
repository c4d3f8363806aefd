// Every text of every tab, and of the desktop alert, read from pictures of the real window
// under a light and a dark desktop theme: each must stand out at least 4.5:1 from what lies
// behind it.
#include "ui/TJvDesktopAlert.h"
#include "ui/TJvFormDesktopAlert.h"
#include "ui/kit/Contrast.h"
#include "ui/kit/TFilenameEdit.h"
#include "ui/kit/TShadowLabel.h"
#include "notify/TStShellTreeView.h"

#include "StartedFormFixture.h"
#include "support/Waiting.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// The palette Qt's gtk3 platform theme hands a program under GTK_THEME=Adwaita:dark (Qt 6.4,
// Debian 12), as read from a program started so: the dark theme of the screenshots.
QPalette darkTheme()
{
    struct Role {
        QPalette::ColorRole role;
        const char* active;
        const char* disabled;
    } const roles[] = {
        {QPalette::WindowText, "#f0f0f0", "#828282"}, {QPalette::Button, "#323232", "#323232"},
        {QPalette::Light, "#4b4b4b", "#4b4b4b"},      {QPalette::Midlight, "#2a2a2a", "#2a2a2a"},
        {QPalette::Dark, "#212121", "#bebebe"},       {QPalette::Mid, "#262626", "#262626"},
        {QPalette::Text, "#f0f0f0", "#828282"},       {QPalette::BrightText, "#4b4b4b", "#4b4b4b"},
        {QPalette::ButtonText, "#f0f0f0", "#828282"}, {QPalette::Base, "#242424", "#323232"},
        {QPalette::Window, "#323232", "#323232"},     {QPalette::Shadow, "#191919", "#252525"},
        {QPalette::Highlight, "#308cc6", "#919191"},  {QPalette::HighlightedText, "#f0f0f0", "#f0f0f0"},
        {QPalette::Link, "#308cc6", "#308cc6"},       {QPalette::AlternateBase, "#2b2b2b", "#2b2b2b"},
        {QPalette::ToolTipBase, "#ffffdc", "#ffffdc"}, {QPalette::ToolTipText, "#000000", "#000000"},
        {QPalette::PlaceholderText, "#f0f0f0", "#f0f0f0"},
    };
    QPalette p;
    for (const Role& r : roles) {
        p.setColor(QPalette::Active, r.role, QColor(r.active));
        p.setColor(QPalette::Inactive, r.role, QColor(r.active));
        p.setColor(QPalette::Disabled, r.role, QColor(r.disabled));
    }
    return p;
}

// One line of text as found in a picture: its ink and the least contrast against the pixels
// behind it, wherever the ink lies.
struct TextLine {
    QString what;
    QColor ink;
    double worst;
};

// The text of `what` is the difference between a picture with it and one without. Rows that
// hold text are grouped into lines; in each, the ink is the changed pixel that differs most
// from what was there before, and the line's contrast is that ink against the ground under
// each of its changed pixels (a gradient ground is judged where it is weakest).
QList<TextLine> linesOf(const QString& what, const QImage& with, const QImage& without)
{
    QList<TextLine> out;
    int y = 0;
    const auto rowChanged = [&](int row) {
        for (int x = 0; x < with.width(); ++x)
            if (with.pixel(x, row) != without.pixel(x, row)) return true;
        return false;
    };
    while (y < with.height()) {
        if (!rowChanged(y)) {
            ++y;
            continue;
        }
        const int top = y;
        while (y < with.height() && rowChanged(y)) ++y;
        QColor ink;
        double strongest = 0;
        for (int r = top; r < y; ++r)
            for (int x = 0; x < with.width(); ++x) {
                if (with.pixel(x, r) == without.pixel(x, r)) continue;
                const double c = Contrast::ratio(with.pixelColor(x, r), without.pixelColor(x, r));
                if (c > strongest) strongest = c, ink = with.pixelColor(x, r);
            }
        double worst = 21;
        for (int r = top; r < y; ++r)
            for (int x = 0; x < with.width(); ++x)
                if (with.pixel(x, r) != without.pixel(x, r))
                    worst = std::min(worst, Contrast::ratio(ink, without.pixelColor(x, r)));
        // A line of two or three rows is a scrap of a wrapped glyph (an underline or a
        // descender), not a line of text of its own.
        if (y - top >= 4) out << TextLine{what, ink, worst};
    }
    return out;
}

// Takes a widget's text away and gives it back; empty when the widget shows no text. `aside`
// and `back` set aside, for both pictures, what would move when the text goes (a glyph).
struct TextSwitch {
    QString what;
    std::function<void()> hide;
    std::function<void()> show;
    std::function<void()> aside = [] {};
    std::function<void()> back = [] {};
    QRect part = {};  // where in the widget the text lies, when not the whole of it
};

QList<TextSwitch> textsOf(QWidget* w)
{
    QList<TextSwitch> out;
    const QString name = QStringLiteral("%1 %2").arg(w->metaObject()->className(), w->objectName());
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
        const QString t = l->text();
        out << TextSwitch{name + " \"" + t + '"', [l] { l->setText(QString()); }, [l, t] { l->setText(t); }};
    } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
        const QString t = b->text();
        const QIcon icon = b->icon();
        out << TextSwitch{name + " \"" + t + '"', [b] { b->setText(QString()); }, [b, t] { b->setText(t); },
                          [b] { b->setIcon(QIcon()); }, [b, icon] { b->setIcon(icon); }};
    } else if (auto* s = qobject_cast<TShadowLabel*>(w); s && !s->Caption().isEmpty()) {
        const QString t = s->Caption();
        out << TextSwitch{name + " \"" + t + '"', [s] { s->setCaption(QString()); }, [s, t] { s->setCaption(t); }};
    } else if (auto* e = qobject_cast<QLineEdit*>(w); e && !e->text().isEmpty()) {
        const QString t = e->text();
        out << TextSwitch{name + " \"" + t + '"', [e] { e->setText(QString()); }, [e, t] { e->setText(t); }};
    } else if (auto* c = qobject_cast<QComboBox*>(w); c && c->currentIndex() >= 0) {
        const int i = c->currentIndex();
        out << TextSwitch{name + " \"" + c->currentText() + '"', [c] { c->setCurrentIndex(-1); }, [c, i] { c->setCurrentIndex(i); }};
    } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
        // Taking a caption away would narrow its tab: the captions are drawn in no colour instead.
        const QPalette look = bar->palette();
        out << TextSwitch{"tab bar",
                          [bar, look] {
                              QPalette none = look;
                              for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                                  none.setColor(g, QPalette::ButtonText, Qt::transparent);
                              bar->setPalette(none);
                          },
                          [bar, look] { bar->setPalette(look); }};
    } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
        QList<QTreeWidgetItem*> items;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if (!(*it)->text(0).isEmpty()) items << *it;
        for (QTreeWidgetItem* item : items) {
            // Rows cut by the edge of the list are left out, and so is the selected row: it is
            // drawn in the theme's own highlight colours, the theme's choice like a greyed button.
            if (!tree->viewport()->rect().contains(tree->visualItemRect(item)) || item->isSelected()) continue;
            const QString t = item->text(0);
            // Only its own row is compared: the list is live and may change elsewhere meanwhile.
            const QRect row(tree->viewport()->mapTo(tree, tree->visualItemRect(item).topLeft()), tree->visualItemRect(item).size());
            out << TextSwitch{"folder \"" + t + '"', [item] { item->setText(0, QString()); }, [item, t] { item->setText(0, t); },
                              [] {}, [] {}, row};
        }
    } else if (auto* log = qobject_cast<TLiveLogView*>(w)) {
        for (qsizetype i = 0; i < log->lineCount(); ++i) {
            // A line is taken away by drawing the log with an empty line in its place: the
            // lines below stay put as long as it took one row (the screens here wrap none).
            out << TextSwitch{"live log line " + QString::number(i + 1),
                              [log, i] {
                                  const QStringList lines = log->lines();
                                  QList<QColor> colours;
                                  for (qsizetype n = 0; n < lines.size(); ++n) colours << log->lineColour(n);
                                  log->setProperty("saved", lines);
                                  log->setProperty("savedColours", QVariant::fromValue(colours));
                                  log->clearLines();
                                  for (qsizetype n = 0; n < lines.size(); ++n) log->appendLine(colours[n], n == i ? QString() : lines[n]);
                                  log->flush();
                              },
                              [log] {
                                  const QStringList lines = log->property("saved").toStringList();
                                  const auto colours = log->property("savedColours").value<QList<QColor>>();
                                  log->clearLines();
                                  for (qsizetype n = 0; n < lines.size(); ++n) log->appendLine(colours[n], lines[n]);
                                  log->flush();
                              }};
        }
    }
    return out;
}

// Controls that keep the theme's own greyed look while disabled: their text says "not now",
// which the theme decides (and which contrast rules leave out).
bool themeGreyed(QWidget* w)
{
    return !w->isEnabled() && (qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w));
}

// Events handled, and every folder tree done with what it was doing: a tree holds its painting
// while a burst of changes in a folder it shows settles (another program busy in /tmp).
void settle(QWidget* window)
{
    QApplication::processEvents();
    const auto trees = window->findChildren<TStShellTreeView*>();
    waitFor([&] { return std::all_of(trees.begin(), trees.end(), [](TStShellTreeView* t) { return t->Settled(); }); }, 3000);
}

QList<TextLine> measure(QWidget* window, const QString& screen)
{
    QList<TextLine> out;
    QList<QWidget*> widgets{window};
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window) && !w->isWindow()) widgets << w;
    for (QWidget* w : widgets) {
        if (themeGreyed(w)) continue;
        for (const TextSwitch& t : textsOf(w)) {
            const QRect local = t.part.isNull() ? w->rect() : t.part;
            const QRect area(w->mapTo(window, local.topLeft()), local.size());
            // The widget keeps its size while its text is away, so nothing around it moves.
            const QSize min = w->minimumSize(), max = w->maximumSize();
            w->setFixedSize(w->size());
            t.aside();
            settle(window);
            const QImage with = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
            {
                const QSignalBlocker quiet(w);
                t.hide();
            }
            settle(window);
            const QImage without = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
            {
                const QSignalBlocker quiet(w);
                t.show();
            }
            t.back();
            w->setMinimumSize(min);
            w->setMaximumSize(max);
            QApplication::processEvents();
            const QList<TextLine> lines = linesOf(screen + ": " + t.what, with, without);
            EXPECT_FALSE(lines.isEmpty()) << (screen + ": " + t.what).toStdString() << " shows no text";
            out << lines;
        }
    }
    return out;
}

const char* const Watches = "[Docs]\nname=Docs\npanel=1\navilable=0\nactive=1\npath=%1\nsub=1\nfcreate=1\nfdelete=1\n"
                            "frename=1\nrunprog=1\nexec=/bin/true\nwritelog=1\nlogfile=%2\ndesktop=1\n"
                            "[Photos]\nname=Photos\npanel=2\navilable=0\nactive=0\npath=%3\nfcreate=1\nfchange=1\npopup=1\n";

class ThemeContrastTest : public StartedFormTest, public ::testing::WithParamInterface<const char*> {
protected:
    QPalette before = QApplication::palette();

    void SetUp() override
    {
        StartedFormTest::SetUp();
        QApplication::setPalette(std::string(GetParam()) == "dark" ? darkTheme() : QApplication::style()->standardPalette());
        // A long path, the kind that has to give way in its panel.
        const QString photos = folder("Pictures/2024/holidays/a folder with a rather long name/and another one below it");
        start(QString::fromLatin1(Watches)
                  .arg(folder("Docs"), temp.path() + "/docs-log.txt", photos)
                  .toUtf8()
                  .constData());
        form->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        StartedFormTest::TearDown();
        QApplication::setPalette(before);
    }

    QList<TextLine> tab(QWidget* page, const QString& screen)
    {
        form->pgc1->setCurrentWidget(page);
        QApplication::processEvents();
        return measure(form.get(), screen);
    }
};

TEST_P(ThemeContrastTest, EveryTextReadsOnWhatIsBehindIt)
{
    QList<TextLine> lines;
    lines << tab(form->ts4, "Home");
    lines << tab(form->ts3, "Watch Settings");
    // Automatic mode: the chosen event is a disabled box showing its check mark.
    form->chk14->click();
    form->edt2->setText("/usr/local/bin/sort-photos");
    form->chk15->click();
    form->cbb1->setCurrentIndex(0);
    emit form->cbb1->activated(0);
    form->chk17->click();
    form->edt3->setText(temp.path() + "/photos.txt");
    form->edt4->setText("Photos");
    lines << tab(form->ts3, "Watch Settings, automatic mode");
    lines << tab(form->ts1, "Watch List");
    // Lines of every colour the log writes.
    form->WriteToLiveLog(LiveLogColour::Red, "11/12/2026 09:00:00: Docs: File created: report.txt");
    form->WriteToLiveLog(LiveLogColour::Blue, "11/12/2026 09:00:00: Watch Docs: Command executed: /bin/true");
    form->WriteToLiveLog(LiveLogColour::Green, "11/12/2026 09:00:01: Watch Docs started");
    form->edt1->flush();
    lines << tab(form->ts2, "Live Log");

    form->jvdsktplrt1->setMessageText("Docs: File created: report.txt");
    form->jvdsktplrt1->Execute();
    QApplication::processEvents();
    TJvFormDesktopAlert* alert = form->jvdsktplrt1->Window();
    ASSERT_TRUE(alert->isVisible());
    alert->SetAlphaBlendValue(255);
    lines << measure(alert, "Desktop alert");

    // Each kind of text is there: the check is not passing on an empty screen.
    QStringList seen;
    for (const TextLine& l : lines) seen << l.what;
    const QString all = seen.join('\n');
    for (const char* expected : {"\"Vesmor\"", "tab bar", "\"2. Select the events to monitor\"", "\"File create\"",
                                 "\"Watch Name: Docs\"", "\"Events: FC; FD; FR; \"", "live log line 5", "\"Vesmor 2.5\"",
                                 "Docs: File created: report.txt", "\"5. Apply\""})
        EXPECT_TRUE(all.contains(QString::fromLatin1(expected))) << "not measured: " << expected;

    QStringList faint;
    for (const TextLine& l : lines) {
        if (l.worst < Contrast::Readable)
            faint << QStringLiteral("%1: %2 at %3:1").arg(l.what, l.ink.name()).arg(l.worst, 0, 'f', 2);
    }
    std::sort(lines.begin(), lines.end(), [](const TextLine& a, const TextLine& b) { return a.worst < b.worst; });
    std::printf("%s theme: %lld lines of text, the faintest:\n", GetParam(), qlonglong(lines.size()));
    for (qsizetype i = 0; i < std::min<qsizetype>(4, lines.size()); ++i)
        std::printf("  %.2f:1 %s in %s\n", lines[i].worst, qPrintable(lines[i].what), qPrintable(lines[i].ink.name()));
    EXPECT_TRUE(faint.isEmpty()) << faint.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Themes, ThemeContrastTest, ::testing::Values("light", "dark"));

}  // namespace

#include "ui/kit/TFlatButtonTabBar.h"
#include "ui/kit/TShadowLabel.h"

#include "StartedFormFixture.h"

#include <QScreen>
#include <QStyleOptionComboBox>

#include <cmath>

namespace {

// WCAG relative luminance and contrast ratio.
double luminance(const QColor& c)
{
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

const QColor SkyBlue(166, 202, 240);

// The caption of a check box as drawn on its band: the most contrasting pixel of the caption
// area. Drawn without antialiasing, so that pixel is the colour the style writes text in.
double captionContrast(QCheckBox* box)
{
    QFont font = box->font();
    font.setStyleStrategy(QFont::NoAntialias);
    box->setFont(font);
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    const QImage image = box->parentWidget()->grab(box->geometry()).toImage();
    box->setFont(QFont());
    const QColor background = image.pixelColor(image.width() - 1, image.height() / 2);
    EXPECT_EQ(background, SkyBlue) << box->objectName().toStdString() << " is not on a sky-blue band";
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = indicator.right() + 2; x < image.width(); ++x)
            best = std::max(best, contrast(image.pixelColor(x, y), background));
    return best;
}

class WindowLookTest : public StartedFormTest {
protected:
    void SetUp() override
    {
        StartedFormTest::SetUp();
        start();
        form->show();
        // Every tab laid out once.
        for (int i = form->pgc1->count() - 1; i >= 0; --i) {
            form->pgc1->setCurrentIndex(i);
            QApplication::processEvents();
        }
    }

    // Check boxes of the Watch Settings tab that are disabled now.
    QList<QCheckBox*> disabledBoxes() const
    {
        QList<QCheckBox*> out;
        for (QCheckBox* box : form->ts3->findChildren<QCheckBox*>())
            if (!box->isEnabled()) out << box;
        return out;
    }
};

TEST_F(WindowLookTest, DisabledCaptionsReadOnTheirBands)
{
    struct State {
        const char* name;
        std::function<void(TForm1&)> enter;
        int disabled;  // how many boxes are disabled in it
    };
    const State states[] = {
        {"program off", [](TForm1&) {}, 2},
        {"automatic mode, an entry chosen",
         [](TForm1& f) {
             f.chk14->click();
             f.chk15->click();
             f.cbb1->setCurrentIndex(3);
             emit f.cbb1->activated(3);
         },
         13},
    };
    for (const State& s : states) {
        SCOPED_TRACE(s.name);
        form->ClearAllControls();
        s.enter(*form);
        const QList<QCheckBox*> boxes = disabledBoxes();
        ASSERT_EQ(boxes.size(), s.disabled);
        for (QCheckBox* box : boxes)
            EXPECT_GE(captionContrast(box), 4.5) << '"' << box->text().toStdString() << '"';
    }
    // The event that automatic mode chose is a disabled box that shows its check mark.
    EXPECT_TRUE(form->chk5->isChecked());
}

TEST_F(WindowLookTest, EveryCaptionFitsItsControl)
{
    QStringList cut;
    const auto check = [&](QWidget* w, const QString& text, bool fits) {
        if (!fits) cut << QStringLiteral("%1 \"%2\" (%3x%4)").arg(w->metaObject()->className(), text).arg(w->width()).arg(w->height());
    };
    QList<QWidget*> controls;
    for (int i = 0; i < form->pgc1->count(); ++i) {
        form->pgc1->setCurrentIndex(i);
        QApplication::processEvents();
        for (QWidget* w : form->pgc1->widget(i)->findChildren<QWidget*>())
            if (w->isVisibleTo(form.get())) controls << w;
    }
    ASSERT_GT(controls.size(), 60);
    for (QWidget* w : controls) {
        // A control that reaches past its parent's edge is cut there.
        if (!w->isWindow() && (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QComboBox*>(w)))
            check(w, w->objectName(), w->parentWidget()->rect().contains(w->geometry()));
        const QFontMetrics fm(w->font());
        // Buttons and boxes: the caption against the room the style leaves it beside the
        // indicator or the glyph.
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const bool box = qobject_cast<QCheckBox*>(button);
            const QRect room = button->style()->subElementRect(box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                                                               &option, button);
            const int glyph = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
            check(button, button->text(), fm.horizontalAdvance(button->text()) + glyph <= room.width() && fm.height() <= room.height());
        } else if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            const QRect room = label->contentsRect();
            check(label, label->text(), fm.horizontalAdvance(label->text()) <= room.width() && fm.height() <= room.height());
        } else if (auto* shadow = qobject_cast<TShadowLabel*>(w)) {
            check(shadow, shadow->Caption(), shadow->sizeHint().width() <= shadow->width() && shadow->sizeHint().height() <= shadow->height());
        }
    }
    if (auto* bar = qobject_cast<TFlatButtonTabBar*>(form->pgc1->tabBar())) {
        for (int i = 0; i < bar->count(); ++i)
            check(bar, bar->tabText(i), QFontMetrics(bar->font()).horizontalAdvance(bar->tabText(i)) < bar->buttonRect(i).width() - 4);
        check(bar, "all tabs", bar->tabRect(bar->count() - 1).right() < form->width());
    } else {
        ADD_FAILURE() << "the tabs are not flat buttons";
    }
    EXPECT_TRUE(cut.isEmpty()) << "cut off:\n" << cut.join('\n').toStdString();
}

TEST_F(WindowLookTest, EveryArgumentEntryReadsWholeWhenChosen)
{
    form->chk14->click();
    form->chk15->click();
    const QFontMetrics fm(form->cbb1->font());
    for (int i = 0; i < form->cbb1->count(); ++i) {
        form->cbb1->setCurrentIndex(i);
        QStyleOptionComboBox option;
        option.initFrom(form->cbb1);
        option.currentText = form->cbb1->currentText();
        option.editable = false;
        const QRect field = form->cbb1->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, form->cbb1);
        // The style draws the text a pixel in from each side of the field.
        EXPECT_LE(fm.horizontalAdvance(form->cbb1->currentText()), field.width() - 2)
            << '"' << form->cbb1->currentText().toStdString() << "\" in a field " << field.width() << " wide";
    }
}

TEST_F(WindowLookTest, ApplyIsTheWindowsOneDefaultButton)
{
    QList<QPushButton*> defaults;
    for (QPushButton* b : form->findChildren<QPushButton*>())
        if (b->isDefault()) defaults << b;
    ASSERT_EQ(defaults.size(), 1);
    EXPECT_EQ(defaults.first(), form->btn3);
}

TEST_F(WindowLookTest, CentredAtFirstShowThenLeftWhereTheUserPutIt)
{
    TForm1 fresh;
    fresh.show();
    const QRect screen = fresh.screen()->availableGeometry();
    const QPoint offset = fresh.frameGeometry().center() - screen.center();
    EXPECT_LE(offset.manhattanLength(), 2) << "window at " << fresh.frameGeometry().x() << "," << fresh.frameGeometry().y();

    // Back from the tray it comes where the user left it, not centred again.
    const QPoint moved = fresh.pos() + QPoint(-40, 25);
    fresh.move(moved);
    fresh.hide();
    fresh.show();
    EXPECT_EQ(fresh.pos(), moved);
}

}  // namespace

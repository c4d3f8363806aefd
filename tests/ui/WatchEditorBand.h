#pragma once
#include "StartedFormFixture.h"

#include "ui/kit/TFilenameEdit.h"

#include <QComboBox>
#include <QLineEdit>

// What the watch editor's tests share: the notice of the argument box, the event boxes, and the
// editor's action band in one line for readable comparisons.
namespace WatchEditorBand {

inline const QString Notice = QStringLiteral(
    "Using arguments will set events selection to automatic mode.\n\r"
    "The event to monitor will be selected automatically according to the argument selection.\n\r"
    "To cancel automatic mode, uncheck this checkbox again.");

inline const char* const EventNames[] = {"chk2", "chk3", "chk4",  "chk5",  "chk6",  "chk7",
                                  "chk8", "chk9", "chk10", "chk11", "chk12", "chk13"};

inline QList<QCheckBox*> eventBoxes(const TForm1& f)
{
    return {f.chk2, f.chk3, f.chk4, f.chk5, f.chk6, f.chk7, f.chk8, f.chk9, f.chk10, f.chk11, f.chk12, f.chk13};
}

inline QString box(const QWidget* w, bool checked) { return QString(w->isEnabled() ? "E" : "D") + (checked ? "1" : "0"); }

// The action band and the event boxes in one line, for readable comparisons:
// E/D enabled or disabled, 1/0 checked, "" empty text, the entry index of cbb1.
inline QString band(const TForm1& f)
{
    QStringList checkedEvents;
    bool allEnabled = true, allDisabled = true;
    const auto events = eventBoxes(f);
    for (int i = 0; i < events.size(); ++i) {
        if (events[i]->isChecked()) checkedEvents << EventNames[i];
        allEnabled = allEnabled && events[i]->isEnabled();
        allDisabled = allDisabled && !events[i]->isEnabled();
    }
    const QString eventsState = allEnabled ? "E" : allDisabled ? "D" : "mixed";
    return QString("chk14=%1 edt2=%2%3 chk15=%4 cbb1=%5%6 chk16=%7 events=%8[%9] chk17=%10 edt3=%11%12")
        .arg(f.chk14->isChecked() ? "1" : "0")
        .arg(f.edt2->isEnabled() ? "E" : "D", f.edt2->text().isEmpty() ? "" : "+text")
        .arg(box(f.chk15, f.chk15->isChecked()))
        .arg(f.cbb1->isEnabled() ? "E" : "D")
        .arg(f.cbb1->currentIndex())
        .arg(box(f.chk16, f.chk16->isChecked()))
        .arg(eventsState, checkedEvents.join(','))
        .arg(f.chk17->isChecked() ? "1" : "0")
        .arg(f.edt3->isEnabled() ? "E" : "D", f.edt3->text().isEmpty() ? "" : "+text");
}

// The user's choice of an entry in the argument list.
inline void choose(TForm1& f, int index)
{
    f.cbb1->setCurrentIndex(index);
    emit f.cbb1->activated(index);
}

}  // namespace WatchEditorBand

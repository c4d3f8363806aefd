#include "platform/boxes/ModalBoxes.h"

#include "platform/boxes/AppException.h"
#include "platform/boxes/AutoAnswerBoxes.h"

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>

namespace ModalBoxes {
namespace {

Responder& responder()
{
    static Responder r;
    return r;
}

// The program's title: its name and version ("Vesmor 2.5").
QString title() { return QApplication::applicationName() + u' ' + QApplication::applicationVersion(); }

bool ending = false;
QList<QPointer<QMessageBox>>& openBoxes()
{
    static QList<QPointer<QMessageBox>> boxes;
    return boxes;
}

bool nobodyCanSee()
{
    return !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
           QGuiApplication::platformName() == QLatin1String("offscreen");
}

}  // namespace

Responder setResponder(Responder r)
{
    Responder previous = std::move(responder());
    responder() = std::move(r);
    return previous;
}

Answer show(Kind kind, const QString& caption, const QString& text, QWidget* parent)
{
    if (responder()) return responder()(Request{kind, caption, text});
    if (nobodyCanSee()) return AutoAnswerBoxes::answer(Request{kind, caption, text});
    if (ending) return kind == Kind::Confirmation ? Answer::No : Answer::Ok;
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(parent);
    openBoxes().append(&box);
    struct Forget {
        QMessageBox* box;
        ~Forget() { openBoxes().removeAll(box); }
    } forget{&box};
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (kind) {
    case Kind::Error: box.setIcon(QMessageBox::Critical); break;
    case Kind::Warning: box.setIcon(QMessageBox::Warning); break;
    case Kind::Information: box.setIcon(QMessageBox::Information); break;
    case Kind::Confirmation:
    case Kind::Notice: box.setIcon(QMessageBox::Question); break;
    }
    if (kind == Kind::Confirmation) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

void error(const QString& text) { show(Kind::Error, QStringLiteral("Error"), text); }
void warning(const QString& text) { show(Kind::Warning, QStringLiteral("Warning"), text); }
void information(const QString& text) { show(Kind::Information, QStringLiteral("Information"), text); }
bool confirm(const QString& text) { return show(Kind::Confirmation, QStringLiteral("Confirmation"), text) == Answer::Yes; }
void notice(const QString& text) { show(Kind::Notice, QStringLiteral("Confirmation"), text); }

void showException(const QString& text)
{
    QString shown = text;
    if (!shown.endsWith(u'.')) shown += u'.';
    show(Kind::Error, title(), shown);
}

void showException(const std::exception& e)
{
    if (const auto* app = dynamic_cast<const AppException*>(&e)) {
        showException(app->message());
    } else {
        showException(QString::fromLocal8Bit(e.what()));
    }
}

void dismissAll()
{
    ending = true;
    // A box opened inside another one's loop ends first, so each loop can return in turn.
    const QList<QPointer<QMessageBox>> boxes = openBoxes();
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
        if (*it) (*it)->done(QMessageBox::No);
}

void guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showException(e);
    } catch (...) {
        showException(QStringLiteral("Unknown error"));
    }
}

}  // namespace ModalBoxes

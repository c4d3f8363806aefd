#include "platform/ModalBoxes.h"

#include "platform/AppException.h"

#include <QApplication>
#include <QMessageBox>

namespace ModalBoxes {
namespace {

Responder& responder()
{
    static Responder r;
    return r;
}

QString title() { return QApplication::applicationDisplayName(); }

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
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(parent);
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

void error(const QString& text) { show(Kind::Error, title(), text); }
void warning(const QString& text) { show(Kind::Warning, title(), text); }
void information(const QString& text) { show(Kind::Information, title(), text); }
bool confirm(const QString& text) { return show(Kind::Confirmation, title(), text) == Answer::Yes; }
void notice(const QString& text) { show(Kind::Notice, title(), text); }

void showException(const QString& text)
{
    QString shown = text;
    if (!shown.endsWith(u'.')) shown += u'.';
    error(shown);
}

void showException(const std::exception& e)
{
    if (const auto* app = dynamic_cast<const AppException*>(&e)) {
        showException(app->message());
    } else {
        showException(QString::fromLocal8Bit(e.what()));
    }
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

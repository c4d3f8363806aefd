#pragma once
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>

class QWidget;

// The one seam through which every modal box is shown. Tests install a responder that answers
// boxes without a person; the real boxes run a nested event loop. Where nobody can see a box
// (Qt's offscreen platform, or no graphical application at all) each box is written to standard
// error and answered with its default at once.
namespace ModalBoxes {

// Notice: a confirmation-type box (question icon) that only informs: one OK button.
enum class Kind { Error, Warning, Information, Confirmation, Notice };
enum class Answer { Ok, Yes, No };

struct Request {
    Kind kind;
    QString title;
    QString text;
};

using Responder = std::function<Answer(const Request&)>;

// Installs a responder (an empty one restores the real boxes); returns the previous one.
Responder setResponder(Responder responder);

Answer show(Kind kind, const QString& title, const QString& text, QWidget* parent = nullptr);

// The boxes the program uses, each captioned with its type: "Error", "Warning", "Information",
// "Confirmation" (the notice too).
void error(const QString& text);
void warning(const QString& text);
void information(const QString& text);
bool confirm(const QString& text);  // Yes / No
void notice(const QString& text);   // question icon, OK

// The application's standard error box: the error's text with a full stop appended when it
// lacks one, captioned with the application's title.
void showException(const QString& text);
void showException(const std::exception& e);

// The program is ending: every open box closes as if dismissed (OK, or No for a confirmation)
// and every later box is answered so at once, so nothing is held up waiting for a person.
void dismissAll();

// Runs a handler; an error it lets through is shown in the error box and the program goes on.
// Nothing thrown ever crosses Qt's event loop.
void guarded(const std::function<void()>& handler);

}  // namespace ModalBoxes

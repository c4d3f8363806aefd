#pragma once
#include "platform/boxes/ModalBoxes.h"

#include <QObject>

// Connects a signal to a handler method that runs guarded: an error it lets through is shown in
// the error box, and nothing thrown crosses the event loop.
template <class Sender, class Signal, class Form, class Handler>
void bind(Sender* sender, Signal signal, Form* form, Handler handler)
{
    QObject::connect(sender, signal, form, [form, handler] { ModalBoxes::guarded([&] { (form->*handler)(); }); });
}

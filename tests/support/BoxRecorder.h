#pragma once
#include "platform/boxes/ModalBoxes.h"

#include <QList>

// Answers every modal box while it lives and keeps what each box said.
class BoxRecorder {
public:
    explicit BoxRecorder(ModalBoxes::Answer confirmAnswer = ModalBoxes::Answer::Yes);
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const QList<ModalBoxes::Request>& boxes() const { return boxes_; }
    QStringList texts() const;
    void setConfirmAnswer(ModalBoxes::Answer a) { confirmAnswer_ = a; }
    void clear() { boxes_.clear(); }

private:
    QList<ModalBoxes::Request> boxes_;
    ModalBoxes::Answer confirmAnswer_;
    ModalBoxes::Responder previous_;
};

#include "support/BoxRecorder.h"

BoxRecorder::BoxRecorder(ModalBoxes::Answer confirmAnswer) : confirmAnswer_(confirmAnswer)
{
    previous_ = ModalBoxes::setResponder([this](const ModalBoxes::Request& r) {
        boxes_ << r;
        return r.kind == ModalBoxes::Kind::Confirmation ? confirmAnswer_ : ModalBoxes::Answer::Ok;
    });
}

BoxRecorder::~BoxRecorder() { ModalBoxes::setResponder(std::move(previous_)); }

QStringList BoxRecorder::texts() const
{
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
}

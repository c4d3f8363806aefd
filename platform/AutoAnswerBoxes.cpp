#include "platform/AutoAnswerBoxes.h"

#include "platform/ModalBoxes.h"

#include <cstdio>

namespace {

const char* kindName(ModalBoxes::Kind kind)
{
    switch (kind) {
    case ModalBoxes::Kind::Error: return "error";
    case ModalBoxes::Kind::Warning: return "warning";
    case ModalBoxes::Kind::Information: return "information";
    case ModalBoxes::Kind::Confirmation: return "confirmation";
    case ModalBoxes::Kind::Notice: return "notice";
    }
    return "box";
}

}  // namespace

void installAutoAnswerFromEnvironment()
{
    if (qgetenv("VESMOR_AUTO_ANSWER_BOXES") != "1") return;
    ModalBoxes::setResponder([](const ModalBoxes::Request& request) {
        QByteArray text = request.text.toUtf8();
        text.replace("\r\n", "\\n").replace('\n', "\\n").replace('\r', "\\n");
        std::fprintf(stderr, "box: %s: %s\n", kindName(request.kind), text.constData());
        std::fflush(stderr);
        return request.kind == ModalBoxes::Kind::Confirmation ? ModalBoxes::Answer::Yes : ModalBoxes::Answer::Ok;
    });
}

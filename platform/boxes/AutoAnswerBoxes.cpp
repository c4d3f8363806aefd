#include "platform/boxes/AutoAnswerBoxes.h"

#include "platform/system/EnvironmentSwitches.h"

#include <cstdio>

namespace {

const char* typeName(ModalBoxes::Kind kind)
{
    switch (kind) {
    case ModalBoxes::Kind::Error: return "error";
    case ModalBoxes::Kind::Warning: return "warning";
    case ModalBoxes::Kind::Information: return "information";
    // A notice is a confirmation box with an OK button only.
    case ModalBoxes::Kind::Confirmation:
    case ModalBoxes::Kind::Notice: return "confirmation";
    }
    return "box";
}

QByteArray oneLine(const QString& text)
{
    QByteArray line = text.toUtf8();
    return line.replace("\r\n", "\\n").replace('\n', "\\n").replace('\r', "\\n");
}

}  // namespace

namespace AutoAnswerBoxes {

ModalBoxes::Answer answer(const ModalBoxes::Request& request)
{
    const bool yes = request.kind == ModalBoxes::Kind::Confirmation;
    std::fprintf(stderr, "box: %s: %s (caption \"%s\", answered %s)\n", typeName(request.kind),
                 oneLine(request.text).constData(), oneLine(request.title).constData(), yes ? "Yes" : "OK");
    std::fflush(stderr);
    return yes ? ModalBoxes::Answer::Yes : ModalBoxes::Answer::Ok;
}

}  // namespace AutoAnswerBoxes

void installAutoAnswerFromEnvironment()
{
    if (!EnvironmentSwitches::autoAnswerBoxes()) return;
    ModalBoxes::setResponder(AutoAnswerBoxes::answer);
}

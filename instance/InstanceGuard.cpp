#include "instance/InstanceGuard.h"

#include "platform/boxes/ModalBoxes.h"

void jvpnstncs1Rejected(QObject* /*Sender*/) { ModalBoxes::warning(QStringLiteral("Vesmor is already running !")); }

std::unique_ptr<TJvAppInstances> guardStart()
{
    try {
        auto jvpnstncs1 = std::make_unique<TJvAppInstances>();
        jvpnstncs1->OnRejected = jvpnstncs1Rejected;
        jvpnstncs1->Loaded();
        return jvpnstncs1;
    } catch (const std::exception& e) {
        ModalBoxes::showException(e);
        return nullptr;
    }
}

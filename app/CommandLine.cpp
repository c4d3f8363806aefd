#include "app/CommandLine.h"

#include "core/SettingsFile.h"
#include "platform/ModalBoxes.h"

bool CheckForParameters(const QStringList& parameters, QStringList* selected)
{
    const QString minimise = QStringLiteral("-m");
    const QString all = QStringLiteral("-all");
    auto activate = [&] {
        const QStringList chosen = ActivateWatches(parameters[0], parameters[0] == all);
        if (selected) *selected = chosen;
    };
    switch (parameters.size()) {
    case 0:
        return false;
    case 1:
        if (parameters[0] == minimise) return true;
        activate();
        return false;
    case 2:
        // With two parameters the first is always the watch selector.
        activate();
        return parameters[1] == minimise;
    default:
        ModalBoxes::error(QStringLiteral("Too many parameters"));
        return false;
    }
}

#include "app/CommandLine.h"

#include "core/SettingsFile.h"
#include "platform/ModalBoxes.h"

bool CheckForParameters(const QStringList& parameters)
{
    const QString minimise = QStringLiteral("-m");
    const QString all = QStringLiteral("-all");
    switch (parameters.size()) {
    case 0:
        return false;
    case 1:
        if (parameters[0] == minimise) return true;
        ActivateWatches(parameters[0], parameters[0] == all);
        return false;
    case 2:
        // With two parameters the first is always the watch selector.
        ActivateWatches(parameters[0], parameters[0] == all);
        return parameters[1] == minimise;
    default:
        ModalBoxes::error(QStringLiteral("Too many parameters"));
        return false;
    }
}

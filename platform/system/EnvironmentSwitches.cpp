#include "platform/system/EnvironmentSwitches.h"

#include <QByteArray>
#include <QtGlobal>

namespace EnvironmentSwitches {

bool autoAnswerBoxes() { return qgetenv("VESMOR_AUTO_ANSWER_BOXES") == "1"; }

bool echoLiveLog() { return qEnvironmentVariableIntValue("VESMOR_ECHO_LIVE_LOG") == 1; }

bool responsivenessProbe() { return qEnvironmentVariableIntValue("VESMOR_RESPONSIVENESS_PROBE") == 1; }

}  // namespace EnvironmentSwitches

#include "core/SettingsFile.h"

#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "core/WatchWindow.h"
#include "platform/boxes/AppException.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/settings/ProfileFile.h"

#include <algorithm>

namespace {

using Keys = ProfileFile::Keys;

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

Keys keysOf(const QString& name, int slotNumber, const WatchEditorInput& in)
{
    Keys keys = {
        {"name", name},
        {"path", in.path},
        {"panel", QString::number(slotNumber)},
        {"active", "0"},
        {"avilable", "0"},
        {"sub", flag(in.sub)},
    };
    for (size_t i = 0; i < in.events.size(); ++i) keys.append({WatchEvents[i].key, flag(in.events[i])});
    keys.append({"runprog", flag(in.runProgram)});
    if (in.runProgram) keys.append({"exec", in.program});
    keys.append({"arguments", flag(in.useArguments)});
    if (in.useArguments) keys.append({"argindex", QString::number(in.argumentIndex)});
    keys.append({"waitproc", flag(in.wait)});
    keys.append({"writelog", flag(in.writeLog)});
    if (in.writeLog) keys.append({"logfile", in.logFile});
    keys.append({"popup", flag(in.popup)});
    keys.append({"desktop", flag(in.desktop)});
    return keys;
}

}  // namespace

void CheckForIni()
{
    const ProfileFile::Location file = SettingsFile();
    // Anything in the file's place, even a dangling link, means the file is not missing.
    if (ProfileFile::exists(file)) return;
    const Keys sample = {
        {"panel", "1"},   {"avilable", "0"}, {"active", "0"},   {"name", "sample"}, {"stat", "0"},
        {"path", "/"},    {"sub", "0"},      {"fcreate", "0"},  {"fdelete", "0"},   {"fchange", "0"},
        {"frename", "0"}, {"asso", "0"},     {"space", "0"},    {"dcreate", "0"},   {"ddelete", "0"},
        {"drename", "0"}, {"dchange", ""},   {"minsert", "0"},  {"mremove", "0"},   {"runprog", ""},
        {"exec", ""},     {"arguments", "0"}, {"argindex", "-1"}, {"waitproc", "0"}, {"writelog", ""},
        {"logfile", ""},  {"popup", "0"},    {"desktop", "0"},
    };
    ProfileFile::replaceSection(file, QStringLiteral("sample"), sample);
}

QString WatchNameOf(const QString& nameText)
{
    QString n = nameText;
    n.remove(u'\t');
    n.remove(u' ');
    return n;
}

bool IsStorableWatchName(const QString& name)
{
    // A section header ends at its first "]", and one pair of surrounding quotes is taken off a
    // value when it is read: such a name would be stored where nothing finds it again.
    if (name.contains(u'[') || name.contains(u']')) return false;
    if (name.size() >= 2 && (name.front() == u'"' || name.front() == u'\'') && name.back() == name.front()) return false;
    return std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

PopulateResult PopulatIni(WatchWindow& window, const WatchEditorInput& in, int* storedSlot)
{
    const QString name = WatchNameOf(in.nameText);
    // A name of only blanks would make a section nothing else can address: refuse it like an
    // empty one.
    if (name.isEmpty()) {
        ModalBoxes::error(QStringLiteral("Please enter a watch name"));
        return PopulateResult::EmptyName;
    }
    if (!IsStorableWatchName(name)) {
        ModalBoxes::error(UnstorableNameMessage);
        return PopulateResult::BadName;
    }
    // Storing it would mark it stopped while it runs, and a new event set would reach its
    // monitor only at the next start: it would hear nothing of what the window says.
    if (RunningSlotNamed(name) != 0) {
        ModalBoxes::error(QStringLiteral("Watch %1 is running. Stop it first, then apply the changes.").arg(name));
        return PopulateResult::Running;
    }
    // The slot is chosen from the file inside the locked write that stores it, so that another
    // copy of the program saving meanwhile can't be handed the same slot.
    int slotNumber = 0;
    ProfileFile::replaceSectionWith(SettingsFile(), name, [&](const ProfileFile::Snapshot& snap) -> std::optional<Keys> {
        if (snap.sectionNames().size() >= SlotCount && !snap.sectionExists(name)) return std::nullopt;
        slotNumber = SlotToHold(snap, name);
        if (slotNumber == 0) return std::nullopt;
        return keysOf(name, slotNumber, in);
    });
    if (slotNumber == 0) {
        ModalBoxes::warning(QStringLiteral("Watch list is full, delete a watch first"));
        return PopulateResult::ListFull;
    }
    if (storedSlot) *storedSlot = slotNumber;

    window.ClearAllControls();
    window.WriteToLiveLog(LiveLogColour::Blue, DateTimeStamp::now() + QStringLiteral(": New watch created, watch name: ") + name);
    return PopulateResult::Stored;
}

QStringList ActivateWatches(const QString& name, bool all)
{
    const ProfileFile::Location file = SettingsFile();
    const ProfileFile::Snapshot snap = ProfileFile::read(file);
    QStringList selected;
    QList<ProfileFile::Write> writes;
    for (const QString& section : snap.sectionNames()) {
        if (!all && snap.readString(section, QStringLiteral("name")) != name) continue;
        selected << section;
        if (snap.readString(section, QStringLiteral("active")) != QStringLiteral("1"))
            writes.append({section, QStringLiteral("active"), QStringLiteral("1")});
    }
    // One replacement of the file, however many sections are marked. A file that can't be
    // written does not keep them from starting now: each start says it is not stored.
    try {
        ProfileFile::writeStrings(file, writes);
    } catch (const AppException&) {
    }
    return selected;
}

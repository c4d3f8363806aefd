#include "actions/EventKinds.h"

#include "platform/files/FileAttributes.h"
#include "platform/text/LocaleText.h"
#include "platform/programs/WindowsCommandLine.h"

namespace {

constexpr EventKindInfo kinds[] = {
    {EventKind::FileCreate, "FileCreate", ": File create event, file name: ", Subject::ItemPath, false},
    {EventKind::FileDelete, "FileDelete", ": File delete event, file name: ", Subject::ItemPath, false},
    {EventKind::FileChange, "FileChange", ": File change event, file name: ", Subject::ItemPath, false},
    {EventKind::FileRename, "FileRename", ": File rename event, file name: ", Subject::OldAndNewPath, false},
    {EventKind::AssociationChange, "AssociationChange", ": Association change event at folde: ", Subject::WatchFolder, true},
    {EventKind::FolderCreate, "FolderCreate", ": Folder create event, folder name: ", Subject::ItemPath, false},
    {EventKind::FolderDelete, "FolderDelete", ": Folder delete event, folder name: ", Subject::ItemPath, false},
    {EventKind::FolderRename, "FolderRename", ": Folder rename event, folder: ", Subject::OldAndNewPath, false},
    {EventKind::FolderChange, "FolderChange", ": Folder change event, folder name: ", Subject::ItemPath, false},
    {EventKind::MediaInsert, "MediaInsert", ": Media Insert event, media name: ", Subject::ItemDisplayName, false},
    {EventKind::MediaRemove, "MediaRemove", ": Media Remove event, media name: ", Subject::ItemDisplayName, false},
    {EventKind::DriveSpaceChange, "DriveSpaceChange", ": Folder Space change event, folder name: ", Subject::WatchFolder, true},
};

constexpr ArgumentEntry entries[] = {
    {0, "File Create - file name", EventKind::FileCreate, ArgumentForm::BarePath},
    {1, "File delete -  file name", EventKind::FileDelete, ArgumentForm::ItemPath},
    {2, "File change - file name", EventKind::FileChange, ArgumentForm::ItemPath},
    {3, "File rename - new file name old file name", EventKind::FileRename, ArgumentForm::NewThenOld},
    {4, "File rename - new file name ", EventKind::FileRename, ArgumentForm::NewPath},
    {5, "File rename - old file name", EventKind::FileRename, ArgumentForm::OldPath},
    {6, "Association change - folder name", EventKind::AssociationChange, ArgumentForm::WatchFolder},
    {7, "Folder create - folder name", EventKind::FolderCreate, ArgumentForm::ItemPath},
    {8, "Folder delete - folder name", EventKind::FolderDelete, ArgumentForm::ItemPath},
    {9, "Folder rename - new folder old folder", EventKind::FolderRename, ArgumentForm::NewThenOld},
    {10, "Folder rename - new folder name", EventKind::FolderRename, ArgumentForm::NewPath},
    {11, "Folder rename - old folder name", EventKind::FolderRename, ArgumentForm::OldPath},
    {12, "Folder changed - folder name", EventKind::FolderChange, ArgumentForm::ItemPath},
    {13, "Media insert - media name", EventKind::MediaInsert, ArgumentForm::DisplayName},
    {14, "Media remove - media name", EventKind::MediaRemove, ArgumentForm::DisplayName},
    {15, "Drive space changed - folder name", EventKind::DriveSpaceChange, ArgumentForm::WatchFolder},
};

constexpr bool inKindOrder()
{
    for (int k = 0; k < EventKindCount; ++k)
        if (int(kinds[k].kind) != k) return false;
    for (int i = 0; i < int(std::size(entries)); ++i)
        if (entries[i].index != i) return false;
    return true;
}
static_assert(std::size(kinds) == EventKindCount && std::size(entries) == 16);
static_assert(inKindOrder(), "a kind's row is found by its number, an entry's by its index");

}  // namespace

std::span<const EventKindInfo> eventKinds() { return kinds; }

const EventKindInfo& eventKindInfo(EventKind kind) { return kinds[int(kind)]; }

std::span<const ArgumentEntry> argumentEntries() { return entries; }

QString AttributeWords(const QString& path)
{
    const unsigned a = FileAttributes::of(path);
    // A file that is gone has no attributes to tell; all-bits-set would claim every word.
    if (a == FileAttributes::Invalid) return {};
    QString words;
    if (a & FileAttributes::Hidden) words += QStringLiteral(" Hidden");
    if (a & FileAttributes::ReadOnly) words += QStringLiteral(" ReadOnly");
    if (a & FileAttributes::System) words += QStringLiteral(" SysFile");
    if (a & FileAttributes::Archive) words += QStringLiteral(" Archive");
    return words;
}

QString EventText(EventKind kind, const QString& dateTime, const QString& name, const QString& watchFolder,
                  const EventItem& first, const EventItem& second, const QString& attributeWords)
{
    const EventKindInfo& info = eventKindInfo(kind);
    const QLatin1String phrase(info.phrase);
    static const QLatin1String changedTo(" changed to: ");
    static const QLatin1String attributes(" Attributes:");
    // Built in place: one allocation for a line that every action of the event shares.
    QString text;
    text.reserve(dateTime.size() + 2 + name.size() + phrase.size() + first.path.size() + changedTo.size() +
                 second.path.size() + first.displayName.size() + watchFolder.size() + attributes.size() +
                 attributeWords.size());
    text += dateTime;
    text += QLatin1String(": ");
    text += name;
    text += phrase;
    switch (info.subject) {
    case Subject::ItemPath: text += first.path; break;
    case Subject::ItemDisplayName: text += first.displayName; break;
    case Subject::OldAndNewPath:
        text += first.path;
        text += changedTo;
        text += second.path;
        break;
    case Subject::WatchFolder: text += watchFolder; break;
    }
    if (kind == EventKind::FileChange) {
        text += attributes;
        text += attributeWords;
    }
    return LocaleText::oneLine(text);
}

QString ArgumentFor(EventKind kind, int argumentIndex, const QString& watchFolder, const EventItem& first,
                    const EventItem& second)
{
    if (argumentIndex < 0 || argumentIndex >= int(std::size(entries))) return {};
    const ArgumentEntry& entry = entries[argumentIndex];
    if (entry.kind != kind) return {};
    using WindowsCommandLine::quoted;
    switch (entry.form) {
    case ArgumentForm::BarePath: return WindowsCommandLine::unquoted(first.path);
    case ArgumentForm::ItemPath: return quoted(first.path);
    case ArgumentForm::NewThenOld: return quoted(second.path) + u' ' + quoted(first.path);
    case ArgumentForm::NewPath: return quoted(second.path);
    case ArgumentForm::OldPath: return quoted(first.path);
    case ArgumentForm::DisplayName: return quoted(first.displayName);
    case ArgumentForm::WatchFolder: return quoted(watchFolder);
    }
    return {};
}

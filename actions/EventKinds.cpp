#include "actions/EventKinds.h"

#include "platform/files/FileAttributes.h"
#include "platform/text/LocaleText.h"
#include "platform/programs/WindowsCommandLine.h"

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
    if (info.attributeWords) {
        text += attributes;
        text += attributeWords;
    }
    return LocaleText::oneLine(text);
}

QString ArgumentFor(EventKind kind, int argumentIndex, const QString& watchFolder, const EventItem& first,
                    const EventItem& second)
{
    if (argumentIndex < 0 || argumentIndex >= ArgumentEntryCount) return {};
    const ArgumentEntry& entry = ArgumentEntries[size_t(argumentIndex)];
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

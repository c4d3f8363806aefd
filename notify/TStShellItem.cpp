#include "notify/TStShellItem.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "notify/TreeDropOperation.h"
#include "platform/files/FileAttributes.h"
#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"
#include "platform/shell/SystemImageList.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>


namespace {

// Cut from a network item's display name ("docs on server" shows as "docs").
const QString SNetworkNameOn = QStringLiteral(" on ");

// The clipboard's formats for files: the list itself, and whether it was cut.
const QString kUriList = QStringLiteral("text/uri-list");
const QString kCopiedFiles = QStringLiteral("x-special/gnome-copied-files");

void putOnClipboard(const TStShellItem& item, bool cut)
{
    auto* mime = new QMimeData;
    const QUrl url = QUrl::fromLocalFile(item.Path());
    mime->setUrls({url});
    mime->setData(kCopiedFiles, (cut ? QByteArray("cut\n") : QByteArray("copy\n")) + url.toEncoded());
    QGuiApplication::clipboard()->setMimeData(mime);
}

// The packed DOS form of a local time: date in the high word, time (2-second steps) in the low.
qint32 dosDateTime(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime c = t.time();
    if (!d.isValid() || d.year() < 1980) return 0;
    const quint32 date = quint32((d.year() - 1980) << 9 | d.month() << 5 | d.day());
    const quint32 time = quint32(c.hour() << 11 | c.minute() << 5 | c.second() / 2);
    return qint32(date << 16 | time);
}

}  // namespace

TStShellItem::TStShellItem(TStCustomShellController* controller)
{
    SetController(controller ? controller : new TStCustomShellController, controller == nullptr);
}

TStShellItem::TStShellItem(NoController) {}

TStShellItem::~TStShellItem()
{
    if (OwnController) delete FController;
}

void TStShellItem::SetController(TStCustomShellController* controller, bool own)
{
    if (OwnController && FController != controller) delete FController;
    FController = controller;
    OwnController = own;
}

std::unique_ptr<TStShellItem> TStShellItem::CreateFromPidl(const ItemIdList& pidl, TStCustomShellController* controller)
{
    std::unique_ptr<TStShellItem> item(new TStShellItem(NoController{}));
    item->MakeFromPidl(pidl, controller, false);
    return item;
}

std::unique_ptr<TStShellItem> TStShellItem::CreateForCall(const ItemIdList& pidl, TStCustomShellController* lent)
{
    std::unique_ptr<TStShellItem> item(new TStShellItem(NoController{}));
    item->MakeFromPidl(pidl, lent, false);
    item->LentController = lent != nullptr;
    return item;
}

std::unique_ptr<TStShellItem> TStShellItem::CreateFromPath(const QString& path, TStCustomShellController* controller)
{
    const ItemIdList pidl = ShellNamespace::desktopFolder()->ParseDisplayName(path);
    if (pidl.isNull()) throw ESsInvalidFolder();
    std::unique_ptr<TStShellItem> item(new TStShellItem(NoController{}));
    item->MakeFromPidl(pidl, controller, true);
    return item;
}

void TStShellItem::MakeFromPidl(const ItemIdList& pidl, TStCustomShellController* controller, bool displayFirst)
{
    FColText.clear();
    FIconIndex = -1;
    FSize = -1;
    if (pidl.isNull()) return;
    FPidl = pidl.clone();
    FSimplePidl = pidl.lastElement();
    auto desktop = ShellNamespace::desktopFolder();
    const ItemIdList parentList = pidl.isDesktop() ? ItemIdList() : pidl.parent();
    FParentFolder = parentList.isNull() ? nullptr : desktop->BindToObject(parentList);
    if (!FParentFolder) FParentFolder = desktop;
    SetController(controller ? controller : new TStCustomShellController, controller == nullptr);
    if (FParentFolder->list() == parentList) {
        // The parent would answer from its list with this item put back on: the item's own
        // list gives the same names without making it again (this runs for every event).
        FPath = ShellNamespace::pathOf(FPidl);
        FDisplayName = ShellNamespace::displayNameOf(FPidl);
    } else {
        // Both names are asked of the parent for the simple list: the object itself is not opened.
        if (displayFirst) FDisplayName = FController->GetDisplayName(FParentFolder.get(), FSimplePidl, SHGDN_NORMAL);
        FPath = FController->GetDisplayName(FParentFolder.get(), FSimplePidl, SHGDN_FORPARSING);
        if (!displayFirst) FDisplayName = FController->GetDisplayName(FParentFolder.get(), FSimplePidl, SHGDN_NORMAL);
    }
    if (FPath.startsWith(QStringLiteral("\\\\"))) {
        const qsizetype on = FDisplayName.indexOf(SNetworkNameOn);
        if (on >= 0) FDisplayName.truncate(on);
    }
    const quint32 a = FParentFolder->GetAttributesOf(FSimplePidl, SFGAO_FILESYSTEM | SFGAO_FOLDER);
    FIsFileSystem = a & SFGAO_FILESYSTEM;
    FIsFileFolder = FIsFileSystem && (a & SFGAO_FOLDER);
    FIsFile = FIsFileSystem && !FIsFileFolder;
    FIsDesktop = ILIsEqual(pidl, ShellNamespace::specialFolderLocation(CSIDL_DESKTOP));
}

void TStShellItem::Assign(const TStShellItem& s)
{
    FFileAttributes = s.FFileAttributes;
    FFileAttributesStr = s.FFileAttributesStr;
    FDate = s.FDate;
    FSize = s.FSize;
    FDisplayName = s.FDisplayName;
    FIconIndex = s.FIconIndex;
    FOpenIconIndex = s.FOpenIconIndex;
    FOverlayIconIndex = s.FOverlayIconIndex;
    FIsDesktop = s.FIsDesktop;
    FIsFileFolder = s.FIsFileFolder;
    FIsFileSystem = s.FIsFileSystem;
    FPath = s.FPath;
    FTypeName = s.FTypeName;
    DOSDate = s.DOSDate;
    HaveDetails = s.HaveDetails;
    ParentList = s.ParentList;
    FColText = s.FColText;
    FPidl = s.FPidl.clone();
    FSimplePidl = s.FSimplePidl.clone();
    FParentFolder = FPidl.isNull() || FPidl.isDesktop() ? nullptr
                                                        : ShellNamespace::desktopFolder()->BindToObject(FPidl.parent());
    // A controller the source owns dies with the source (a notice's items live for one call):
    // sharing it would leave this copy pointing at nothing, so the copy keeps one of its own.
    if (!s.OwnController && !s.LentController) {
        SetController(s.FController, false);
    } else if (!FController) {
        SetController(new TStCustomShellController, true);
    }
}

bool TStShellItem::Attribute(quint32 bit, bool falseForDesktop) const
{
    if (falseForDesktop && FIsDesktop) return false;
    if (!FParentFolder) return false;
    return FParentFolder->GetAttributesOf(FSimplePidl, bit) & bit;
}

bool TStShellItem::CanCopy() const { return Attribute(SFGAO_CANCOPY, true); }
bool TStShellItem::CanLink() const { return Attribute(SFGAO_CANLINK, true); }
bool TStShellItem::CanRename() const { return Attribute(SFGAO_CANRENAME, true); }
bool TStShellItem::HasPropSheet() const { return Attribute(SFGAO_HASPROPSHEET, true); }
bool TStShellItem::IsDropTarget() const { return Attribute(SFGAO_DROPTARGET, true); }
bool TStShellItem::IsGhosted() const { return Attribute(SFGAO_GHOSTED, true); }
bool TStShellItem::IsLink() const { return Attribute(SFGAO_LINK, true); }
bool TStShellItem::IsShared() const { return Attribute(SFGAO_SHARE, false); }
bool TStShellItem::IsReadOnly() const { return Attribute(SFGAO_READONLY, true); }
bool TStShellItem::IsHidden() const { return Attribute(SFGAO_HIDDEN, true); }
bool TStShellItem::HasRemovableMedia() const { return Attribute(SFGAO_REMOVABLE, true); }
bool TStShellItem::IsCompressed() const { return Attribute(SFGAO_COMPRESSED, true); }
bool TStShellItem::IsFileSystemAncestor() const { return Attribute(SFGAO_FILESYSANCESTOR, true); }
bool TStShellItem::IsFolder() const { return Attribute(SFGAO_FOLDER, false); }
bool TStShellItem::HasSubFolder() const { return Attribute(SFGAO_HASSUBFOLDER, true); }

bool TStShellItem::CanPaste() const
{
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    return mime && mime->hasFormat(kUriList) && FIsFileFolder;
}

void TStShellItem::LoadIcons()
{
    if (!FController || FPidl.isNull()) return;
    const TStFileInfo info = FController->GetFileInfo(FPidl);
    FIconIndex = info.IconIndex;
    FOpenIconIndex = info.OpenIconIndex;
    FOverlayIconIndex = (info.Attributes & SFGAO_SHARE) ? 0 : (info.Attributes & SFGAO_LINK) ? 1 : -1;
}

int TStShellItem::IconIndex()
{
    if (FIconIndex == -1) LoadIcons();
    return FIconIndex;
}

int TStShellItem::OpenIconIndex()
{
    if (FIconIndex == -1) LoadIcons();
    return FOpenIconIndex;
}

int TStShellItem::OverlayIconIndex()
{
    if (FIconIndex == -1) LoadIcons();
    return FOverlayIconIndex;
}

QIcon TStShellItem::SmallIcon() { return SystemImageList::icon(IconIndex()); }
QIcon TStShellItem::LargeIcon() { return SystemImageList::icon(IconIndex()); }
QIcon TStShellItem::OpenIcon() { return SystemImageList::icon(OpenIconIndex()); }
QIcon TStShellItem::SmallOpenIcon() { return SystemImageList::icon(OpenIconIndex()); }

void TStShellItem::LoadDetails()
{
    if (!FIsFileSystem) return;
    // By the path's exact bytes: a name need not be UTF-8.
    const QByteArray path = PathBytes::encode(FPath);
    const FileAttributes::Details details = FileAttributes::detailsOf(path);
    FSize = 0;
    if (details.exists) {
        FDate = details.modified;
        DOSDate = dosDateTime(FDate);
        if (details.isFolder) {
            FIsFileFolder = true;
        } else {
            FSize = details.size;
        }
        const unsigned a = FileAttributes::of(FPath);
        FFileAttributes = a == FileAttributes::Invalid ? 0 : a;
    }
    FFileAttributesStr.clear();
    if (FFileAttributes & FileAttributes::Hidden) FFileAttributesStr += u'H';
    if (FFileAttributes & FileAttributes::System) FFileAttributesStr += u'S';
    if (FFileAttributes & FileAttributes::ReadOnly) FFileAttributesStr += u'R';
    if (FFileAttributes & FileAttributes::Archive) FFileAttributesStr += u'A';
}

qint64 TStShellItem::Size()
{
    if (FSize == -1) LoadDetails();
    return FSize;
}

QDateTime TStShellItem::Date()
{
    if (FSize == -1) LoadDetails();
    return FDate;
}

quint32 TStShellItem::FileAttributes()
{
    if (FSize == -1) LoadDetails();
    return FFileAttributes;
}

QString TStShellItem::FileAttributesStr()
{
    if (FSize == -1) LoadDetails();
    return FFileAttributesStr;
}

void TStShellItem::RefreshForMedia()
{
    if (FParentFolder) FParentFolder->GetAttributesOf(ItemIdList::desktop(), SFGAO_VALIDATE);
    if (FPidl.isNull()) return;
    ShellNamespace::refreshVolumes();
    const ShellNamespace::FileInfo info = ShellNamespace::fileInfo(FPidl, 0, false);
    FDisplayName = info.displayName;
    FIconIndex = info.iconIndex;
}

bool TStShellItem::Execute() const
{
    if (!FIsFileSystem || FPath.isEmpty()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(FPath));
}

void TStShellItem::CopyToClipboard() const
{
    if (CanCopy()) putOnClipboard(*this, false);
}

void TStShellItem::CutToClipboard() const
{
    if (CanCopy()) putOnClipboard(*this, true);
}

bool TStShellItem::PasteFromClipboard() const
{
    if (!CanPaste()) return false;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    const QList<QUrl> urls = mime->urls();
    const bool cut = mime->data(kCopiedFiles).startsWith("cut\n");
    if (urls.isEmpty() || !TreeDropOperation::canDrop(urls, FPath)) return false;
    const bool ok = TreeDropOperation::run(urls, FPath, cut).isEmpty();
    if (ok && cut) QGuiApplication::clipboard()->clear();  // what was cut is gone from its place
    return ok;
}

qint64 TStShellItem::GetFolderSize(bool recursive, bool includeHidden) const
{
    if (!FIsFileFolder) return 0;
    QDir::Filters filters = QDir::Files | QDir::System | QDir::NoDotAndDotDot;
    if (includeHidden) filters |= QDir::Hidden;
    if (recursive) filters |= QDir::Dirs;
    qint64 total = 0;
    // Links count with their own size; folders they point to are not entered.
    QDirIterator it(FPath, filters, recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink()) {
            total += FileAttributes::linkSize(QFile::encodeName(info.filePath()));
        } else if (info.isFile()) {
            total += info.size();
        }
    }
    return total;
}

#include "ui/FileBoxBrowse.h"

#include "platform/boxes/FileDialogs.h"

namespace FileBoxBrowse {

TFilenameEdit::BrowseDialog viaFileDialogs()
{
    return [](const TFilenameEdit::BrowseRequest& r) {
        FileDialogs::Request request;
        request.title = r.title;
        request.directory = r.directory;
        request.fileName = r.fileName;
        request.filter = r.filter;
        request.defaultExtension = r.defaultExtension;
        return FileDialogs::getOpenFileName(request);
    };
}

void install() { TFilenameEdit::setDefaultBrowseDialog(viaFileDialogs()); }

}  // namespace FileBoxBrowse

#pragma once
#include "ui/kit/TFilenameEdit.h"

// Routes the file boxes' Browse dialogs through the program's dialog service
// (platform/boxes/FileDialogs), where tests answer them.
namespace FileBoxBrowse {

// The dialog function that goes through FileDialogs::getOpenFileName.
TFilenameEdit::BrowseDialog viaFileDialogs();

// Makes it the default of every file box; called once while the main window is built.
void install();

}  // namespace FileBoxBrowse

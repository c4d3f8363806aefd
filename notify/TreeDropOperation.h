#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// What a drop on a folder of the tree does with the files and folders dropped (text/uri-list):
// copies or moves them into that folder. Nothing that is already there is ever replaced, and a
// move across file systems removes its source only after a complete copy.
namespace TreeDropOperation {

// Whether the urls may be dropped into `folder`: all of them local, none the folder itself or
// one of its ancestors, none already directly inside it.
bool canDrop(const QList<QUrl>& urls, const QString& folder);

// Copies (or moves) each url into `folder`; one line of text for each one that failed.
QStringList run(const QList<QUrl>& urls, const QString& folder, bool move);

}  // namespace TreeDropOperation

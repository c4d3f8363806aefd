#pragma once
#include <QString>

// How two absolute, clean paths ("/" separated, no trailing "/" but the root's) relate. The one
// place these questions are answered, so that "/" and a name that merely begins like a folder
// ("/data2" against "/data") are handled alike everywhere.
namespace PathRelations {

// `path` is `root` or lies anywhere below it. A root given with a trailing "/" counts as the
// folder it names; "/" holds every absolute path.
bool isAtOrUnder(const QString& path, const QString& root);

// The folder a path lies in: up to the last "/", the root keeping its "/"; empty when the text
// names no folder.
QString parentFolder(const QString& path);

}  // namespace PathRelations

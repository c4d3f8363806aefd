#include "platform/text/PathRelations.h"

namespace PathRelations {

bool isAtOrUnder(const QString& path, const QString& root)
{
    if (path == root) return true;
    if (root.endsWith(u'/')) return path.startsWith(root);
    return path.size() > root.size() && path.startsWith(root) && path.at(root.size()) == u'/';
}

QString parentFolder(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return {};
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace PathRelations

#include "platform/boxes/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace FileDialogs {
namespace {

Responder& responder()
{
    static Responder r;
    return r;
}

QString run(Request request, QWidget* parent)
{
    QString chosen;
    if (responder()) {
        chosen = responder()(request);
    } else {
        if (!parent) parent = QApplication::activeWindow();
        QFileDialog dialog(parent, request.title, request.directory);
        dialog.setAcceptMode(request.kind == Kind::Save ? QFileDialog::AcceptSave
                                                        : QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        const QStringList filters = nameFilters(request.filter);
        if (!filters.isEmpty()) dialog.setNameFilters(filters);
        if (!request.defaultExtension.isEmpty()) dialog.setDefaultSuffix(request.defaultExtension);
        if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (chosen.isEmpty()) return {};
    return withDefaultExtension(chosen, request.defaultExtension);
}

}  // namespace

Responder setResponder(Responder r)
{
    Responder previous = std::move(responder());
    responder() = std::move(r);
    return previous;
}

QString getOpenFileName(const Request& request, QWidget* parent)
{
    Request r = request;
    r.kind = Kind::Open;
    return run(std::move(r), parent);
}

QString getSaveFileName(const Request& request, QWidget* parent)
{
    Request r = request;
    r.kind = Kind::Save;
    return run(std::move(r), parent);
}

QStringList nameFilters(const QString& filter)
{
    QStringList out;
    const QStringList parts = filter.split(u'|');
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        description.remove(trailingPatterns);
        QStringList patterns;
        for (QString p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) p = QStringLiteral("*");
            if (!p.isEmpty() && !patterns.contains(p)) patterns << p;
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        out << description.trimmed() + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return out;
}

QString withDefaultExtension(const QString& path, const QString& extension)
{
    if (extension.isEmpty() || path.isEmpty()) return path;
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty() || name.contains(u'.')) return path;
    return path + u'.' + extension;
}

}  // namespace FileDialogs

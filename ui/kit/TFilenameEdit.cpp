#include "ui/kit/TFilenameEdit.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>

namespace {

TFilenameEdit::BrowseDialog& defaultDialog()
{
    static TFilenameEdit::BrowseDialog d;
    return d;
}

QString unquoted(QString path)
{
    path = path.trimmed();
    if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"'))
        path = path.mid(1, path.size() - 2);
    return path;
}

}  // namespace

TFilenameEdit::TFilenameEdit(QWidget* parent) : QLineEdit(parent), button_(new QToolButton(this))
{
    button_->setCursor(Qt::ArrowCursor);
    // In the Tab chain right after its box, so a file can be chosen without the mouse.
    button_->setFocusPolicy(Qt::StrongFocus);
    button_->installEventFilter(this);
    button_->setAutoRaise(true);
    button_->setToolTip(dialogTitle_);
    const QIcon icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    if (icon.isNull())
        button_->setText(QStringLiteral("..."));
    else
        button_->setIcon(icon);
    connect(button_, &QToolButton::clicked, this, [this] { Browse(); });
    placeButton();
}

TFilenameEdit::BrowseDialog TFilenameEdit::setDefaultBrowseDialog(BrowseDialog dialog)
{
    BrowseDialog previous = std::move(defaultDialog());
    defaultDialog() = std::move(dialog);
    return previous;
}

TFilenameEdit::BrowseRequest TFilenameEdit::browseRequest() const
{
    BrowseRequest r;
    r.title = dialogTitle_;
    r.filter = filter_;
    r.defaultExtension = defaultExt_;
    r.directory = initialDir_;
    const QString current = unquoted(text());
    if (!current.isEmpty()) {
        const QFileInfo info(current);
        if (info.isAbsolute() && QFileInfo(info.absolutePath()).isDir())
            r.directory = info.absolutePath();
        r.fileName = info.fileName();
    }
    return r;
}

QString TFilenameEdit::runDialog(const BrowseRequest& r) const
{
    if (dialog_) return dialog_(r);
    if (defaultDialog()) return defaultDialog()(r);
    QFileDialog dialog(window(), r.title, r.directory);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!r.defaultExtension.isEmpty()) dialog.setDefaultSuffix(r.defaultExtension);
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

bool TFilenameEdit::Browse()
{
    const QString chosen = runDialog(browseRequest());
    if (chosen.isEmpty()) return false;
    initialDir_ = QFileInfo(chosen).absolutePath();
    QString shown = chosen;
    if (addQuotes_ && shown.contains(u' ') && !shown.startsWith(u'"'))
        shown = u'"' + shown + u'"';
    setText(shown);
    emit fileChosen(shown);
    return true;
}

void TFilenameEdit::placeButton()
{
    const int side = std::max(0, height() - 4);
    button_->setGeometry(width() - side - 2, 2, side, side);
    setTextMargins(0, 0, side + 2, 0);
}

void TFilenameEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    placeButton();
}

void TFilenameEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) placeButton();
}

bool TFilenameEdit::opensDialog(const QKeyEvent* key, bool typing)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Down && mods == Qt::AltModifier) return true;
    // Where nothing can be typed, the keys that press a button open the dialog.
    const bool press = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
    return !typing && press && mods == Qt::NoModifier;
}

void TFilenameEdit::keyPressEvent(QKeyEvent* event)
{
    if (opensDialog(event, !isReadOnly())) {
        event->accept();
        Browse();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool TFilenameEdit::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on the focused browse button presses it, as it would any focused button.
    if (watched == button_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (opensDialog(key, false) && key->key() != Qt::Key_Space) {
            key->accept();
            Browse();
            return true;
        }
    }
    return QLineEdit::eventFilter(watched, event);
}

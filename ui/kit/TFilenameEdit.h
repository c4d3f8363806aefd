#pragma once
#include <QLineEdit>
#include <QString>

#include <functional>

class QKeyEvent;
class QToolButton;

// An edit box for a file's path with a browse button inside its right end. The button opens a
// file-open dialog; the dialog is reached through a replaceable function so that the program
// can route it through its own dialog service and tests can answer it. From the keyboard:
// Alt+Down in the box opens the dialog, and so do Enter and Space in a box that takes no
// typing; the button follows the box in the Tab chain and opens it with Space or Enter.
class TFilenameEdit : public QLineEdit {
    Q_OBJECT
public:
    struct BrowseRequest {
        QString title;
        QString directory;         // folder the dialog opens in; empty: the dialog's own choice
        QString fileName;          // the file name now in the box, without folder
        QString filter;            // "Description|pattern|Description|pattern"
        QString defaultExtension;  // without the dot
    };
    // Returns the chosen path, or an empty string when the user cancelled.
    using BrowseDialog = std::function<QString(const BrowseRequest&)>;

    explicit TFilenameEdit(QWidget* parent = nullptr);

    QString Filter() const { return filter_; }
    void setFilter(const QString& f) { filter_ = f; }
    void setDefaultExt(const QString& e) { defaultExt_ = e; }
    // Where the next browse starts when the box holds no existing folder; a chosen file's
    // folder becomes the next one.
    QString InitialDir() const { return initialDir_; }
    // A chosen path with a blank is shown in double quotes (unless it begins with one).
    void setAddQuotes(bool on) { addQuotes_ = on; }

    QToolButton* browseButton() const { return button_; }

    // The dialog of this box; an empty one falls back to the process-wide default.
    void setBrowseDialog(BrowseDialog dialog) { dialog_ = std::move(dialog); }
    // The dialog of every box that has none of its own; returns the previous one. Without any,
    // a plain Qt file dialog is shown.
    static BrowseDialog setDefaultBrowseDialog(BrowseDialog dialog);

    // What the button does: shows the dialog and puts the chosen path into the box. Returns
    // false when the user cancelled.
    bool Browse();

    // The request the next Browse would make.
    BrowseRequest browseRequest() const;

signals:
    void fileChosen(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    static bool opensDialog(const QKeyEvent* key, bool typing);
    void placeButton();
    QString runDialog(const BrowseRequest& r) const;

    QToolButton* button_;
    QString dialogTitle_ = QStringLiteral("Browse");
    QString filter_;
    QString defaultExt_;
    QString initialDir_;
    bool addQuotes_ = false;
    BrowseDialog dialog_;
};

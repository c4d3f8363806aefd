#pragma once
#include <QString>
#include <QTemporaryDir>

// The whole test program runs with $HOME and the XDG folders in a temporary folder of its own
// (set up before the first test): the namespace reads the home and desktop folders once per
// process, and no test may touch the real ones. $HOME/Desktop is the desktop folder.
namespace TemporaryHome {
QString home();
QString desktop();
}  // namespace TemporaryHome

// A fresh folder under the temporary home for one test, removed with it.
class HomeFolder {
public:
    HomeFolder() : dir_(TemporaryHome::home() + QStringLiteral("/test-XXXXXX")) {}
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString at(const QString& rel) const { return dir_.path() + u'/' + rel; }

private:
    QTemporaryDir dir_;
};

#pragma once
#include "app/StartUp.h"
#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "platform/ProfileFile.h"
#include "support/BoxRecorder.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtWidgets/qtestsupport_widgets.h>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <ostream>

#include <sys/resource.h>

// Texts in failure messages as text, not as arrays of code units.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// While it lives, no file of this process may grow beyond `bytes`: writes past it fail (as on a
// full disk) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old_;
        limited.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

// A fresh temporary folder as the user's TEMP, boxes answered and recorded, and the main
// window after its start-up sequence.
class StartedFormTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    BoxRecorder boxes;
    QByteArray oldTemp = qgetenv("TEMP");
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        qputenv("TEMP", temp.path().toUtf8());
    }
    void TearDown() override
    {
        form.reset();
        qputenv("TEMP", oldTemp);
    }

    // Starts the window on this settings file (the sample section when `content` is null).
    void start(const char* content = nullptr)
    {
        if (content) {
            QDir().mkpath(temp.path() + "/VSM25");
            QFile f(file());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        form = std::make_unique<TForm1>();
        ASSERT_TRUE(FormCreate(*form, {}));
        boxes.clear();
    }
    // Shows the window and makes it active, so that keyboard focus can be observed.
    void showActive()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    QString file() const { return temp.path() + "/VSM25/settings.cfg"; }
    QByteArray settingsBytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString key(const QString& section, const QString& k) const { return ProfileFile::readString(file(), section, k); }
    QStringList sections() const { return ProfileFile::sectionNames(file()); }

    // A folder under the temporary folder, created.
    QString folder(const QString& relative) const
    {
        const QString p = temp.path() + u'/' + relative;
        QDir().mkpath(p);
        return p;
    }
    QStringList logLines() const { return form->edt1->lines(); }
};

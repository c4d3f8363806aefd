#pragma once
#include "ui/FormCreate.h"
#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "platform/settings/ProfileFile.h"
#include "support/BoxRecorder.h"
#include "support/FileSizeLimit.h"
#include "support/QtPrinters.h"
#include "support/TemporarySettings.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtWidgets/qtestsupport_widgets.h>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>


// A fresh temporary folder as the user's TEMP, boxes answered and recorded, and the main
// window after its start-up sequence.
class StartedFormTest : public ::testing::Test, public TemporarySettings {
protected:
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

    QStringList logLines() const { return form->edt1->lines(); }
};

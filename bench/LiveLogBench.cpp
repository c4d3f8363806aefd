// Figures for the live log and the log file, side by side with what they replaced:
// - 100,000 event lines added to the live log in turns of 100 lines, on screen (offscreen):
//   time per line and memory, beside a plain-text editor's document filled the same way;
// - a log-file line kept open for the turn, beside opening, appending and closing per line;
// - the date-time stamp of a line, worked out once a second, beside working it out each time.
#include "actions/EventLog.h"
#include "platform/files/AppendFiles.h"
#include "platform/text/DateTimeStamp.h"
#include "ui/TLiveLogView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kLines = 100000;
constexpr int kTurn = 100;

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

QString lineNumber(int i)
{
    return QStringLiteral("12/10/26 14:%1:%2: bench: File create event, file name: /dev/shm/vesmor-bench-k2j4h1/watched/f%3.txt")
        .arg(i / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(i / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(i, 6, 10, QChar(u'0'));
}

// The editor fills its document as the live log did before: a turn's lines in one edit.
void appendToEditor(QPlainTextEdit& editor, const QList<QString>& lines)
{
    QScrollBar* bar = editor.verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(editor.document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const QString& l : lines) {
        QTextCharFormat format;
        format.setForeground(QColor(Qt::red));
        cursor.insertText(l, format);
        cursor.insertBlock();
    }
    cursor.endEditBlock();
    if (atEnd) bar->setValue(bar->maximum());
}

template <typename Add>
void liveLogFigures(const char* what, QWidget& widget, Add add)
{
    widget.resize(500, 450);
    widget.show();
    QCoreApplication::processEvents();
    malloc_trim(0);
    const double before = residentMiB();
    QElapsedTimer clock;
    clock.start();
    QList<QString> turn;
    for (int i = 0; i < kLines; ++i) {
        turn << lineNumber(i);
        if (turn.size() == kTurn) {
            add(turn);
            turn.clear();
            QCoreApplication::processEvents();  // the turn ends: the view lays out and paints
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents();
    malloc_trim(0);
    std::printf("  %-28s %6.2f us per line, %6.1f MiB more resident after %d lines (%.0f bytes per line)\n", what,
                seconds * 1e6 / kLines, residentMiB() - before, kLines, (residentMiB() - before) * 1048576 / kLines);
    widget.hide();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    std::printf("Live log, %d event lines added in turns of %d, on screen:\n", kLines, kTurn);
    {
        TLiveLogView view;
        liveLogFigures("live log view", view, [&](const QList<QString>& lines) {
            for (const QString& l : lines) view.appendLine(Qt::red, l);
        });
        std::printf("  %-28s %6.1f bytes per line kept for the text (%d characters a line)\n", "", double(view.storedBytes()) / kLines,
                    int(lineNumber(0).size()));
    }
    {
        QPlainTextEdit editor;
        editor.setReadOnly(true);
        editor.setUndoRedoEnabled(false);
        liveLogFigures("plain-text editor (before)", editor, [&](const QList<QString>& lines) { appendToEditor(editor, lines); });
    }

    QTemporaryDir dir;
    constexpr int kFileLines = 50000;
    Twatcher watch;
    watch.Name = QStringLiteral("bench");
    watch.WriteToLogFile = true;
    const QString line = lineNumber(4711);
    std::printf("Log file, %d lines in %s:\n", kFileLines, qPrintable(dir.path()));
    {
        watch.LogFile = dir.filePath(QStringLiteral("kept.log"));
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kFileLines; ++i) {
            WriteToLog(watch, line);
            if (i % kTurn == kTurn - 1) QCoreApplication::processEvents();
        }
        std::printf("  %-28s %6.2f us per line\n", "open for the turn", double(clock.nsecsElapsed()) / 1e3 / kFileLines);
    }
    {
        // What each line cost before: look, open, append, close.
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("each.log")));
        const QByteArray bytes = line.toUtf8() + "\r\n";
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kFileLines; ++i) {
            struct stat st {};
            [[maybe_unused]] const int looked = ::stat(path.constData(), &st);
            const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
            if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size()) break;
            ::close(fd);
        }
        std::printf("  %-28s %6.2f us per line\n", "opened per line (before)", double(clock.nsecsElapsed()) / 1e3 / kFileLines);
    }

    std::printf("Date-time stamp, per line:\n");
    {
        QElapsedTimer clock;
        clock.start();
        qsizetype n = 0;
        for (int i = 0; i < kFileLines; ++i) n += DateTimeStamp::now().size();
        std::printf("  %-28s %6.3f us\n", "once a second", double(clock.nsecsElapsed()) / 1e3 / kFileLines);
        clock.restart();
        for (int i = 0; i < kFileLines; ++i) n += DateTimeStamp::format(QDateTime::currentDateTime()).size();
        std::printf("  %-28s %6.3f us%s\n", "every time (before)", double(clock.nsecsElapsed()) / 1e3 / kFileLines,
                    n ? "" : " ");
    }
    return 0;
}

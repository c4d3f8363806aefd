// Folders renamed while the walker has work queued below them: a folder it looks for where it
// was is looked for where it went, once the reader has read the rename.
#include "platform/inotify/InotifyState.h"

namespace InotifyDetail {

bool State::renamedSince(QByteArray& path, size_t seen) const
{
    bool moved = false;
    for (size_t i = seen; i < movedFolders.size(); ++i) {
        const auto& [from, to] = movedFolders[i];
        if (!BytePath::isAtOrUnder(path, from)) continue;
        path = to + path.mid(from.size());
        moved = true;
    }
    return moved;
}

bool State::followMoved(const ScanTask& task)
{
    if (task.jobRoot) return false;
    // A chain of renames may bring it back to the same path, where it is looked for again.
    QByteArray path = task.path;
    if (!renamedSince(path, task.movesSeen) || !wanted(path)) return false;
    ScanTask again = task;
    again.path = path;
    again.movesSeen = movedFolders.size();
    if (task.urgent) {
        urgent.push_front(std::move(again));
    } else {
        tasks.push_back(std::move(again));
    }
    finishTask(task, 1);  // its walk waits for it where it went
    return true;
}

bool State::missedFolder(const ScanTask& task)
{
    if (task.jobRoot || task.mode == ScanTask::Mode::Follow || task.mode == ScanTask::Mode::Remount) return false;
    // Its walk waits for it: what the walk finds keeps its place in the order.
    missed.push_back({task, readSerial});
    return true;
}

void State::findMissed(const QByteArray& from, const QByteArray& to)
{
    for (auto it = missed.begin(); it != missed.end();) {
        if (!BytePath::isAtOrUnder(it->task.path, from)) {
            ++it;
            continue;
        }
        ScanTask again = std::move(it->task);
        again.path = to + again.path.mid(from.size());
        it = missed.erase(it);
        if (wanted(again.path)) {
            queueScan(std::move(again), true);
        } else {
            finishTask(again, 0);  // gone where nothing is watched: its walk goes on without it
        }
    }
}

void State::queueDrained()
{
    // A read that began after the miss (two reads on: the first may have been under way) has
    // taken all there was: whatever moved the folder has been read.
    if (missed.empty()) return;
    std::vector<ScanTask> over;
    std::erase_if(missed, [&](Missed& m) {
        if (readSerial < m.read + 2) return false;
        over.push_back(std::move(m.task));
        return true;
    });
    for (const ScanTask& t : over) finishTask(t, 0);
}

}  // namespace InotifyDetail

#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QSocketNotifier;

// A local channel, private to this user, through which another copy of the program asks the
// running one to come forward. One request line, one answer line per connection. The socket
// lives in the user's private runtime folder; either end hangs up on a peer of another user.
namespace SwitchChannel {

// The socket file a channel of that name lives at; the name is shortened with a digest.
QString socketPath(const QString& name);

// Sends one request line and waits for the answer line (without its line end). Empty when no
// one of this user listens under that name or no answer came in time.
std::optional<QByteArray> ask(const QString& name, const QByteArray& request, int timeoutMs);

}  // namespace SwitchChannel

// Listens on a channel and answers each request through a handler, on the thread it lives on.
class SwitchListener : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QByteArray(const QByteArray& request)>;

    explicit SwitchListener(QObject* parent = nullptr);
    ~SwitchListener() override;

    // Takes the name over (a socket left behind by a copy that died is replaced); an object
    // there that is not this user's is refused.
    bool listen(const QString& name);
    QString errorString() const { return error_; }
    void setHandler(Handler handler) { handler_ = std::move(handler); }

private:
    void accept();
    void close();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray file_;
    quint64 fileDevice_ = 0;
    quint64 fileInode_ = 0;
    Handler handler_;
    QString error_;
};

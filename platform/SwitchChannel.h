#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;

// A local channel, private to this user, through which another copy of the program asks the
// running one to come forward. One request line, one answer line per connection.
namespace SwitchChannel {

// The socket file a channel of that name lives at: the user's runtime folder when there is one,
// else the temporary folder; the name is shortened with a digest to fit a socket address.
QString socketPath(const QString& name);

// Sends one request line and waits for the answer line (without its line end). Empty when no
// one listens under that name or no answer came in time.
std::optional<QByteArray> ask(const QString& name, const QByteArray& request, int timeoutMs);

}  // namespace SwitchChannel

// Listens on a channel and answers each request through a handler, on the thread it lives on.
class SwitchListener : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QByteArray(const QByteArray& request)>;

    explicit SwitchListener(QObject* parent = nullptr);
    ~SwitchListener() override;

    // Takes the name over (a socket left behind by a copy that died is replaced).
    bool listen(const QString& name);
    QString errorString() const { return error_; }
    void setHandler(Handler handler) { handler_ = std::move(handler); }

private:
    void accept();

    QLocalServer* server_;
    Handler handler_;
    QString error_;
};

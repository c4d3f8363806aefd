#include "platform/inotify/Registrations.h"

#include "platform/text/PathBytes.h"

namespace RegistrationPaths {

QString below(const QString& user, const QByteArray& realRoot, const QByteArray& real)
{
    const QByteArray rest = realRoot == "/" ? real.mid(1) : real.mid(realRoot.size() + 1);
    return child(user, std::string_view(rest.constData(), size_t(rest.size())));
}

QString child(const QString& userFolder, std::string_view name)
{
    QString out = userFolder;
    if (!out.endsWith(u'/')) out += u'/';
    out += PathBytes::decode(name.data(), qsizetype(name.size()));
    return out;
}

}  // namespace RegistrationPaths

Registration* Registrations::find(quint32 id)
{
    const auto it = regs_.find(id);
    return it == regs_.end() ? nullptr : &it->second;
}

Registration& Registrations::add(quint32 id, const WatchRequest& request, const WatchRoot& root)
{
    Registration& r = regs_[id];
    r.id = id;
    r.req = request;
    r.root = root;
    return r;
}

bool Registrations::needed(const QByteArray& real) const
{
    for (const auto& [id, r] : regs_) {
        if (r.retired) continue;
        switch (r.req.scope) {
        case WatchRequest::Scope::Folder:
            if (r.root.recursive ? BytePath::isAtOrUnder(real, r.root.real) : real == r.root.real) return true;
            break;
        case WatchRequest::Scope::Followed:
            if (r.followed.contains(real)) return true;
            break;
        case WatchRequest::Scope::Computer: break;
        }
    }
    return false;
}

bool Registrations::keptWatched(const QByteArray& real) const
{
    for (const auto& [id, r] : regs_) {
        if (r.retired || !r.watching || r.req.scope != WatchRequest::Scope::Folder || !r.root.recursive) continue;
        if (BytePath::isAtOrUnder(real, r.root.real)) return true;
    }
    return false;
}

std::vector<quint32> Registrations::rootsAt(const QByteArray& path) const
{
    std::vector<quint32> ids;
    for (const auto& [id, r] : regs_)
        if (!r.retired && r.req.scope == WatchRequest::Scope::Folder && BytePath::isAtOrUnder(r.root.real, path))
            ids.push_back(id);
    return ids;
}

bool Registrations::anyRetired() const
{
    for (const auto& [id, r] : regs_)
        if (r.retired) return true;
    return false;
}

bool Registrations::wants(quint32 mask) const
{
    for (const auto& [id, r] : regs_)
        if (r.req.mask & mask) return true;
    return false;
}

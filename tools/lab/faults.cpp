#include "faults.h"

#include <algorithm>

namespace Lab {

using namespace Qt::StringLiterals;

QStringList Fault::kindNames()
{
    return {u"delay"_s, u"stall"_s, u"status"_s, u"notjson"_s, u"cut"_s, u"break"_s, u"notfound"_s,
            u"trickle"_s, u"huge"_s, u"redirect"_s, u"shortbody"_s, u"silence"_s, u"noauth"_s, u"flaky"_s};
}

std::optional<Fault::Kind> Fault::kindFromName(const QString &name)
{
    const qsizetype index = kindNames().indexOf(name);
    if (index < 0)
        return std::nullopt;
    return Kind(index);
}

QString Fault::kindName(Kind kind)
{
    return kindNames().value(int(kind));
}

std::optional<Fault> Fault::parse(const QString &text)
{
    const qsizetype colon = text.indexOf(u':');
    const auto kind = kindFromName(colon < 0 ? text : text.left(colon));
    if (!kind)
        return std::nullopt;
    Fault fault;
    fault.kind = *kind;
    if (fault.kind == Kind::trickle)
        fault.milliseconds = 15000;
    if (colon < 0)
        return fault;
    if (fault.kind == Kind::redirect) {
        const QString target = text.mid(colon + 1);
        if (target != "loop"_L1 && target != "file"_L1)
            return std::nullopt;
        fault.target = target == "file"_L1 ? Target::file : Target::loop;
        return fault;
    }
    bool ok = false;
    const int argument = text.mid(colon + 1).toInt(&ok);
    if (!ok || argument < 0)
        return std::nullopt;
    switch (*kind) {
    case Kind::delay: fault.milliseconds = argument; break;
    case Kind::status:
        if (argument < 100 || argument > 599)
            return std::nullopt;
        fault.status = argument;
        break;
    case Kind::breakOff:
    case Kind::flaky: fault.seconds = argument; break;
    case Kind::trickle:
        if (argument == 0)
            return std::nullopt;
        fault.milliseconds = argument;
        break;
    case Kind::huge: fault.megabytes = argument; break;
    default: return std::nullopt; // these take no argument
    }
    return fault;
}

QString Fault::describe() const
{
    QString text = kindName(kind);
    if (kind == Kind::delay)
        text += u':' + QString::number(milliseconds);
    else if (kind == Kind::status)
        text += u':' + QString::number(status);
    else if (kind == Kind::breakOff || kind == Kind::flaky)
        text += u':' + QString::number(seconds);
    else if (kind == Kind::trickle)
        text += u':' + QString::number(milliseconds);
    else if (kind == Kind::huge)
        text += megabytes > 0 ? u':' + QString::number(megabytes) : u":endless"_s;
    else if (kind == Kind::redirect)
        text += target == Target::file ? u":file"_s : u":loop"_s;
    if (remaining >= 0)
        text += u" (%1 more)"_s.arg(remaining);
    return text;
}

QList<std::pair<QString, Fault>> FaultTable::all() const
{
    QList<std::pair<QString, Fault>> list;
    for (auto it = m_faults.cbegin(); it != m_faults.cend(); ++it)
        list.append({it.key(), it.value()});
    std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    return list;
}

std::optional<Fault> FaultTable::take(const QStringList &routes)
{
    for (const QString &route : routes) {
        auto it = m_faults.find(route);
        if (it == m_faults.end())
            continue;
        Fault fault = *it;
        ++it->taken;
        if (it->remaining > 0 && --it->remaining == 0)
            m_faults.erase(it);
        if (fault.kind == Fault::Kind::flaky) {
            if (fault.taken % 2 == 1) // the one after a break works
                return std::nullopt;
            fault.kind = Fault::Kind::breakOff;
        }
        return fault;
    }
    return std::nullopt;
}

} // namespace Lab

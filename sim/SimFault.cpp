#include "sim/SimFault.h"

#include "sim/Transcript.h"

#include <QList>
#include <QRegularExpression>

#include <algorithm>

namespace {

std::optional<SimFault> fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return std::nullopt;
}

std::optional<int> number(const QString &text, int min)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min)
        return std::nullopt;
    return v;
}

} // namespace

std::optional<SimFault> SimFault::parse(const QString &faultText, QString *error)
{
    const QStringList words = faultText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 2 || words.size() > 3)
        return fail(error, QStringLiteral("expected \"KIND[:ARG] TARGET [N]\""));

    SimFault fault;
    const QString kindWord = words[0].section(QLatin1Char(':'), 0, 0).toLower();
    const bool hasArg = words[0].contains(QLatin1Char(':'));
    const QString arg = words[0].section(QLatin1Char(':'), 1);

    if (kindWord == QLatin1String("extra")) {
        fault.kind = Kind::Extra;
        const auto text = Transcript::unescape(hasArg ? arg.toLatin1() : QByteArray("#"));
        if (!text || text->isEmpty())
            return fail(error, QStringLiteral("extra needs a text"));
        fault.text = *text;
    } else if (kindWord == QLatin1String("short") || kindWord == QLatin1String("long")) {
        fault.kind = kindWord == QLatin1String("short") ? Kind::Short : Kind::Long;
        const auto n = hasArg ? number(arg, 1) : std::optional<int>(1);
        if (!n)
            return fail(error, kindWord + QStringLiteral(" needs a character count of at least 1"));
        fault.amount = *n;
    } else if (kindWord == QLatin1String("late")) {
        fault.kind = Kind::Late;
        const auto ms = hasArg ? number(arg, 0) : std::nullopt;
        if (!ms)
            return fail(error, QStringLiteral("late needs milliseconds, as in late:80"));
        fault.amount = *ms;
    } else {
        static const QList<std::pair<QString, Kind>> plain = {
            { QStringLiteral("silent"), Kind::Silent },
            { QStringLiteral("garble"), Kind::Garble },
            { QStringLiteral("highbit"), Kind::HighBit },
            { QStringLiteral("hangup"), Kind::HangUp },
        };
        const auto it
            = std::find_if(plain.begin(), plain.end(), [&](const auto &p) { return p.first == kindWord; });
        if (it == plain.end())
            return fail(error, QStringLiteral("unknown fault \"%1\"").arg(kindWord));
        if (hasArg)
            return fail(error, kindWord + QStringLiteral(" takes no argument"));
        fault.kind = it->second;
    }

    static const QRegularExpression targetPattern(QStringLiteral("^(\\*|[TVRW][0-9]*)$"));
    if (!targetPattern.match(words[1]).hasMatch())
        return fail(error, QStringLiteral("target must be \"*\" or the start of a command, as in R000047"));
    fault.target = words[1].toLatin1();

    if (words.size() == 3) {
        const auto n = number(words[2], 1);
        if (!n)
            return fail(error, QStringLiteral("the number of commands must be at least 1"));
        fault.remaining = *n;
    }
    return fault;
}

bool SimFault::aimsAt(const QByteArray &command) const
{
    return remaining != 0 && (target == "*" || command.startsWith(target));
}

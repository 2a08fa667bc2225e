#include "PhoneServiceDialPlan.h"

namespace phone {
namespace {

bool isPause(QChar c)
{
    return c == u'p' || c == u'P' || c == u',';
}

bool isWait(QChar c)
{
    return c == u'w' || c == u'W';
}

QChar normalisedTone(QChar c)
{
    return (c >= u'a' && c <= u'd') ? c.toUpper() : c;
}

} // namespace

bool isDtmfTone(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || (c >= u'A' && c <= u'D') || (c >= u'a' && c <= u'd');
}

DialSplit splitDialString(const QString& dialString, SecretSpan pin)
{
    for (qsizetype i = 0; i < dialString.size(); ++i) {
        if (isPause(dialString[i]) || isWait(dialString[i]) || (pin.length > 0 && i == pin.from))
            return { dialString.left(i), dialString.mid(i) };
    }
    return { dialString, {} };
}

std::vector<PostDialStep> postDialSteps(const QString& postDial, SecretSpan pin)
{
    std::vector<PostDialStep> steps;
    for (qsizetype i = 0; i < postDial.size(); ++i) {
        const QChar c = postDial[i];
        if (isPause(c)) {
            steps.push_back({ PostDialStep::Kind::Pause, {}, {} });
        } else if (isWait(c)) {
            steps.push_back({ PostDialStep::Kind::Wait, {}, {} });
        } else if (isDtmfTone(c)) {
            if (steps.empty() || steps.back().kind != PostDialStep::Kind::Tones)
                steps.push_back({ PostDialStep::Kind::Tones, {}, {} });
            steps.back().tones += normalisedTone(c);
            steps.back().shown += pin.covers(i) ? QChar(kHiddenTone) : normalisedTone(c);
        }
    }
    // Each wait shows what its Yes would send: the tones up to the next wait.
    for (auto it = steps.begin(); it != steps.end(); ++it) {
        if (it->kind != PostDialStep::Kind::Wait)
            continue;
        for (auto next = it + 1; next != steps.end() && next->kind != PostDialStep::Kind::Wait; ++next) {
            it->tones += next->tones;
            it->shown += next->shown;
        }
    }
    return steps;
}

QString telUriFor(const QString& dialString)
{
    QString uri = QStringLiteral("tel:");
    for (const QChar c : dialString) {
        if (isPause(c))
            uri += u',';
        else if (isWait(c))
            uri += u';';
        else if (c == u'#') // a bare # would start the URI's fragment and be lost
            uri += QLatin1String("%23");
        else
            uri += c;
    }
    return uri;
}

} // namespace phone

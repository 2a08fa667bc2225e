#include "TelLink.h"

#include <QByteArray>

namespace tellink {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isAsciiAlnum(QChar c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isVisualSeparator(QChar c)
{
    return c == u'-' || c == u'.' || c == u'(' || c == u')';
}

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}

Number refused(QString why)
{
    return { {}, std::move(why) };
}

// The number part, escapes already decoded: separators dropped, the rest
// checked character by character.
Number cleanNumber(const QString& text)
{
    QString digits;
    bool anyDigit = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isControl(c))
            return refused(QStringLiteral("it has a control character"));
        if (c.isLetter())
            return refused(QStringLiteral("it has letters, which cannot be dialled"));
        if (c == u'+' && i != 0)
            return refused(QStringLiteral("a + may only come first"));
        // * and # stay: service codes use them, whatever RFC 3966 says of global numbers.
        if (!isAsciiDigit(c) && !QStringView(u"+*#").contains(c) && !isVisualSeparator(c))
            return refused(QStringLiteral("'%1' is not part of a phone number").arg(c));
        anyDigit = anyDigit || isAsciiDigit(c);
        if (!isVisualSeparator(c))
            digits += c;
    }
    if (!anyDigit)
        return refused(QStringLiteral("it has no digits"));
    if (digits.size() > kMaxNumberLength)
        return refused(QStringLiteral("it is longer than %1 characters").arg(kMaxNumberLength));
    return { digits, {} };
}

// RFC 3966 paramchar: unreserved, param-unreserved, or a percent escape
// (checked apart).
bool isParamChar(QChar c)
{
    return isAsciiAlnum(c) || QStringView(u"-_.!~*'()[]/:&+$%").contains(c);
}

bool isWellFormedEscape(const QString& text, qsizetype at)
{
    auto hex = [&](qsizetype i) { return i < text.size() && QStringView(u"0123456789abcdefABCDEF").contains(text[i]); };
    return hex(at + 1) && hex(at + 2);
}

// Every parameter in the ;name=value form; the values are not kept.
bool parametersWellFormed(const QString& params)
{
    for (const QString& param : params.split(u';')) {
        const qsizetype eq = param.indexOf(u'=');
        const QString name = param.left(eq).toLower();
        const QString value = eq < 0 ? QString() : param.mid(eq + 1);
        if (name.isEmpty() || (eq >= 0 && value.isEmpty()))
            return false;
        for (QChar c : name)
            if (!isAsciiAlnum(c) && c != u'-')
                return false;
        for (qsizetype i = 0; i < value.size(); ++i)
            if (!isParamChar(value[i]) || (value[i] == u'%' && !isWellFormedEscape(value, i)))
                return false;
    }
    return true;
}

QString precheck(const QString& text)
{
    if (text.size() > kMaxArgumentLength)
        return QStringLiteral("it is longer than %1 characters").arg(kMaxArgumentLength);
    for (QChar c : text)
        if (isControl(c))
            return QStringLiteral("it has a control character");
    return {};
}

} // namespace

Number parseTelUri(const QString& uri)
{
    const QString prefix = QStringLiteral("not a valid tel: link: ");
    if (const QString why = precheck(uri); !why.isEmpty())
        return refused(prefix + why);
    if (!uri.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return refused(prefix + QStringLiteral("it does not start with tel:"));
    const QString rest = uri.mid(4);
    const qsizetype semicolon = rest.indexOf(u';');
    const QString encoded = rest.left(semicolon);
    for (qsizetype i = 0; i < encoded.size(); ++i)
        if (encoded[i] == u'%' && !isWellFormedEscape(encoded, i))
            return refused(prefix + QStringLiteral("it has a broken percent escape"));
    if (semicolon >= 0 && !parametersWellFormed(rest.mid(semicolon + 1)))
        return refused(prefix + QStringLiteral("it has a malformed parameter"));
    // Escapes are decoded only now, so that an escaped ; stays part of the number.
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.toUtf8()));
    Number number = cleanNumber(decoded);
    if (!number.ok())
        number.error.prepend(prefix);
    return number;
}

Number parseNumber(const QString& text)
{
    const QString prefix = QStringLiteral("not a valid phone number: ");
    QString why = precheck(text);
    Number number = why.isEmpty() ? cleanNumber(text) : refused(why);
    if (!number.ok())
        number.error.prepend(prefix);
    return number;
}

Number parseLinkOrNumber(const QString& text)
{
    if (text.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return parseTelUri(text);
    return parseNumber(text);
}

CommandLine parseCommandLine(const QStringList& args)
{
    // --device-class=NAME or --device-class NAME, anywhere; its value is
    // judged where the class is chosen.
    const QString option = QStringLiteral("--device-class");
    QString deviceClass;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] != option && !args[i].startsWith(option + u'=')) {
            rest << args[i];
            continue;
        }
        deviceClass = args[i] == option ? args.value(++i) : args[i].mid(option.size() + 1);
        if (deviceClass.isEmpty())
            return { CommandLine::Refuse, {}, QStringLiteral("--device-class needs a value: phone or desktop"), {} };
    }
    if (rest.isEmpty())
        return { CommandLine::Run, {}, {}, deviceClass };
    if (rest.size() > 1)
        return { CommandLine::Refuse, {}, QStringLiteral("give one tel: link or number, not %1").arg(rest.size()), {} };
    const QString& arg = rest.front();
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
        return { CommandLine::Help, {}, {}, {} };
    if (arg == QLatin1String("--version"))
        return { CommandLine::Version, {}, {}, {} };
    if (arg.startsWith(u'-') && precheck(arg).isEmpty())
        return { CommandLine::Refuse, {}, QStringLiteral("unknown option %1 (see --help)").arg(arg), {} };
    const Number number = parseLinkOrNumber(arg);
    if (!number.ok())
        return { CommandLine::Refuse, {}, number.error, {} };
    return { CommandLine::Run, number.digits, {}, deviceClass };
}

QString helpText()
{
    return QStringLiteral("Usage: dialer [--device-class=phone|desktop] [tel:NUMBER | NUMBER]\n"
                          "Calls through a phone card. Given a tel: link or a number, opens a make-call\n"
                          "screen with the number filled in; nothing is dialled until a card is picked\n"
                          "and Dial is pressed. A dialer already running takes the number instead.\n"
                          "\n"
                          "  --device-class=phone|desktop\n"
                          "                 lay the screens out for a phone (full screen, touch-sized)\n"
                          "                 or a desktop, whatever the screen looks like; it wins over\n"
                          "                 DIALER_DEVICE_CLASS in the environment\n"
                          "  -h, --help     print this help and exit\n"
                          "      --version  print the version and exit\n");
}

QString versionText()
{
    return QStringLiteral("dialer " DIALER_VERSION "\n");
}

} // namespace tellink
